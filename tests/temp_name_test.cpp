#include "os/temp_name.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// Runs that replace outputs in one directory at once each need a name of
// their own, so every name is drawn afresh.
TEST(TempNameTest, EachNameIsNewAndKnownForOne) {
  const std::string strFirst = MakeTempName();
  const std::string strSecond = MakeTempName();
  EXPECT_NE(strFirst, strSecond);
  EXPECT_TRUE(IsTempName(strFirst)) << strFirst;
  EXPECT_TRUE(IsTempName(strSecond)) << strSecond;
}

}  // namespace
