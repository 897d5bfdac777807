#include "os/quoted_name.h"

#include <algorithm>
#include <cstddef>
#include <span>
#include <utility>

#include "os/unicode_ranges.h"

namespace {

// Returns whether chCode lies in one of the ranges, first and last included.
bool IsIn(std::span<const std::pair<char32_t, char32_t>> ranges, char32_t chCode) {
  return std::ranges::any_of(ranges, [chCode](const auto& range) {
    return chCode >= range.first && chCode <= range.second;
  });
}

// One printable character: its code point and how many bytes it takes; a
// length of 0 means that the bytes there are no printable character.
struct SPrintable {
  char32_t chCode = 0;
  std::size_t nLength = 0;
};

// Returns the printable character at strName[i]: printable ASCII, or a valid
// UTF-8 sequence for a character that is neither a C1 control nor unseen,
// nor a combining mark at the start. A character is unseen when it shows
// nothing of itself (a format character, a variation selector, a filler, a
// character Unicode tells fonts to leave out, a noncharacter) or breaks the
// line: a name made with one could look like another. A combining mark at
// the start would land on the blank before the name, or on the quote.
SPrintable PrintableAt(std::string_view strName, std::size_t i) {
  const auto nLead = static_cast<unsigned char>(strName[i]);
  if (nLead < 0x80) return nLead >= 0x20 && nLead != 0x7F ? SPrintable{nLead, 1} : SPrintable{};
  // Lead bytes C2..DF, E0..EF and F0..F4 start sequences of 2, 3 and 4
  // bytes; overlong forms, surrogates and code points past U+10FFFF are not
  // characters. The C1 controls (U+0080..U+009F) are written C2 80..C2 9F.
  const std::size_t nLength = nLead >= 0xF0 ? 4 : nLead >= 0xE0 ? 3 : 2;
  if (nLead < 0xC2 || nLead > 0xF4 || i + nLength > strName.size()) return {};
  const auto nSecond = static_cast<unsigned char>(strName[i + 1]);
  const unsigned char nLow = nLead == 0xE0 ? 0xA0 : nLead == 0xF0 ? 0x90 : 0x80;
  const unsigned char nHigh = nLead == 0xED ? 0x9F : nLead == 0xF4 ? 0x8F : 0xBF;
  if (nSecond < nLow || nSecond > nHigh || (nLead == 0xC2 && nSecond < 0xA0)) return {};
  char32_t chCode = nLead & (0x7F >> nLength);
  for (std::size_t k = 1; k < nLength; ++k) {
    const auto nNext = static_cast<unsigned char>(strName[i + k]);
    if ((nNext & 0xC0) != 0x80) return {};
    chCode = chCode << 6 | (nNext & 0x3F);
  }
  if (IsIn(kUnseenRanges, chCode) || (i == 0 && IsIn(kCombiningRanges, chCode))) return {};
  return {chCode, nLength};
}

// U+2800 BRAILLE PATTERN BLANK is no white space, but looks like one.
constexpr char32_t kBrailleBlank = 0x2800;

// Whether chCode shows as blank space.
bool IsBlank(char32_t chCode) { return chCode == kBrailleBlank || IsIn(kWhiteSpaceRanges, chCode); }

// Returns whether every character of strName prints, nothing at either end
// shows as blank space, which the end of a message or its ": " would hide,
// and the name holds no ': else it could be read as the quoted form of
// another name ($'a\nb' as a line break, '' as the empty name); nor ": ",
// which would read as where the name ends and the reason begins.
bool ShowsItself(std::string_view strName) {
  if (strName.find(": ") != std::string_view::npos) return false;
  char32_t chFirst = 0;
  char32_t chLast = 0;
  for (std::size_t i = 0; i < strName.size();) {
    const SPrintable printable = PrintableAt(strName, i);
    if (printable.nLength == 0 || printable.chCode == '\'') return false;
    if (i == 0) chFirst = printable.chCode;
    chLast = printable.chCode;
    i += printable.nLength;
  }
  return !IsBlank(chFirst) && !IsBlank(chLast);
}

}  // namespace

// A name with a line break or an escape sequence in it would split the
// one-line message or act on the terminal; quoted, it shows what it is and
// can be pasted back into a shell. An empty name would leave nothing to see.
// Inside the quotes a printable blank stays as it is: the quotes already
// show where the name begins and ends.
std::string QuotedName(std::string_view strName) {
  if (strName.empty()) return "''";
  if (ShowsItself(strName)) return std::string(strName);

  std::string strQuoted = "$'";
  for (std::size_t i = 0; i < strName.size();) {
    const char ch = strName[i];
    const std::size_t n = PrintableAt(strName, i).nLength;
    if (ch == '\'' || ch == '\\') {
      strQuoted += {'\\', ch};
    } else if (n > 0) {
      strQuoted.append(strName.substr(i, n));
    } else if (ch == '\t' || ch == '\n' || ch == '\r') {
      strQuoted += {'\\', ch == '\t' ? 't' : ch == '\n' ? 'n' : 'r'};
    } else {
      const auto nByte = static_cast<unsigned char>(ch);
      strQuoted +=
          {'\\', static_cast<char>('0' + (nByte >> 6)), static_cast<char>('0' + ((nByte >> 3) & 7)),
           static_cast<char>('0' + (nByte & 7))};
    }
    i += n > 0 ? n : 1;
  }
  return strQuoted + "'";
}
