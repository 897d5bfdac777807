#ifndef ROTFILE_CIPHER_BYTE_RULE_H_
#define ROTFILE_CIPHER_BYTE_RULE_H_

#include <cstdint>

// What a window does to one byte, in the terms every kernel computes with.
// A byte's distance above the window's lowest code, d = byte - nFirst in 8
// bits, places it: above nLast it lies outside the window and is unchanged;
// above nSplit it lies in the upper half and nWrap is added; otherwise it
// lies in the lower half and nRaise is added. Sums are taken in 8 bits.
struct SByteRule {
  std::uint8_t nFirst = 0;
  std::uint8_t nLast = 0;
  std::uint8_t nSplit = 0;
  std::uint8_t nRaise = 0;
  std::uint8_t nWrap = 0;
};

// Returns the rule of the window of the nWidth codes after nBase, rotated by
// nShift, for bytes taken as signed codes from -128 to 127.
// REQUIRES: nShift is nWidth / 2; nBase + nWidth does not overflow an int.
SByteRule MakeByteRule(int nBase, int nWidth, int nShift);

// Returns the byte ch converted by rule.
inline char ConvertByte(const SByteRule& rule, char ch) {
  const auto nByte = static_cast<std::uint8_t>(ch);
  const auto nDistance = static_cast<std::uint8_t>(nByte - rule.nFirst);
  const std::uint8_t nAdd = nDistance > rule.nLast    ? 0
                            : nDistance > rule.nSplit ? rule.nWrap
                                                      : rule.nRaise;
  return static_cast<char>(static_cast<std::uint8_t>(nByte + nAdd));
}

#endif  // ROTFILE_CIPHER_BYTE_RULE_H_
