#include "cipher/output_name.h"

#include <gtest/gtest.h>

#include <utility>

#ifdef _WIN32
#include <windows.h>

#include "os/path.h"
#endif

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

#ifdef _WIN32
// Run by ctest with LC_ALL=ja_JP.UTF-8, which gives Wine the Japanese code
// page 932: the second byte of 0x95 0x5C, a kanji, is no separator.
TEST(OutputNameTest, DoubleByteCharactersHideASecondByteLikeABackslash) {
  if (GetACP() != 932) GTEST_SKIP() << "needs the Japanese ANSI code page 932";
  const std::pair<const char*, std::size_t> kCases[] = {
      {"\x95\x5c.txt", 0}, {"d\\\x95\x5c", 2}, {"\x95\x5c\\x", 3}, {"\x95", 0}, {"\x95\x5c/", 3},
  };
  for (const auto& [psz, n] : kCases) EXPECT_EQ(FinalComponentStart(psz), n) << psz;
}
#endif

}  // namespace
