#include "cipher/text_pass.h"

#ifdef ROTFILE_PASS_X86
#include <immintrin.h>

#include <cstddef>

#include "cipher/text_reader.h"

// The SSE2 and AVX2 passes take the text a block of 16 or 32 bytes at a
// time. A block without a CR or a Ctrl-Z is only converted and stored (by
// the AVX2 pass until its first CR; see there). In a block with a CR, each
// CR LF pair moves the bytes after its CR one place down: the block takes
// them from the input one byte further on, from the CR's place (less the
// CRs dropped before it) on, through a ramp that selects those places. The
// work grows with the pairs in a block, not with its bytes.
// Pairs lie two bytes apart at least, so a block looks at most half its width
// past its end. Every store lands on input already loaded: the output never
// passes the input, and a store of a whole block reaches no further than the
// block loaded. SSE2 is all the 16-byte pass needs, so every x86-64 processor
// runs it.
//
// The conversion turns the rule's distances into signed comparisons: adding
// 0x80 - nFirst gives the distance with its top bit flipped, which compares
// as signed as the distance does unsigned.

namespace {

constexpr char kCr = '\r';
constexpr char kLf = '\n';
constexpr char kEndOfText = CTextReader::kEndOfText;

// The rule as 16-byte vectors, with the wrap as its difference to the raise.
struct SRuleSse2 {
  __m128i bias, last, split, raise, wrapXorRaise;
};

[[gnu::target("sse2")]] SRuleSse2 MakeRuleSse2(const SByteRule& rule) {
  return {_mm_set1_epi8(static_cast<char>(0x80 - rule.nFirst)),
          _mm_set1_epi8(static_cast<char>(rule.nLast ^ 0x80)),
          _mm_set1_epi8(static_cast<char>(rule.nSplit ^ 0x80)),
          _mm_set1_epi8(static_cast<char>(rule.nRaise)),
          _mm_set1_epi8(static_cast<char>(rule.nWrap ^ rule.nRaise))};
}

[[gnu::target("sse2")]] __m128i ConvertSse2(const SRuleSse2& rule, __m128i block) {
  const __m128i distance = _mm_add_epi8(block, rule.bias);
  const __m128i add = _mm_xor_si128(
      _mm_and_si128(_mm_cmpgt_epi8(distance, rule.split), rule.wrapXorRaise), rule.raise);
  return _mm_add_epi8(block, _mm_andnot_si128(_mm_cmpgt_epi8(distance, rule.last), add));
}

[[gnu::target("sse2")]] __m128i Load16(const char* p) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

// The rule as 32-byte vectors.
struct SRuleAvx2 {
  __m256i bias, last, split, raise, wrap;
};

[[gnu::target("avx2,bmi,popcnt")]] SRuleAvx2 MakeRuleAvx2(const SByteRule& rule) {
  return {_mm256_set1_epi8(static_cast<char>(0x80 - rule.nFirst)),
          _mm256_set1_epi8(static_cast<char>(rule.nLast ^ 0x80)),
          _mm256_set1_epi8(static_cast<char>(rule.nSplit ^ 0x80)),
          _mm256_set1_epi8(static_cast<char>(rule.nRaise)),
          _mm256_set1_epi8(static_cast<char>(rule.nWrap))};
}

[[gnu::target("avx2,bmi,popcnt"), gnu::always_inline]] inline __m256i ConvertAvx2(
    const SRuleAvx2& rule, __m256i block) {
  const __m256i distance = _mm256_add_epi8(block, rule.bias);
  const __m256i add =
      _mm256_blendv_epi8(rule.raise, rule.wrap, _mm256_cmpgt_epi8(distance, rule.split));
  return _mm256_add_epi8(block, _mm256_andnot_si256(_mm256_cmpgt_epi8(distance, rule.last), add));
}

[[gnu::target("avx2,bmi,popcnt"), gnu::always_inline]] inline __m256i Load32(const void* p) {
  return _mm256_loadu_si256(static_cast<const __m256i*>(p));
}

}  // namespace

[[gnu::target("sse2")]] STextPass PassSse2(const SByteRule& rule, const char* pIn, const char* pEnd,
                                           char* pOut) {
  const SRuleSse2 converter = MakeRuleSse2(rule);
  const __m128i cr = _mm_set1_epi8(kCr);
  const __m128i lf = _mm_set1_epi8(kLf);
  const __m128i end = _mm_set1_epi8(kEndOfText);
  for (; pEnd - pIn >= 32; pIn += 16) {
    __m128i block = Load16(pIn);
    const __m128i isCr = _mm_cmpeq_epi8(block, cr);
    const __m128i isEnd = _mm_cmpeq_epi8(block, end);
    int nDropped = 0;
    if (_mm_movemask_epi8(_mm_or_si128(isCr, isEnd)) != 0) {
      if (_mm_movemask_epi8(isEnd) != 0) break;
      for (auto nPairs = static_cast<unsigned>(
               _mm_movemask_epi8(_mm_and_si128(isCr, _mm_cmpeq_epi8(Load16(pIn + 1), lf))));
           nPairs != 0; nPairs &= nPairs - 1) {
        const int nFrom = __builtin_ctz(nPairs) - nDropped++;
        const __m128i ramp = Load16(reinterpret_cast<const char*>(kRamp.data()) + 32 - nFrom);
        block = _mm_or_si128(_mm_and_si128(ramp, Load16(pIn + nDropped)),
                             _mm_andnot_si128(ramp, block));
      }
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(pOut), ConvertSse2(converter, block));
    pOut += 16 - nDropped;
  }
  return {pIn, pOut};
}

// Returns 0xff in each byte of block that is a CR or a Ctrl-Z, found with one
// shuffle: the low half of each of the two looks up the byte itself, every
// other low half a byte that no byte with that low half equals, and a byte
// with its top bit set looks up 0.
[[gnu::target("avx2,bmi,popcnt"), gnu::always_inline]] inline __m256i IsCrOrEndAvx2(__m256i block) {
  const __m256i special =
      _mm256_setr_epi8(-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, kEndOfText, -1, -1, kCr, -1, -1, -1,
                       -1, -1, -1, -1, -1, -1, -1, -1, -1, kEndOfText, -1, -1, kCr, -1, -1);
  return _mm256_cmpeq_epi8(_mm256_shuffle_epi8(special, block), block);
}

// Returns block with the bytes from the first CR LF pair of nPairs on taken
// from next, the block one byte further on: with its CR dropped. For no
// pair the ramp selects nothing.
[[gnu::target("avx2,bmi,popcnt"), gnu::always_inline]] inline __m256i FoldFirstAvx2(
    __m256i block, __m256i next, unsigned nPairs) {
  return _mm256_blendv_epi8(block, next, Load32(kRamp.data() + 32 - _tzcnt_u32(nPairs)));
}

// Converts block, the 32 bytes at pIn, without the CR of each CR LF pair in
// it, which nPairs marks, next being the block one byte further on; stores
// the result at pOut and returns where it ends.
[[gnu::target("avx2,bmi,popcnt"), gnu::always_inline]] inline char* StoreFoldedAvx2(
    const SRuleAvx2& converter, __m256i block, __m256i next, const char* pIn, unsigned nPairs,
    char* pOut) {
  block = FoldFirstAvx2(block, next, nPairs);
  for (unsigned nMore = _blsr_u32(nPairs), nDropped = 1; nMore != 0;
       nMore = _blsr_u32(nMore), ++nDropped) {
    const unsigned nFrom = _tzcnt_u32(nMore) - nDropped;
    block =
        _mm256_blendv_epi8(block, Load32(pIn + nDropped + 1), Load32(kRamp.data() + 32 - nFrom));
  }
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(pOut), ConvertAvx2(converter, block));
  return pOut + 32 - _mm_popcnt_u32(nPairs);
}

// AVX2 takes two blocks a step. Until the first CR or Ctrl-Z it looks for
// both at once and only converts and stores, so that text without CR LF line
// ends never folds. From the step that holds one on, every step folds the
// first CR LF pair of each block, if any, without asking whether there is
// one: in CR LF text most steps hold a pair and many do not, with no pattern
// a branch predictor can learn, and a branch on it was wrong often enough to
// cost more than the folding (on Zen 3, with chunks that each run meets once:
// 7.0 and 7.3 GB/s against 4.8 and 4.9 for CR LF text of lines from 1 to
// 140 bytes, LF text unchanged). Converting one chunk over and over, the
// predictor learnt its line ends and the branch looked the faster. A step
// asks once whether either block has more than one pair (about one step in
// 13 for those lines) and folds those blocks one blend a pair. The steps are
// counted before the loops, which spares each step the sums of its bound.
// Blocks of more pairs take one blend a pair rather than a shuffle of each
// 8-byte group through a table of the places kept, which costs the same for
// any number of pairs but, at about 45 instructions a block as compiled,
// more than the blends take for three: it was slower on Zen 3 even where
// most blocks hold two or three pairs (5.3 and 5.6 against 7.0 and 6.8 GB/s
// on short lines, 10.4 and 10.6 against 10.8 and 10.8 on CR LF text, two
// runs each, converting one chunk over and over). Folding the first two
// pairs of each block without a branch was slower again (11.2 against 11.6
// GB/s on lines of 1 to 130 bytes, 11.4 against 15.2 on lines of 40 to 130).
[[gnu::target("avx2,bmi,popcnt")]] STextPass PassAvx2(const SByteRule& rule, const char* pIn,
                                                      const char* pEnd, char* pOut) {
  const SRuleAvx2 converter = MakeRuleAvx2(rule);
  const __m256i end = _mm256_set1_epi8(kEndOfText);
  const __m256i lf = _mm256_set1_epi8(kLf);
  const __m256i cr = _mm256_set1_epi8(kCr);
  const std::ptrdiff_t nSteps = pEnd - pIn >= 96 ? (pEnd - pIn - 32) / 64 : 0;
  const char* const pStop = pIn + 64 * nSteps;
  for (; pIn != pStop; pIn += 64) {
    const __m256i low = Load32(pIn);
    const __m256i high = Load32(pIn + 32);
    const __m256i anySpecial = _mm256_or_si256(IsCrOrEndAvx2(low), IsCrOrEndAvx2(high));
    if (_mm256_testz_si256(anySpecial, anySpecial) == 0) break;
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(pOut), ConvertAvx2(converter, low));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(pOut + 32), ConvertAvx2(converter, high));
    pOut += 64;
  }
  for (; pIn != pStop; pIn += 64) {
    const __m256i low = Load32(pIn);
    const __m256i high = Load32(pIn + 32);
    const __m256i anyEnd =
        _mm256_or_si256(_mm256_cmpeq_epi8(low, end), _mm256_cmpeq_epi8(high, end));
    if (_mm256_testz_si256(anyEnd, anyEnd) == 0) break;
    const __m256i lowNext = Load32(pIn + 1);
    const __m256i highNext = Load32(pIn + 33);
    const auto nLow = static_cast<unsigned>(_mm256_movemask_epi8(
        _mm256_and_si256(_mm256_cmpeq_epi8(low, cr), _mm256_cmpeq_epi8(lowNext, lf))));
    const auto nHigh = static_cast<unsigned>(_mm256_movemask_epi8(
        _mm256_and_si256(_mm256_cmpeq_epi8(high, cr), _mm256_cmpeq_epi8(highNext, lf))));
    if ((_blsr_u32(nLow) | _blsr_u32(nHigh)) != 0) {
      pOut = StoreFoldedAvx2(converter, low, lowNext, pIn, nLow, pOut);
      pOut = StoreFoldedAvx2(converter, high, highNext, pIn + 32, nHigh, pOut);
      continue;
    }
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(pOut),
                        ConvertAvx2(converter, FoldFirstAvx2(low, lowNext, nLow)));
    pOut += 32 - (nLow != 0);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(pOut),
                        ConvertAvx2(converter, FoldFirstAvx2(high, highNext, nHigh)));
    pOut += 32 - (nHigh != 0);
  }
  return {pIn, pOut};
}

// AVX-512 takes a block a step, as AVX2 takes two: a block without a CR or a
// Ctrl-Z is only converted and stored. In one with a CR, vpcompressb packs
// the bytes kept, and the block is stored whole; the packing is done in a
// register, since its form that stores to memory is slow on Zen 4. Masks
// make the conversion's comparisons and additions direct.
[[gnu::target("avx512f,avx512bw,avx512vbmi2,popcnt")]] STextPass PassAvx512(const SByteRule& rule,
                                                                            const char* pIn,
                                                                            const char* pEnd,
                                                                            char* pOut) {
  const __m512i first = _mm512_set1_epi8(static_cast<char>(rule.nFirst));
  const __m512i last = _mm512_set1_epi8(static_cast<char>(rule.nLast));
  const __m512i split = _mm512_set1_epi8(static_cast<char>(rule.nSplit));
  const __m512i raise = _mm512_set1_epi8(static_cast<char>(rule.nRaise));
  const __m512i wrap = _mm512_set1_epi8(static_cast<char>(rule.nWrap));
  const __m512i cr = _mm512_set1_epi8(kCr);
  const __m512i lf = _mm512_set1_epi8(kLf);
  const __m512i end = _mm512_set1_epi8(kEndOfText);
  for (; pEnd - pIn >= 128; pIn += 64) {
    const __m512i block = _mm512_loadu_si512(pIn);
    const __m512i distance = _mm512_sub_epi8(block, first);
    const __mmask64 window = _mm512_cmple_epu8_mask(distance, last);
    const __mmask64 upper = _mm512_mask_cmpgt_epu8_mask(window, distance, split);
    const __m512i converted =
        _mm512_mask_add_epi8(_mm512_mask_add_epi8(block, window, block, raise), upper, block, wrap);
    const __mmask64 isCr = _mm512_cmpeq_epi8_mask(block, cr);
    const __mmask64 isEnd = _mm512_cmpeq_epi8_mask(block, end);
    if ((isCr | isEnd) == 0) {
      _mm512_storeu_si512(pOut, converted);
      pOut += 64;
      continue;
    }
    if (isEnd != 0) break;
    const __mmask64 drop = _mm512_mask_cmpeq_epi8_mask(isCr, _mm512_loadu_si512(pIn + 1), lf);
    _mm512_storeu_si512(pOut, _mm512_maskz_compress_epi8(~drop, converted));
    pOut += 64 - __builtin_popcountll(drop);
  }
  return {pIn, pOut};
}
#endif
