#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "cipher/text_pass.h"
#include "cipher/text_reader.h"

// The generic pass needs no vector unit: it takes the text eight bytes at a
// time in a 64-bit word, and tells where each byte lies by sums whose top bit
// in each byte holds the answer, no carry crossing into the next byte. It
// converts only the rules of a window of 7-bit codes of even width, whose
// lower half stays below 256 when raised and whose upper half stays at 0 or
// above when lowered by as much: then each byte's result is a plain sum, and
// one multiplication and one addition over the word convert all eight. The
// tool's window (blank to brace) is such a rule; for any other the pass
// leaves every byte to the caller's byte loop. Only dropping a byte depends
// on the order of the bytes, so a word holds them as a little-endian
// processor loads them, on every processor.

namespace {

using Word = std::uint64_t;

constexpr Word kOnes = 0x0101010101010101U;
constexpr Word kTops = kOnes * 0x80;
constexpr Word kLows = kOnes * 0x7f;
constexpr bool kLittleEndian = std::endian::native == std::endian::little;

// The 8 bytes at p, the first in the lowest byte on every processor, so that
// a byte's place in memory is its place in the word: a big-endian processor
// swaps them, with an instruction of its own where it has one.
Word Load(const char* p) {
  Word w = 0;
  std::memcpy(&w, p, sizeof w);
  if constexpr (!kLittleEndian) w = __builtin_bswap64(w);
  return w;
}

void Store(char* p, Word w) {
  if constexpr (!kLittleEndian) w = __builtin_bswap64(w);
  std::memcpy(p, &w, sizeof w);
}

// Each byte of w, with those that equal ch made 0, less one: masked by
// Below128(w), nonzero exactly when some byte of w is ch, a code below 0x80.
// Less one, only a byte that was 0 or above 0x80 has its top bit set, and
// the mask leaves out the bytes from 0x80 up; a borrow starts only at a 0.
Word Marks(Word w, std::uint8_t ch) { return (w ^ (kOnes * ch)) - kOnes; }

// The top bit of each byte of w below 0x80.
Word Below128(Word w) { return ~w & kTops; }

// Nonzero when some byte of w is a CR or a Ctrl-Z.
Word AnySpecial(Word w) {
  return (Marks(w, '\r') | Marks(w, CTextReader::kEndOfText)) & Below128(w);
}

// Nonzero when some byte of w is a Ctrl-Z.
Word AnyEnd(Word w) { return Marks(w, CTextReader::kEndOfText) & Below128(w); }

// The top bit of each byte of w that is a CR followed by an LF, next being
// the word one byte on. A byte of the pair test is 0 where a pair starts;
// the borrow of a 0 could mark the byte after it too when that byte is 1,
// but the byte after a pair's CR is its LF, which tests as 7 or more, so
// the marks are exact.
Word PairMarks(Word w, Word next) {
  const Word test = (w ^ (kOnes * '\r')) | (next ^ (kOnes * '\n'));
  return (test - kOnes) & ~test & kTops;
}

// w without the byte whose top bit is mark, the bytes after it moving down
// a place; w itself when mark is 0. The last byte is left 0.
// REQUIRES: mark is 0 or the top bit of a single byte.
Word DropMarked(Word w, Word mark) {
  const Word from = Word{0} - (mark >> 7);
  return w ^ ((w ^ (w >> 8)) & from);
}

// The rule as words: what a byte's 7 bits are raised by, or taken from, so
// that their top bit tells where they lie; and what the lower half is raised
// by, which is what the upper half is lowered by.
struct SRuleSwar {
  Word atLeastFirst, atMostLast, aboveSplit;
  std::uint8_t nRaise;
};

// Returns false for a rule whose results the words cannot hold.
bool MakeRuleSwar(const SByteRule& rule, SRuleSwar* pSwar) {
  const int nLast = rule.nFirst + rule.nLast;
  const int nSplit = rule.nFirst + rule.nSplit;
  if (nLast > 127 || nSplit + rule.nRaise > 255 || (rule.nRaise + rule.nWrap) % 256 != 0 ||
      (nSplit < nLast && nSplit + 1 < rule.nRaise)) {
    return false;
  }
  *pSwar = {kOnes * (128 - rule.nFirst), kOnes * (128 + nLast), kOnes * (127 - nSplit),
            rule.nRaise};
  return true;
}

// Each byte of the window adds 1 or -1 times the raise, as a sum of the
// bytes' places that may be negative: the word's sum is exact all the same.
Word ConvertSwar(const SRuleSwar& rule, Word w) {
  const Word low = w & kLows;
  const Word inside = (low + rule.atLeastFirst) & (rule.atMostLast - low) & Below128(w);
  const Word upper = inside & (low + rule.aboveSplit);
  return w + ((inside >> 7) - (upper >> 6)) * rule.nRaise;
}

// Converts w, the 8 bytes at pIn, without the CR of each CR LF pair in it,
// stores the result at pOut and returns where it ends. A word holds two
// pairs only around a line of 5 bytes or fewer, so the loop seldom runs: it
// drops pairs from the first on, each moving those after it down a place,
// until one is left. That one, or none, is dropped without a branch on
// whether there is one or where.
[[gnu::always_inline]] inline char* StoreFoldedSwar(const SRuleSwar& rule, Word w, const char* pIn,
                                                    char* pOut) {
  Word pairs = PairMarks(w, Load(pIn + 1));
  Word text = ConvertSwar(rule, w);
  char* pNext = pOut + sizeof text;
  while ((pairs & (pairs - 1)) != 0) {
    const Word first = pairs & (Word{0} - pairs);
    text = DropMarked(text, first);
    pairs = DropMarked(pairs ^ first, first);
    --pNext;
  }
  text = DropMarked(text, pairs);
  pNext -= pairs != 0;
  Store(pOut, text);
  return pNext;
}

// Converts the 16 bytes at pIn, without the CR of each CR LF pair in them,
// into the text at pOut, and returns where it ends. Called, not inlined:
// inlined, the registers of its two words crowd the step without a CR,
// which then keeps fewer of its constants in registers, and that costs more
// than a call does for a step with a CR. It loads the two words again for
// the same reason: handed over, they stay live through the step without a
// CR, which then read LF text about a twentieth slower (2.70 to 2.80 against
// 2.80 to 2.95 GiB/s, three interleaved runs).
[[gnu::noinline]] char* StoreFoldedStep(const SRuleSwar& rule, const char* pIn, char* pOut) {
  const Word low = Load(pIn);
  const Word high = Load(pIn + 8);
  pOut = StoreFoldedSwar(rule, low, pIn, pOut);
  return StoreFoldedSwar(rule, high, pIn + 8, pOut);
}

}  // namespace

// Two words a step, looked at together for a CR or a Ctrl-Z, as the AVX2
// pass takes two blocks. Whether a step holds a CR is the one branch that
// text makes hard to foresee, about once a line; the fold after it has none
// for a word of one pair or none. Measured with rotfile_bench on a 2-core
// AMD EPYC (Zen 3) shared with other work, built for any x86-64 (the bench
// preset, no -march), converting one chunk over and over as the benchmark
// then did, the median of 7 interleaved runs, each the median of 3, GiB/s:
// LF text 3.27, CR LF text 2.64, random bytes 2.96, where dropping each pair
// in a loop, in the loop of the steps, read 2.96, 2.18 and 2.58.
STextPass PassGeneric(const SByteRule& rule, const char* pIn, const char* pEnd, char* pOut) {
  SRuleSwar converter;
  if (!MakeRuleSwar(rule, &converter)) return {pIn, pOut};
  // Each step reads one byte past its 16, to see whether a CR at its end has
  // its LF.
  const std::ptrdiff_t nSteps = (pEnd - pIn - 1) / 16;
  for (const char* const pStop = pIn + 16 * nSteps; pIn != pStop; pIn += 16) {
    const Word low = Load(pIn);
    const Word high = Load(pIn + 8);
    if ((AnySpecial(low) | AnySpecial(high)) == 0) {
      Store(pOut, ConvertSwar(converter, low));
      Store(pOut + 8, ConvertSwar(converter, high));
      pOut += 16;
      continue;
    }
    if ((AnyEnd(low) | AnyEnd(high)) != 0) break;
    pOut = StoreFoldedStep(converter, pIn, pOut);
  }
  return {pIn, pOut};
}
