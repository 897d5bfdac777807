#include "cipher/output_name.h"

#include <gtest/gtest.h>

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
  };
  for (const auto& c : kCases) EXPECT_EQ(OutputName(c.pszIn, ".qzv"), c.pszOut) << c.pszIn;
}

}  // namespace
