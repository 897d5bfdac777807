#include "cipher/text_cipher.h"

#include <gtest/gtest.h>

#include <string>

#include "scratch_dir.h"
#include "text_reference.h"

namespace {

std::string AllBytes() {
  std::string strBytes;
  for (int i = 0; i < 256; ++i) strBytes += static_cast<char>(i);
  return strBytes;
}

TEST(TextCipherTest, DefaultWindowRotatesBlankToBraceAndNothingElse) {
  using namespace std::string_literals;
  struct {
    std::string strIn, strOut;
  } const kCases[] = {
      {"", ""},
      {"\0\t\n\r\x1a\x1f"s, "\0\t\n\r\x1a\x1f"s},
      {" !0ANO", "OP_p} "},
      {"az}~\x7f\x80\xff", "2KN~\x7f\x80\xff"},
      {"a\0b"s, "2\0003"s},
      {"Hello, World~", "w6==@[O(@C=5~"},
  };
  const CTextCipher cipher;
  for (const auto& c : kCases) {
    EXPECT_EQ(cipher.ConvertText(c.strIn), c.strOut) << testing::PrintToString(c.strIn);
  }
}

TEST(TextCipherTest, MatchesStepByStepRuleForEveryByteAndWindow) {
  struct {
    int nBase, nWidth;
  } const kWindows[] = {
      {31, 94},  {64, 26},  {32, 95},  {0, 0},      {-10, 5}, {-200, 400},
      {100, -4}, {-129, 1}, {120, 10}, {-128, 255}, {126, 1}, {-1000, 50},
  };
  const std::string strBytes = AllBytes();
  for (EKernel eKernel : SupportedKernels()) {
    for (const auto& w : kWindows) {
      CTextCipher cipher;
      cipher.SetWindow(w.nBase, w.nWidth).SetKernel(eKernel);
      const std::string strOut = cipher.ConvertText(strBytes);
      for (int i = 0; i < 256; ++i) {
        ASSERT_EQ(strOut[i], ReferenceConvert(strBytes[i], w.nBase, w.nWidth))
            << KernelName(eKernel) << ", window " << w.nBase << "/" << w.nWidth << ", byte " << i;
      }
    }
  }
}

TEST(TextCipherTest, ConvertingTwiceGivesEveryByteBack) {
  const CTextCipher cipher;
  const std::string strBytes = AllBytes();
  EXPECT_EQ(cipher.ConvertText(cipher.ConvertText(strBytes)), strBytes);
}

TEST(TextCipherTest, ConvertFileTextReadsTheWholeFileAsText) {
  CScratchDir dir;
  WriteFile("in.txt",
            "abc\r\nabc\x1a"
            "def");
  std::string strText;
  ASSERT_TRUE(CTextCipher().ConvertFileText("in.txt", &strText).IsOk());
  EXPECT_EQ(strText, "234\n234");
  EXPECT_FALSE(CTextCipher().ConvertFileText("missing.txt", &strText).IsOk());
}

}  // namespace
