// Throughput of the conversion kernel in memory, on one core: text reading
// (CR LF folding, the Ctrl-Z scan) and the rotation, as the file commands run
// them, but with memory standing in for the files.
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <span>
#include <string>

#include "cipher/text_cipher.h"

namespace {

enum class EText { kLf, kCrLf, kRandom };

// One chunk of input of the given kind. Lines are words of lower case letters
// and a few capitals, digits and punctuation, about 70 bytes each; random
// bytes avoid Ctrl-Z so the text does not end early.
std::string MakeChunk(EText eText) {
  static constexpr char kLetters[] = "etaoinshrdlucmfwypvbgkjqxzETAOIN0123456789.,;'";
  std::mt19937 random(42);
  std::string strChunk;
  strChunk.reserve(CTextCipher::kChunkSize);
  std::size_t nLine = 0;
  while (strChunk.size() < CTextCipher::kChunkSize) {
    const unsigned nDraw = random();
    if (eText == EText::kRandom) {
      const char ch = static_cast<char>(nDraw & 0xff);
      strChunk += ch == '\x1a' ? '\x1b' : ch;
    } else if (nLine >= 70) {
      strChunk += eText == EText::kCrLf ? "\r\n" : "\n";
      nLine = 0;
    } else {
      strChunk += nDraw % 6 == 0 ? ' ' : kLetters[(nDraw >> 8) % (sizeof kLetters - 1)];
      ++nLine;
    }
  }
  strChunk.resize(CTextCipher::kChunkSize);
  return strChunk;
}

// Each iteration streams 64 chunks through ConvertStream. The copy out of the
// source stands in for read(), which copies out of the page cache too. Timed
// by the clock: the reading and converting run on ConvertStream's own thread.
void BM_ConvertStream(benchmark::State& state, EText eText) {
  static constexpr int kChunks = 64;
  const std::string strSource = MakeChunk(eText);
  const CTextCipher cipher;
  for (auto _ : state) {
    int nLeft = kChunks;
    const CStatus status = cipher.ConvertStream(
        [&](char* pBuffer, std::size_t nMax, std::size_t* pnRead) {
          *pnRead = nLeft-- > 0 ? std::min(nMax, strSource.size()) : 0;
          std::memcpy(pBuffer, strSource.data(), *pnRead);
          return CStatus();
        },
        [](std::span<const char> text) {
          benchmark::DoNotOptimize(text.data());
          return CStatus();
        });
    benchmark::DoNotOptimize(status);
  }
  state.SetBytesProcessed(state.iterations() * kChunks * strSource.size());
}

// The rotation alone, in place, on one chunk.
void BM_ConvertBuffer(benchmark::State& state, EText eText) {
  std::string strText = MakeChunk(eText);
  const CTextCipher cipher;
  for (auto _ : state) {
    cipher.ConvertBuffer(strText);
    benchmark::DoNotOptimize(strText.data());
  }
  state.SetBytesProcessed(state.iterations() * strText.size());
}

BENCHMARK_CAPTURE(BM_ConvertStream, lf_text, EText::kLf)->UseRealTime();
BENCHMARK_CAPTURE(BM_ConvertStream, crlf_text, EText::kCrLf)->UseRealTime();
BENCHMARK_CAPTURE(BM_ConvertStream, random_bytes, EText::kRandom)->UseRealTime();
BENCHMARK_CAPTURE(BM_ConvertBuffer, lf_text, EText::kLf);
BENCHMARK_CAPTURE(BM_ConvertBuffer, random_bytes, EText::kRandom);

}  // namespace
