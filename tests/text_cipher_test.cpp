#include "cipher/text_cipher.h"

#include <gtest/gtest.h>

#include <string>

#include "scratch_dir.h"
#include "text_reference.h"

namespace {

using namespace std::string_literals;

TEST(TextCipherTest, EveryKernelMatchesTheStepByStepRuleForEveryByte) {
  // The default window; one past the top of a byte, of odd width; one past
  // both ends; one below every byte.
  const int kWindows[][2] = {{31, 94}, {100, 41}, {-200, 400}, {-1000, 50}};
  std::string strBytes;
  for (int i = 0; i < 256; ++i) strBytes += static_cast<char>(i);
#if (defined(__x86_64__) || defined(__i386__)) && defined(__GLIBC__)
  // Every kernel runs that the compiler's own check finds, where that links.
  EXPECT_EQ(SupportedKernels().size(),
            1U + !!__builtin_cpu_supports("ssse3") + !!__builtin_cpu_supports("avx2"));
#endif
  for (EKernel eKernel : SupportedKernels()) {
    for (const auto& w : kWindows) {
      const std::string strOut =
          CTextCipher().SetWindow(w[0], w[1]).SetKernel(eKernel).ConvertText(strBytes);
      for (int i = 0; i < 256; ++i) {
        ASSERT_EQ(strOut[i], ReferenceConvert(strBytes[i], w[0], w[1]))
            << KernelName(eKernel) << ", window " << w[0] << "/" << w[1] << ", byte " << i;
      }
    }
  }
}

// The default window turns blank to brace and leaves every other byte alone.
TEST(TextCipherTest, ConvertFileTextGivesTheDefaultConversionOfTheText) {
  CScratchDir dir;
  WriteFile("in.txt", " !0ANO}~az\x7f\x80\xff\0\t\r\r\n\x1azz"s);
  std::string strText = "left over";
  ASSERT_TRUE(CTextCipher().ConvertFileText("in.txt", &strText).IsOk());
  EXPECT_EQ(strText, "OP_p} N~2K\x7f\x80\xff\0\t\r\n"s);
  EXPECT_FALSE(CTextCipher().ConvertFileText("missing.txt", &strText).IsOk());
}

}  // namespace
