#include "os/quoted_name.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "os/unicode_ranges.h"

namespace {

// Returns the UTF-8 bytes of chCode.
std::string Utf8(char32_t chCode) {
  if (chCode < 0x80) return {static_cast<char>(chCode)};
  const int nTrail = chCode < 0x800 ? 1 : chCode < 0x10000 ? 2 : 3;
  std::string strBytes(1, static_cast<char>((0xFF00 >> (nTrail + 1)) | (chCode >> (6 * nTrail))));
  for (int k = nTrail - 1; k >= 0; --k)
    strBytes += static_cast<char>(0x80 | ((chCode >> (6 * k)) & 0x3F));
  return strBytes;
}

// Returns each byte of strBytes as a backslash and three octal digits.
std::string Octal(const std::string& strBytes) {
  std::string strOctal;
  for (const char ch : strBytes) {
    const auto nByte = static_cast<unsigned char>(ch);
    strOctal += {'\\', static_cast<char>('0' + (nByte >> 6)),
                 static_cast<char>('0' + ((nByte >> 3) & 7)), static_cast<char>('0' + (nByte & 7))};
  }
  return strOctal;
}

// The lookup, checked at the edges of every range of the generated table:
// the first and the last code point are written in octal, and those just
// outside the range print as themselves.
TEST(QuotedNameTest, QuotesEveryUnseenRangeToItsEdgesAndNoFurther) {
  for (const auto& [chFirst, chLast] : kUnseenRanges) {
    for (const char32_t ch : {chFirst, chLast}) {
      const std::string strBytes = Utf8(ch);
      EXPECT_EQ(QuotedName("a" + strBytes), "$'a" + Octal(strBytes) + "'")
          << std::hex << static_cast<std::uint32_t>(ch);
    }
    for (const char32_t ch : {chFirst - 1, chLast + 1}) {
      const std::string strBytes = Utf8(ch);
      const std::string strName = "a" + strBytes + "b";
      EXPECT_EQ(QuotedName(strName), strName) << std::hex << static_cast<std::uint32_t>(ch);
    }
  }
}

}  // namespace
