#include "cipher/output_name.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>

#include "os/path.h"
#endif

namespace {

TEST(OutputNameTest, ReplacesOnlyTheFinalComponentsExtension) {
  struct {
    const char* pszIn;
    const char* pszOut;
  } const kCases[] = {
      {"", ".qzv"},
      {".", ".qzv"},
      {"notes", "notes.qzv"},
      {"notes.txt", "notes.qzv"},
      {"a.b.c", "a.b.qzv"},
      {".profile", ".qzv"},
      {"notes.", "notes.qzv"},
      {"old.dir/notes", "old.dir/notes.qzv"},
      {"../notes", "../notes.qzv"},
      {"./notes.txt", "./notes.qzv"},
      {"a.b/c.d/e", "a.b/c.d/e.qzv"},
      {"dir/", "dir/.qzv"},
      {"/abs.d/x.y.z", "/abs.d/x.y.qzv"},
#ifdef _WIN32
      {"old.dir\\notes", "old.dir\\notes.qzv"},
      {"..\\notes", "..\\notes.qzv"},
      {"C:notes", "C:notes.qzv"},
      {"C:.profile", "C:.qzv"},
      {"C:\\a.b\\c", "C:\\a.b\\c.qzv"},
      {"\\\\srv.x\\share\\f", "\\\\srv.x\\share\\f.qzv"},
#else
      {"old.dir\\notes", "old.qzv"},
#endif
  };
  for (const auto& c : kCases) EXPECT_EQ(OutputName(c.pszIn, ".qzv"), c.pszOut) << c.pszIn;
}

#ifdef _WIN32
// Run by ctest with LC_ALL=ja_JP.UTF-8, which gives Wine the Japanese code
// page 932: the second byte of 0x95 0x5C, a kanji, is no separator.
TEST(OutputNameTest, DoubleByteCharactersHideASecondByteLikeABackslash) {
  if (GetACP() != 932) GTEST_SKIP() << "needs the Japanese ANSI code page 932";
  struct {
    const char* pszPath;
    std::size_t nStart;
  } const kCases[] = {
      {"\x95\x5c.txt", 0}, {"d\\\x95\x5c", 2}, {"\x95\x5c\\x", 3}, {"\x95", 0}, {"\x95\x5c/", 3},
  };
  for (const auto& c : kCases) EXPECT_EQ(FinalComponentStart(c.pszPath), c.nStart) << c.pszPath;
}
#endif

}  // namespace
