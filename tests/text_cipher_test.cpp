#include "cipher/text_cipher.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "cipher/cut_warning.h"
#include "cipher/text_reader.h"
#include "scratch_dir.h"
#include "text_reference.h"

namespace {

using namespace std::string_literals;

TEST(TextCipherTest, EveryKernelMatchesTheStepByStepRuleForEveryByte) {
  // The default window; one past the top of a byte, of odd width; one past
  // both ends; one whose lower half lies below every byte; one below every
  // byte.
  const int kWindows[][2] = {{31, 94}, {100, 41}, {-200, 400}, {-400, 400}, {-1000, 50}};
  // Every byte, Ctrl-Z last, so that reading it as text keeps all others.
  std::string strBytes;
  for (int i = 0; i < 256; ++i) strBytes += static_cast<char>(i + 27);
#if (defined(__x86_64__) || defined(__i386__)) && defined(__GLIBC__)
  // Every kernel runs that the compiler's own check finds, where that links.
  EXPECT_EQ(SupportedKernels().size(),
            1U + !!__builtin_cpu_supports("sse2") + !!__builtin_cpu_supports("avx2") +
                (__builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vbmi2")));
#endif
  for (EKernel eKernel : SupportedKernels()) {
    for (const auto& w : kWindows) {
      std::string strExpected;
      for (char ch : strBytes) strExpected += ReferenceConvert(ch, w[0], w[1]);
      std::string strBuffer = "_" + strBytes;
      const std::span<char> text =
          CTextReader(MakeByteRule(w[0], w[1], w[1] / 2), eKernel).Take(&strBuffer[1], 256);
      EXPECT_EQ(CTextCipher().SetWindow(w[0], w[1]).SetKernel(eKernel).ConvertText(strBytes),
                strExpected)
          << KernelName(eKernel) << ", window " << w[0] << "/" << w[1];
      EXPECT_EQ(std::string(text.begin(), text.end()), strExpected.substr(0, 255))
          << KernelName(eKernel) << " reading, window " << w[0] << "/" << w[1];
    }
  }
}

TEST(TextCipherTest, ProcessorCheckChoosesTheFastestKernelOfThoseItRuns) {
  const EKernel kX86[] = {EKernel::kGeneric, EKernel::kSse2, EKernel::kAvx2, EKernel::kAvx512};
  const struct {
    std::size_t nKernels;
    bool bAmd;
    unsigned nFamily;
    EKernel eChosen;
  } kCases[] = {{4, true, 0x19, EKernel::kAvx2},     // Zen 4.
                {4, true, 0x1a, EKernel::kAvx512},   // Zen 5.
                {4, false, 0x19, EKernel::kAvx512},  // Not AMD's.
                {3, true, 0x19, EKernel::kAvx2},     // Zen 3.
                {1, true, 0x19, EKernel::kGeneric}};
  for (const auto& c : kCases) {
    EXPECT_EQ(FastestKernelOf({kX86, c.nKernels}, c.bAmd, c.nFamily), c.eChosen)
        << c.nKernels << " kernels, AMD " << c.bAmd << ", family " << c.nFamily;
  }
}

// The default window turns blank to brace and leaves every other byte alone.
TEST(TextCipherTest, ConvertFileTextGivesTheDefaultConversionOfTheText) {
  CScratchDir dir;
  WriteFile("in.txt", " !0ANO}~az\x7f\x80\xff\0\t\r\r\n\x1az"s);
  std::string strText = "left over";
  EXPECT_EQ(CTextCipher().ConvertFileText("in.txt", &strText).Message(),
            "in.txt: warning: the text ends at a Ctrl-Z at byte 19; the 1 byte after it was not "
            "converted");
  EXPECT_EQ(strText, "OP_p} N~2K\x7f\x80\xff\0\t\r\n"s);
  EXPECT_FALSE(CTextCipher().ConvertFileText("missing.txt", &strText).IsOk());
}

// Where the text ends and what follows, with counts of three, six and nine
// digits that take no comma in front, and of four, seven and ten.
TEST(TextCipherTest, CutWarningSaysWhereTheTextEndsAndWhatFollows) {
  const std::pair<STextCut, std::string> kCuts[] = {
      {{99, 1000, ""}, "100; the 1,000 bytes after it were not converted"},
      {{99999, 1000000, ""}, "100,000; the 1,000,000 bytes after it were not converted"},
      {{99999999, 1000000000, ""},
       "100,000,000; the 1,000,000,000 bytes after it were not converted"},
      {{8, 0, "broken"}, "9; what follows it could not be read (broken)"},
      {{8, 1, "broken"},
       "9; the 1 byte after it was not converted, and what follows could not be read (broken)"},
  };
  for (const auto& [cut, strWarning] : kCuts) {
    EXPECT_EQ(CutWarning("in.txt", cut).Message(),
              "in.txt: warning: the text ends at a Ctrl-Z at byte " + strWarning);
  }
}

}  // namespace
