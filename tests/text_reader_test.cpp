#include "cipher/text_reader.h"

#include <gtest/gtest.h>
#include <pthread.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <string>
#include <thread>

#include "cipher/text_cipher.h"
#include "text_reference.h"

// Array allocations, which here only the stream's chunk buffers make, fail on
// demand: this many more succeed, then one fails; at -1, as after that
// failure, none fails.
static std::atomic<int> g_nArrayNewsToPass = -1;

void* operator new[](std::size_t nSize) {
  if (g_nArrayNewsToPass >= 0 && g_nArrayNewsToPass-- == 0) throw std::bad_alloc();
  if (void* pBlock = std::malloc(nSize == 0 ? 1 : nSize)) return pBlock;
  throw std::bad_alloc();
}
void operator delete[](void* pBlock) noexcept { std::free(pBlock); }
void operator delete[](void* pBlock, std::size_t /*nSize*/) noexcept { std::free(pBlock); }

namespace {

constexpr std::size_t kChunk = CTextCipher::kChunkSize;
// The whole chunks read on the calling thread before a second one starts,
// for an input large enough.
constexpr std::size_t kAlone = 1;

// The conversion of the file strRaw and its cut, found the plain way.
std::string Expected(const std::string& strRaw) {
  return CTextCipher().ConvertText(ReadAsText(strRaw)) + CutNote(strRaw);
}

TEST(TextReaderTest, GivesTheSameTextWhereverTheChunkEdgesFall) {
  // Long enough for two blocks of every kernel wherever the first read ends,
  // with pairs and lone CRs on both sides of the block edges, blocks of pairs
  // only, blocks without a CR before and after them.
  const std::string strLong =
      "a\r\n\r\r\nbc\rd\n\r\r\n\ne\r\r\r\nfghijklmnopqrstu\r\n\r\n\rvwxyz0123456789\r\n\r";
  std::string strPairs;
  for (int i = 0; i < 34; ++i) strPairs += "\r\n";
  const std::string kInputs[] = {"", "\r", "\r\n", "\r\r\n", "\n\r", "a\rb", "\x1a", "\r\x1a\n",
                                 "ab\x1azz", "\x1a\x1a\x1a", "a\x1a\x1a\x1az\x1a",
                                 std::string("\0\r\0\n", 4),
                                 strLong + strPairs + std::string(70, 'q') + strLong,
                                 // A Ctrl-Z after whole blocks, with a CR before it.
                                 std::string(40, 'q') + strLong + strLong + "\r\x1a\n" + strLong,
                                 // One in the upper half of a block, in a step with no CR.
                                 std::string(20, 'q') + "\x1a" + std::string(120, 'z')};
  for (EKernel eKernel : SupportedKernels()) {
    for (const std::string& strRaw : kInputs) {
      // A first read of nFirst bytes and one for the rest; for nFirst 0, one byte a read.
      for (std::size_t nFirst = 0; nFirst <= strRaw.size(); ++nFirst) {
        const std::size_t reads[] = {std::max<std::size_t>(nFirst, 1), nFirst == 0 ? 1 : SIZE_MAX};
        EXPECT_EQ(ConvertInReads(strRaw, reads, eKernel), Expected(strRaw))
            << KernelName(eKernel) << ", first read " << nFirst << " of "
            << testing::PrintToString(strRaw);
      }
    }
  }
}

TEST(TextReaderTest, FullChunksGiveTheSameTextWhereverTheChunkEdgesFall) {
  // Bytes across the edge of the last chunk read on the calling thread; the
  // later chunks are read on a second thread.
  for (const char* pszEdge : {"\r\n", "\rx", "\r\x1a", "q\x1a"}) {
    const std::string strRaw =
        std::string(kAlone * kChunk - 1, 'q') + pszEdge + std::string(kChunk, 'q');
    for (EKernel eKernel : SupportedKernels()) {
      EXPECT_TRUE(ConvertInReads(strRaw, {}, eKernel) == Expected(strRaw))
          << KernelName(eKernel) << ": " << testing::PrintToString(pszEdge);
    }
  }
  // A second thread that cannot have its buffer, or (glibc) cannot start for
  // want of a stack that can be mapped, leaves the work to the calling thread;
  // without a first buffer there is no conversion.
  const std::string strRaw = std::string((kAlone + 1) * kChunk - 1, 'q') + "\r\n";
  g_nArrayNewsToPass = 1;
  EXPECT_TRUE(ConvertInReads(strRaw, {}, FastestKernel()) == Expected(strRaw)) << "one buffer";
  g_nArrayNewsToPass = 0;
  EXPECT_THROW(ConvertInReads(strRaw, {}, FastestKernel()), std::bad_alloc) << "no buffer";
#ifdef __GLIBC__
  pthread_attr_t before;
  pthread_attr_t huge;
  pthread_getattr_default_np(&before);
  pthread_getattr_default_np(&huge);
  pthread_attr_setstacksize(&huge, SIZE_MAX / 2);
  pthread_setattr_default_np(&huge);
  const std::string strOut = ConvertInReads(strRaw, {}, FastestKernel());
  pthread_setattr_default_np(&before);
  EXPECT_TRUE(strOut == Expected(strRaw)) << "on one thread";
#endif
}

TEST(TextReaderTest, LooksAtNothingPastTheChunkOrTheText) {
  for (EKernel eKernel : SupportedKernels()) {
    // Past the first chunk lies an LF, stale from an earlier and longer chunk:
    // the CR that ends the chunk must wait for the next one, which starts with
    // an x. Past a Ctrl-Z nothing is text.
    std::string strBuffer = "_\r" + std::string(126, 'q') + "\r\n_x\x1azz";
    CTextReader reader(MakeByteRule(31, 94, 47), eKernel);
    reader.Take(&strBuffer[1], 128);
    const std::span<char> next = reader.Take(&strBuffer[131], 3);
    EXPECT_EQ(std::string(next.begin(), next.end()), "\rI") << KernelName(eKernel);
    EXPECT_TRUE(reader.Take(&strBuffer[134], 1).empty()) << KernelName(eKernel);
  }
}

// A read that fails past the Ctrl-Z ends the count of what follows, which
// the cut notes, even when no byte was counted: a failure before it fails
// the stream, as StreamStopsAtTheFirstFailure shows.
TEST(TextReaderTest, AFailedReadPastTheTextEndsOnlyTheCount) {
  const std::size_t kReads[] = {4, 0};
  EXPECT_EQ(ConvertInReads("ab\x1azz", kReads, FastestKernel()), "23 [cut at 2, 1 after, broken]");
  EXPECT_EQ(ConvertInReads("ab\x1a", kReads, FastestKernel()), "23 [cut at 2, 0 after, broken]");
}

// A stream of full chunks whose read or write number kAlone + 1 fails, as
// pszFailure says ("in: broken", "out of memory" or "out: full"), from an
// input expected to hold nSize bytes; and what it must do.
struct SStreamCase {
  const char* pszFailure;
  std::uint64_t nSize;
  std::size_t nAhead;           // The reads done while the first write waits.
  std::size_t nMostReads;       // The reads done at most in all.
  std::size_t nFirstElsewhere;  // The first read on another thread, 0 for none.
};

// What such a stream did: its outcome and the counts the case foresees.
struct SStreamRun {
  std::string strOutcome;
  std::size_t nAhead = 0;
  std::size_t nReads = 0;
  std::size_t nFirstElsewhere = 0;
};

// Waits, for up to 10 s, until nReads reaches nAwaited, and 20 ms more for
// any read beyond it; returns nReads then.
std::size_t AwaitReads(const std::atomic<std::size_t>& nReads, std::size_t nAwaited) {
  const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (nReads < nAwaited && std::chrono::steady_clock::now() < giveUp) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  return nReads;
}

// Runs the stream of test; its first write waits for test.nAhead reads.
SStreamRun RunStream(const SStreamCase& test) {
  constexpr std::size_t kFailing = kAlone + 1;
  const std::string strFailure = test.pszFailure;
  std::atomic<std::size_t> nReads = 0;
  std::atomic<std::size_t> nFirstElsewhere = 0;
  const auto read = [&, caller = std::this_thread::get_id()](char* pBuffer, std::size_t nMax,
                                                             std::size_t* pnRead) {
    std::fill_n(pBuffer, *pnRead = nMax, 'a');
    const std::size_t nRead = ++nReads;
    if (std::this_thread::get_id() != caller && nFirstElsewhere == 0) nFirstElsewhere = nRead;
    if (nRead == kFailing && strFailure == "out of memory") throw std::bad_alloc();
    return nRead == kFailing && strFailure == "in: broken" ? CStatus::Failure("in", "broken")
                                                           : CStatus();
  };
  SStreamRun run;
  std::size_t nWrites = 0;
  const auto write = [&](auto) {
    if (++nWrites == kAlone) run.nAhead = AwaitReads(nReads, test.nAhead);
    return nWrites == kFailing && strFailure == "out: full" ? CStatus::Failure("out", "full")
                                                            : CStatus();
  };
  try {
    run.strOutcome = CTextCipher().ConvertStream(read, write, nullptr, test.nSize).Message();
  } catch (const std::bad_alloc&) {
    run.strOutcome = "out of memory";
  }
  run.nReads = nReads;
  run.nFirstElsewhere = nFirstElsewhere;
  return run;
}

TEST(TextReaderTest, StreamStopsAtTheFirstFailureAndReadsAtMostTwoChunksAhead) {
  // A second thread starts after the first chunk of an input large enough.
  // While that chunk is written, the thread reads the two after it and no
  // more, or the first of them fails or runs out of memory, and nothing more
  // is read; or the write after that one fails. An input expected to be
  // smaller is read on the calling thread alone.
  constexpr std::uint64_t kLarge = CTextCipher::kSizeForSecondThread;
  const SStreamCase kCases[] = {{"in: broken", kLarge, 2, 2, 2},
                                {"out of memory", kLarge, 2, 2, 2},
                                {"out: full", kLarge, 3, 4, 2},
                                {"out: full", kLarge - 1, 1, 2, 0}};
  for (const SStreamCase& test : kCases) {
    const SStreamRun run = RunStream(test);
    const std::string strCase = std::string(test.pszFailure) + ", " + std::to_string(test.nSize);
    EXPECT_EQ(run.strOutcome, test.pszFailure) << strCase;
    EXPECT_EQ(run.nAhead, test.nAhead) << strCase;
    EXPECT_LE(run.nReads, test.nMostReads) << strCase;
    EXPECT_EQ(run.nFirstElsewhere, test.nFirstElsewhere) << strCase;
  }
}

}  // namespace
