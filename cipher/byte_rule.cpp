#include "cipher/byte_rule.h"

#include <algorithm>
#include <cstdint>

namespace {

// The codes nFirst to nLast that a byte can hold, as first and last code;
// false when there are none.
bool ClampToByte(std::int64_t nFirst, std::int64_t nLast, int* pFirst, int* pLast) {
  *pFirst = static_cast<int>(std::max<std::int64_t>(nFirst, INT8_MIN));
  *pLast = static_cast<int>(std::min<std::int64_t>(nLast, INT8_MAX));
  return *pFirst <= *pLast;
}

}  // namespace

// A code in the upper half, ch > base + shift, becomes
// base + (ch + shift - base) mod width. Since shift is width / 2, the sum
// lies between width and twice the width, so the remainder takes exactly one
// width off: the code moves by shift - width. Both halves are then a plain
// addition, and the two halves lie next to each other, so one distance from
// the window's lowest byte tells which applies. The window is cut to the
// codes a byte can hold; where its lower half holds none, the lower half's
// addition is the upper one's, so that every byte of the window takes it.
SByteRule MakeByteRule(int nBase, int nWidth, int nShift) {
  const std::int64_t nSplit = std::int64_t{nBase} + nShift;
  const std::int64_t nTop = std::int64_t{nBase} + nWidth;
  int nLowFirst = 0;
  int nLowLast = 0;
  int nHighFirst = 0;
  int nHighLast = 0;
  const bool bLow =
      ClampToByte(std::int64_t{nBase} + 1, std::min(nSplit, nTop), &nLowFirst, &nLowLast);
  const bool bHigh = ClampToByte(nSplit + 1, nTop, &nHighFirst, &nHighLast);
  if (!bLow && !bHigh) return {};
  const int nFirst = bLow ? nLowFirst : nHighFirst;
  const auto nWrap = static_cast<std::uint8_t>(nShift - nWidth);
  SByteRule rule;
  rule.nFirst = static_cast<std::uint8_t>(nFirst);
  rule.nLast = static_cast<std::uint8_t>((bHigh ? nHighLast : nLowLast) - nFirst);
  rule.nSplit = static_cast<std::uint8_t>(bLow ? nLowLast - nFirst : 0);
  rule.nRaise = bLow ? static_cast<std::uint8_t>(nShift) : nWrap;
  rule.nWrap = nWrap;
  return rule;
}
