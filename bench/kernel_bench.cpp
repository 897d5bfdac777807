// Throughput of the conversion kernels in memory, on one core: text reading
// (the Ctrl-Z, CR LF folding and the rotation in one pass), as the file
// commands run it, but with memory standing in for the file, for each kernel
// this processor has; and the rotation alone.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <span>
#include <string>
#include <utility>

#include "cipher/byte_rule.h"
#include "cipher/kernel.h"
#include "cipher/text_cipher.h"
#include "cipher/text_reader.h"

namespace {

enum class EText { kLf, kCrLf, kCrLfShort, kRandom };

// nSize bytes of input of the given kind. Lines are words of lower case letters
// and a few capitals, digits and punctuation, from 1 to 140 bytes long (short
// lines: 1 to 26, so that most 32-byte blocks hold two or three CR LF pairs),
// so that line ends fall where no branch predictor can guess them; random
// bytes avoid Ctrl-Z so the text does not end early.
std::string MakeText(EText eText, std::size_t nSize) {
  static constexpr char kLetters[] = "etaoinshrdlucmfwypvbgkjqxzETAOIN0123456789.,;'";
  std::mt19937 random(42);
  std::string strChunk;
  strChunk.reserve(nSize);
  std::size_t nLine = 0;
  std::size_t nLineLength = 70;
  while (strChunk.size() < nSize) {
    const unsigned nDraw = random();
    if (eText == EText::kRandom) {
      const char ch = static_cast<char>(nDraw & 0xff);
      strChunk += ch == '\x1a' ? '\x1b' : ch;
    } else if (nLine >= nLineLength) {
      strChunk += eText == EText::kLf ? "\n" : "\r\n";
      nLine = 0;
      nLineLength = 1 + nDraw % (eText == EText::kCrLfShort ? 26 : 140);
    } else {
      strChunk += nDraw % 6 == 0 ? ' ' : kLetters[(nDraw >> 8) % (sizeof kLetters - 1)];
      ++nLine;
    }
  }
  strChunk.resize(nSize);
  return strChunk;
}

// Each iteration converts 64 chunks the way ConvertStream's reading thread
// does: the copy out of the source stands in for read(), which copies out of
// the page cache too, then the text reader works in place. The chunks differ:
// converting one chunk over and over, the branch predictor of AMD Zen 3
// learnt its line ends, and CR LF text read 1.5 to 2 times as fast as in a
// run of rotfile, which meets each chunk once.
void BM_ReadAndConvert(benchmark::State& state, EText eText, EKernel eKernel) {
  static constexpr std::size_t kChunks = 64;
  static constexpr std::size_t kChunkSize = CTextCipher::kChunkSize;
  const std::string strSource = MakeText(eText, kChunks * kChunkSize);
  // The chunk starts on a page boundary, as in ConvertStream: a copy to an
  // address one byte off the source's alignment runs at a tenth of the speed
  // on some processors (AMD Zen 3).
  constexpr std::uintptr_t kPage = 4096;
  std::string strBuffer(kPage + kChunkSize, '\0');
  const auto nAddress = reinterpret_cast<std::uintptr_t>(strBuffer.data() + CTextReader::kHeadroom);
  char* const pChunk = strBuffer.data() + CTextReader::kHeadroom + (-nAddress & (kPage - 1));
  for (auto _ : state) {
    CTextReader reader(MakeByteRule(31, 94, 47), eKernel);
    for (std::size_t i = 0; i < kChunks; ++i) {
      std::copy_n(strSource.begin() + static_cast<std::ptrdiff_t>(i * kChunkSize), kChunkSize,
                  pChunk);
      const std::span<char> text = reader.Take(pChunk, kChunkSize);
      benchmark::DoNotOptimize(text.data());
    }
  }
  state.SetBytesProcessed(state.iterations() * std::ssize(strSource));
}

// The rotation alone, in place, on one chunk.
void BM_ConvertBuffer(benchmark::State& state, EText eText) {
  std::string strText = MakeText(eText, CTextCipher::kChunkSize);
  const CTextCipher cipher;
  for (auto _ : state) {
    cipher.ConvertBuffer(strText);
    benchmark::DoNotOptimize(strText.data());
  }
  state.SetBytesProcessed(state.iterations() * std::ssize(strText));
}

// BM_ReadAndConvert/KERNEL/TEXT for each kernel this processor has, and in
// the report's header the one the tool chose.
const bool kReadAndConvertRegistered = [] {
  benchmark::AddCustomContext("chosen kernel", KernelName(FastestKernel()));
  const std::pair<const char*, EText> kTexts[] = {{"lf_text", EText::kLf},
                                                  {"crlf_text", EText::kCrLf},
                                                  {"crlf_short_lines", EText::kCrLfShort},
                                                  {"random_bytes", EText::kRandom}};
  for (EKernel eKernel : SupportedKernels()) {
    for (const auto& [pszText, eText] : kTexts) {
      const std::string strName =
          std::string("BM_ReadAndConvert/") + KernelName(eKernel) + "/" + pszText;
      benchmark::RegisterBenchmark(strName.c_str(), BM_ReadAndConvert, eText, eKernel);
    }
  }
  return true;
}();
BENCHMARK_CAPTURE(BM_ConvertBuffer, lf_text, EText::kLf);
BENCHMARK_CAPTURE(BM_ConvertBuffer, random_bytes, EText::kRandom);

}  // namespace
