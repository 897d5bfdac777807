#include "os/quoted_name.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>

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

// Names as messages show them.
TEST(QuotedNameTest, QuotesANameThatCouldMisleadAndNoOther) {
  const std::pair<std::string, std::string> kNames[] = {
      // Control characters and bytes that do not print are quoted; UTF-8 is not.
      {"it's\\\xff\xc2\x9b\xe2\x82", R"($'it\'s\\\377\302\233\342\202')"},
      {"na\xc3\xafve \xe2\x82\xac", "na\xc3\xafve \xe2\x82\xac"},
      // So are characters that show nothing, or turn the line round or break it.
      {"a\xe2\x80\xaeg\xe2\x80\xa8h\xe2\x80\x8bi\xef\xbb\xbfj\x7f\xc3\xa9",
       "$'a\\342\\200\\256g\\342\\200\\250h\\342\\200\\213i\\357\\273\\277j\\177\xc3\xa9'"},
      // And characters that fonts leave out whatever their category: a
      // variation selector and a direction isolate.
      {"a\xef\xb8\x8f\xe2\x81\xa6", R"($'a\357\270\217\342\201\246')"},
      // White space at either end would be lost at the end of the line or
      // before ": "; quoted, it stays as it is. So would U+2800, which is no
      // white space but looks like it.
      {" a.txt", "$' a.txt'"},
      {"n.txt\xe3\x80\x80", "$'n.txt\xe3\x80\x80'"},
      {"n\xc2\xa0", "$'n\xc2\xa0'"},
      {"\xe2\xa0\x80n", "$'\xe2\xa0\x80n'"},
      {"n\xe2\xa0\x80", "$'n\xe2\xa0\x80'"},
      // A mark that would land on the blank before the name, a noncharacter
      // (U+FDD0, U+FFFE, and U+FFFF and U+10FFFF that end the first and the
      // last plane), a surrogate (which UTF-8 cannot hold) are written in octal.
      {"\xcc\x81z\xcc\x81", "$'\\314\\201z\xcc\x81'"},
      {"a\xef\xb7\x90z\xef\xbf\xbe", R"($'a\357\267\220z\357\277\276')"},
      {"a\xef\xbf\xbfz", R"($'a\357\277\277z')"},
      {"a\xf4\x8f\xbf\xbfz", R"($'a\364\217\277\277z')"},
      {"\xed\xa0\x80x", R"($'\355\240\200x')"},
      // A name that reads as the quoted form of another is quoted itself; so
      // is one holding the ": " that ends the name in a message.
      {"$'a\\nb'", R"($'$\'a\\nb\'')"},
      {"''", R"($'\'\'')"},
      {"it's.txt", R"($'it\'s.txt')"},
      {"x: No such file or directory", "$'x: No such file or directory'"},
      {"a:b :c", "a:b :c"},
  };
  for (const auto& [strName, strShown] : kNames) EXPECT_EQ(QuotedName(strName), strShown);
}

}  // namespace
