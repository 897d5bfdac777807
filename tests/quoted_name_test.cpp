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

// The lookup, checked at the edges of every range of the generated table:
// a name with the first or the last code point is quoted, and one with a
// code point just outside the range, if there is one, prints as itself.
TEST(QuotedNameTest, QuotesEveryUnseenRangeToItsEdgesAndNoFurther) {
  for (const auto& [chFirst, chLast] : kUnseenRanges) {
    for (const char32_t ch : {char32_t(chFirst - 1), chFirst, chLast, char32_t(chLast + 1)}) {
      if (ch > 0x10FFFF) continue;
      const std::string strName = "a" + Utf8(ch).append(1, 'b');
      EXPECT_EQ(QuotedName(strName) == strName, ch < chFirst || ch > chLast)
          << std::hex << static_cast<std::uint32_t>(ch);
    }
  }
}

}  // namespace
