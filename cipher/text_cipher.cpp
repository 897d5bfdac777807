#include "cipher/text_cipher.h"

#include <algorithm>
#include <cstdint>

namespace {

// The window reduced to what it does to one byte. A byte is a signed code
// from -128 to 127; codes in the lower half of the window move up by the
// shift, codes in the upper half wrap around to the bottom. Both moves only
// matter in their low 8 bits.
struct SByteRule {
  std::int8_t nRaiseFirst, nRaiseLast;
  std::int8_t nWrapFirst, nWrapLast;
  std::uint8_t nRaise, nWrap;
};

// Limits the codes nFirst to nLast to those a byte can hold; an empty result
// is the range 127 to -128, which no byte falls into.
void ClampToByte(std::int64_t nFirst, std::int64_t nLast, std::int8_t* pFirst, std::int8_t* pLast) {
  nFirst = std::max<std::int64_t>(nFirst, INT8_MIN);
  nLast = std::min<std::int64_t>(nLast, INT8_MAX);
  if (nFirst > nLast) {
    nFirst = INT8_MAX;
    nLast = INT8_MIN;
  }
  *pFirst = static_cast<std::int8_t>(nFirst);
  *pLast = static_cast<std::int8_t>(nLast);
}

// A code in the upper half, ch > base + shift, becomes
// base + (ch + shift - base) mod width. Since shift is width / 2, the sum
// lies between width and twice the width, so the remainder takes exactly one
// width off: the code moves by shift - width. That makes both halves a plain
// addition, which the compiler turns into vector code.
SByteRule MakeByteRule(int nBase, int nWidth, int nShift) {
  SByteRule rule;
  const std::int64_t nBottom = std::int64_t{nBase} + 1;
  const std::int64_t nSplit = std::int64_t{nBase} + nShift;
  const std::int64_t nTop = std::int64_t{nBase} + nWidth;
  ClampToByte(nBottom, std::min(nSplit, nTop), &rule.nRaiseFirst, &rule.nRaiseLast);
  ClampToByte(nSplit + 1, nTop, &rule.nWrapFirst, &rule.nWrapLast);
  rule.nRaise = static_cast<std::uint8_t>(nShift);
  rule.nWrap = static_cast<std::uint8_t>(nShift - nWidth);
  return rule;
}

// Branch-free on purpose: each byte gets the sum of the moves whose range it
// lies in, so the loop vectorises.
[[gnu::always_inline]] inline void RotateBytes(SByteRule rule, char* pText, std::size_t nSize) {
  for (std::size_t i = 0; i < nSize; ++i) {
    const auto ch = static_cast<std::int8_t>(pText[i]);
    const std::uint8_t nRaise =
        ((ch >= rule.nRaiseFirst) & (ch <= rule.nRaiseLast)) ? rule.nRaise : 0;
    const std::uint8_t nWrap = ((ch >= rule.nWrapFirst) & (ch <= rule.nWrapLast)) ? rule.nWrap : 0;
    pText[i] = static_cast<char>(static_cast<std::uint8_t>(ch) + nRaise + nWrap);
  }
}

#if defined(__x86_64__) || defined(__i386__)
// The same loop for AVX2's 32-byte vectors, which convert twice as fast as the
// 16-byte ones every x86-64 has.
[[gnu::target("avx2")]] void RotateBytesAvx2(SByteRule rule, char* pText, std::size_t nSize) {
  RotateBytes(rule, pText, nSize);
}
#endif

void ApplyByteRule([[maybe_unused]] EKernel eKernel, const SByteRule& rule, char* pText,
                   std::size_t nSize) {
#if defined(__x86_64__) || defined(__i386__)
  if (eKernel == EKernel::kAvx2) return RotateBytesAvx2(rule, pText, nSize);
#endif
  RotateBytes(rule, pText, nSize);
}

}  // namespace

CTextCipher::CTextCipher() { SetWindow(31, 94); }

CTextCipher& CTextCipher::SetWindow(int nBase, int nWidth) {
  m_nBase = nBase;
  m_nWidth = nWidth;
  m_nShift = nWidth / 2;
  return *this;
}

CTextCipher& CTextCipher::SetKernel(EKernel eKernel) {
  m_eKernel = eKernel;
  return *this;
}

std::string CTextCipher::ConvertText(const std::string& strText) const {
  std::string strResult = strText;
  ConvertBuffer(strResult);
  return strResult;
}

void CTextCipher::ConvertBuffer(std::span<char> text) const {
  ApplyByteRule(m_eKernel, MakeByteRule(m_nBase, m_nWidth, m_nShift), text.data(), text.size());
}
