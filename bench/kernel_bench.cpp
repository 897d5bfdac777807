// Throughput of the conversion kernel in memory, on one core: text reading
// (CR LF folding, the Ctrl-Z scan) and the rotation, as the file commands run
// them, but with memory standing in for the file.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <random>
#include <span>
#include <string>

#include "cipher/text_cipher.h"
#include "cipher/text_reader.h"

namespace {

enum class EText { kLf, kCrLf, kRandom };

// One chunk of input of the given kind. Lines are words of lower case letters
// and a few capitals, digits and punctuation, from 1 to 140 bytes long, so
// that line ends fall where no branch predictor can guess them; random bytes
// avoid Ctrl-Z so the text does not end early.
std::string MakeChunk(EText eText) {
  static constexpr char kLetters[] = "etaoinshrdlucmfwypvbgkjqxzETAOIN0123456789.,;'";
  std::mt19937 random(42);
  std::string strChunk;
  strChunk.reserve(CTextCipher::kChunkSize);
  std::size_t nLine = 0;
  std::size_t nLineLength = 70;
  while (strChunk.size() < CTextCipher::kChunkSize) {
    const unsigned nDraw = random();
    if (eText == EText::kRandom) {
      const char ch = static_cast<char>(nDraw & 0xff);
      strChunk += ch == '\x1a' ? '\x1b' : ch;
    } else if (nLine >= nLineLength) {
      strChunk += eText == EText::kCrLf ? "\r\n" : "\n";
      nLine = 0;
      nLineLength = 1 + nDraw % 140;
    } else {
      strChunk += nDraw % 6 == 0 ? ' ' : kLetters[(nDraw >> 8) % (sizeof kLetters - 1)];
      ++nLine;
    }
  }
  strChunk.resize(CTextCipher::kChunkSize);
  return strChunk;
}

// Each iteration converts 64 chunks the way ConvertStream's reading thread
// does: the copy out of the source stands in for read(), which copies out of
// the page cache too, then the text reader and the rotation work in place.
void BM_ReadAndConvert(benchmark::State& state, EText eText) {
  static constexpr int kChunks = 64;
  const std::string strSource = MakeChunk(eText);
  std::string strBuffer(CTextReader::kHeadroom + strSource.size(), '\0');
  char* const pChunk = strBuffer.data() + CTextReader::kHeadroom;
  const CTextCipher cipher;
  for (auto _ : state) {
    CTextReader reader;
    for (int i = 0; i < kChunks; ++i) {
      std::copy(strSource.begin(), strSource.end(), pChunk);
      const std::span<char> text = reader.Take(pChunk, strSource.size());
      cipher.ConvertBuffer(text);
      benchmark::DoNotOptimize(text.data());
    }
  }
  state.SetBytesProcessed(state.iterations() * kChunks * std::ssize(strSource));
}

// The rotation alone, in place, on one chunk.
void BM_ConvertBuffer(benchmark::State& state, EText eText) {
  std::string strText = MakeChunk(eText);
  const CTextCipher cipher;
  for (auto _ : state) {
    cipher.ConvertBuffer(strText);
    benchmark::DoNotOptimize(strText.data());
  }
  state.SetBytesProcessed(state.iterations() * std::ssize(strText));
}

BENCHMARK_CAPTURE(BM_ReadAndConvert, lf_text, EText::kLf);
BENCHMARK_CAPTURE(BM_ReadAndConvert, crlf_text, EText::kCrLf);
BENCHMARK_CAPTURE(BM_ReadAndConvert, random_bytes, EText::kRandom);
BENCHMARK_CAPTURE(BM_ConvertBuffer, lf_text, EText::kLf);
BENCHMARK_CAPTURE(BM_ConvertBuffer, random_bytes, EText::kRandom);

}  // namespace
