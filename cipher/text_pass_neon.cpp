#include "cipher/text_pass.h"

#ifdef ROTFILE_PASS_NEON
#include <arm_neon.h>

#include <cstdint>

#include "cipher/text_reader.h"

// The same pass as SSE2's, a 16-byte block at a time: a block without a CR
// or a Ctrl-Z is only converted and stored, and each CR LF pair in a block
// moves the bytes after its CR one place down, taken from the input one byte
// further on. NEON has no byte mask of a comparison; narrowing each 16-bit
// lane by 4 bits gives one of 4 bits a byte, of which the lowest is kept.

namespace {

const std::uint8_t* Bytes(const char* p) { return reinterpret_cast<const std::uint8_t*>(p); }

// The rule as 16-byte vectors.
struct SRuleNeon {
  uint8x16_t first, last, split, raise, wrap;
};

uint8x16_t ConvertNeon(const SRuleNeon& rule, uint8x16_t block) {
  const uint8x16_t distance = vsubq_u8(block, rule.first);
  const uint8x16_t add = vbslq_u8(vcgtq_u8(distance, rule.split), rule.wrap, rule.raise);
  return vaddq_u8(block, vbicq_u8(add, vcgtq_u8(distance, rule.last)));
}

// Bit 4 i is set where byte i of mask is.
std::uint64_t BitsOf(uint8x16_t mask) {
  const uint8x8_t narrowed = vshrn_n_u16(vreinterpretq_u16_u8(mask), 4);
  return vget_lane_u64(vreinterpret_u64_u8(narrowed), 0) & 0x1111111111111111U;
}

}  // namespace

STextPass PassNeon(const SByteRule& rule, const char* pIn, const char* pEnd, char* pOut) {
  const SRuleNeon converter = {vdupq_n_u8(rule.nFirst), vdupq_n_u8(rule.nLast),
                               vdupq_n_u8(rule.nSplit), vdupq_n_u8(rule.nRaise),
                               vdupq_n_u8(rule.nWrap)};
  const uint8x16_t cr = vdupq_n_u8('\r');
  const uint8x16_t lf = vdupq_n_u8('\n');
  const uint8x16_t end = vdupq_n_u8(CTextReader::kEndOfText);
  for (; pEnd - pIn >= 32; pIn += 16) {
    uint8x16_t block = vld1q_u8(Bytes(pIn));
    const uint8x16_t isCr = vceqq_u8(block, cr);
    const uint8x16_t isEnd = vceqq_u8(block, end);
    int nDropped = 0;
    if (vmaxvq_u8(vorrq_u8(isCr, isEnd)) != 0) {
      if (vmaxvq_u8(isEnd) != 0) break;
      for (std::uint64_t nPairs = BitsOf(vandq_u8(isCr, vceqq_u8(vld1q_u8(Bytes(pIn + 1)), lf)));
           nPairs != 0; nPairs &= nPairs - 1) {
        const int nFrom = __builtin_ctzll(nPairs) / 4 - nDropped++;
        block =
            vbslq_u8(vld1q_u8(kRamp.data() + 32 - nFrom), vld1q_u8(Bytes(pIn + nDropped)), block);
      }
    }
    vst1q_u8(reinterpret_cast<std::uint8_t*>(pOut), ConvertNeon(converter, block));
    pOut += 16 - nDropped;
  }
  return {pIn, pOut};
}
#endif
