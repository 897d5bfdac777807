#include "cipher/output_name.h"

#include <gtest/gtest.h>

#include <utility>

namespace {

TEST(OutputNameTest, ReplacesOnlyTheFinalComponentsExtension) {
  const std::pair<const char*, const char*> kCases[] = {
      // clang-format off
      {"", ".qzv"},             {"notes", "notes.qzv"},     {"a.b.c", "a.b.qzv"},
      {".profile", ".qzv"},     {"d.d/.profile", "d.d/.qzv"}, {"old.dir/notes", "old.dir/notes.qzv"},
#ifdef _WIN32
      {"old.dir\\notes", "old.dir\\notes.qzv"}, {"C:.profile", "C:.qzv"},
#else
      {"old.dir\\notes", "old.qzv"},
#endif
      // clang-format on
  };
  for (const auto& [pszIn, pszOut] : kCases) EXPECT_EQ(OutputName(pszIn, ".qzv"), pszOut) << pszIn;
}

}  // namespace
