#include "cipher/text_reader.h"

#include <gtest/gtest.h>
#include <pthread.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <string>
#include <utility>

#include "cipher/text_cipher.h"
#include "memory_stream.h"
#include "text_reference.h"

namespace {

constexpr std::size_t kAsMuchAsAsked = std::numeric_limits<std::size_t>::max();

// Converts strRaw through the chunked stream; the first read delivers at most
// nFirst bytes and each later one at most nRest; eKernel does the work.
std::string ConvertInReads(const std::string& strRaw, std::size_t nFirst, std::size_t nRest,
                           EKernel eKernel) {
  bool bFirst = true;
  std::string strOut;
  const CStatus status = ConvertFromMemory(
      strRaw, [&] { return std::exchange(bFirst, false) ? nFirst : nRest; }, &strOut, eKernel);
  EXPECT_TRUE(status.IsOk()) << status.Message();
  return strOut;
}

#ifdef __GLIBC__
// Sets the stack size of threads started without attributes and returns the
// size before; one that cannot be mapped makes every such start fail.
std::size_t SetDefaultThreadStack(std::size_t nSize) {
  pthread_attr_t attr;
  pthread_getattr_default_np(&attr);
  std::size_t nBefore = 0;
  pthread_attr_getstacksize(&attr, &nBefore);
  pthread_attr_setstacksize(&attr, nSize);
  pthread_setattr_default_np(&attr);
  pthread_attr_destroy(&attr);
  return nBefore;
}
#endif

TEST(TextReaderTest, GivesTheSameTextWhereverTheChunkEdgesFall) {
  const std::string kInputs[] = {
      "",
      "\r",
      "\n",
      "\r\n",
      "\r\r\n",
      "\n\r",
      "a\rb",
      "a\r\nb\r\n",
      "\x1a",
      "\x1a\r\n",
      "\r\x1a",
      "\r\x1a\n",
      // NOLINTNEXTLINE(bugprone-suspicious-missing-comma): one literal, split to end the \x1a
      "ab\x1a"
      "cd",
      "\r\n\x1a\x1a",
      std::string("\0\r\0\n", 4),
      "\r\r\r\n\n\r",
      "abc\r\nabc",
      // Long enough for the block folding, with pairs and lone CRs on both
      // sides of the block edges wherever the first read ends.
      "a\r\n\r\r\nbc\rd\n\r\r\n\ne\r\r\r\nfghijklmnopqrstu\r\n\r\n\rvwxyz0123456789\r\n\r",
  };
  for (EKernel eKernel : SupportedKernels()) {
    for (const std::string& strRaw : kInputs) {
      const std::string strExpected = CTextCipher().ConvertText(ReadAsText(strRaw));
      for (std::size_t nFirst = 1; nFirst <= strRaw.size(); ++nFirst) {
        EXPECT_EQ(ConvertInReads(strRaw, nFirst, kAsMuchAsAsked, eKernel), strExpected)
            << KernelName(eKernel) << ", first read " << nFirst << " of "
            << testing::PrintToString(strRaw);
      }
      EXPECT_EQ(ConvertInReads(strRaw, 1, 1, eKernel), strExpected)
          << KernelName(eKernel) << ", one byte a read: " << testing::PrintToString(strRaw);
    }
  }
}

TEST(TextReaderTest, FullChunksPairCrAndLfAcrossTheChunkEdge) {
  constexpr std::size_t kEdge = CTextCipher::kChunkSize;
  struct {
    std::size_t nAt;
    std::string strBytes;
  } const kCases[] = {
      {kEdge - 1, "\r\n"}, {kEdge - 1, "\rx"},  {kEdge - 1, "\r\x1a"},   {kEdge - 2, "\r\n"},
      {kEdge, "\r\n"},     {kEdge - 1, "\x1a"}, {2 * kEdge - 1, "\r\n"}, {kEdge, "\x1a"},
  };
  for (EKernel eKernel : SupportedKernels()) {
    for (const auto& c : kCases) {
      std::string strRaw(2 * kEdge + 5, 'q');
      strRaw.replace(c.nAt, c.strBytes.size(), c.strBytes);
      EXPECT_TRUE(ConvertInReads(strRaw, kAsMuchAsAsked, kAsMuchAsAsked, eKernel) ==
                  CTextCipher().ConvertText(ReadAsText(strRaw)))
          << KernelName(eKernel) << ": " << testing::PrintToString(c.strBytes) << " at " << c.nAt;
    }
    // A CR that ends the whole input exactly at a chunk edge is a lone CR.
    EXPECT_EQ(
        ConvertInReads(std::string(kEdge - 1, 'q') + "\r", kAsMuchAsAsked, kAsMuchAsAsked, eKernel),
        std::string(kEdge - 1, 'B') + "\r")
        << KernelName(eKernel);
  }
#ifdef __GLIBC__
  // A second thread that cannot start leaves the work to the calling thread.
  const std::size_t nStack = SetDefaultThreadStack(SIZE_MAX / 2);
  const std::string strOut = ConvertInReads(std::string(2 * kEdge - 1, 'q') + "\r\n",
                                            kAsMuchAsAsked, kAsMuchAsAsked, FastestKernel());
  SetDefaultThreadStack(nStack);
  EXPECT_EQ(strOut, std::string(2 * kEdge - 1, 'B') + "\n");
#endif
}

TEST(TextReaderTest, LooksAtNothingPastTheChunk) {
  for (EKernel eKernel : SupportedKernels()) {
    // The buffer first holds a longer chunk with an LF just past where the
    // next one ends; the next one's last CR must not be paired with it.
    std::string strBuffer = "_" + std::string(32, 'q') + "\n";
    CTextReader reader(eKernel);
    reader.Take(&strBuffer[1], 33);
    strBuffer.replace(1, 32, "\r" + std::string(30, 'q') + "\r");
    const std::span<char> text = reader.Take(&strBuffer[1], 32);
    std::string strText(text.begin(), text.end());
    const std::span<char> rest = reader.Finish(&strBuffer[0]);
    strText.append(rest.begin(), rest.end());
    EXPECT_EQ(strText, "\r" + std::string(30, 'q') + "\r") << KernelName(eKernel);
  }
}

TEST(TextReaderTest, StreamStopsAtTheFirstFailure) {
  const CTextCipher cipher;
  int nReads = 0;
  // Full chunks, so that the second thread takes over after the first.
  const auto readFullChunk = [&](char* pBuffer, std::size_t nMax, std::size_t* pnRead) {
    std::fill_n(pBuffer, nMax, 'a');
    *pnRead = nMax;
    return ++nReads == 2 ? CStatus::Failure("in", "broken") : CStatus();
  };
  const auto writeNothing = [](std::span<const char>) { return CStatus(); };
  EXPECT_EQ(cipher.ConvertStream(readFullChunk, writeNothing).Message(), "in: broken");
  EXPECT_EQ(nReads, 2);

  nReads = 0;
  const auto writeFails = [](std::span<const char>) { return CStatus::Failure("out", "full"); };
  EXPECT_EQ(cipher.ConvertStream(readFullChunk, writeFails).Message(), "out: full");
  // Reading runs ahead of writing by at most the two chunks in flight.
  EXPECT_LE(nReads, 2);
}

}  // namespace
