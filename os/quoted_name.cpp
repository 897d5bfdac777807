#include "os/quoted_name.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <utility>

namespace {

// The characters that are valid UTF-8 but show nothing of themselves: the
// format characters (Unicode category Cf: bidirectional controls that turn
// the rest of a line around, zero-width characters, the byte order mark),
// and the line and paragraph separators, which break a line. A name made
// with them could look like another name.
constexpr std::pair<char32_t, char32_t> kUnseenRanges[] = {
    {0x00AD, 0x00AD},   {0x0600, 0x0605},   {0x061C, 0x061C},   {0x06DD, 0x06DD},
    {0x070F, 0x070F},   {0x0890, 0x0891},   {0x08E2, 0x08E2},   {0x180E, 0x180E},
    {0x200B, 0x200F},   {0x2028, 0x202E},   {0x2060, 0x2064},   {0x2066, 0x206F},
    {0xFEFF, 0xFEFF},   {0xFFF9, 0xFFFB},   {0x110BD, 0x110BD}, {0x110CD, 0x110CD},
    {0x13430, 0x1343F}, {0x1BCA0, 0x1BCA3}, {0x1D173, 0x1D17A}, {0xE0001, 0xE0001},
    {0xE0020, 0xE007F},
};

bool IsUnseen(char32_t chCode) {
  return std::ranges::any_of(kUnseenRanges, [chCode](const auto& range) {
    return chCode >= range.first && chCode <= range.second;
  });
}

// Returns how many bytes at strName[i] form one printable character: 1 for
// printable ASCII, the length of a valid UTF-8 sequence for a character
// that is neither a C1 control nor unseen; 0 for anything that is not
// printable.
std::size_t PrintableLength(std::string_view strName, std::size_t i) {
  const auto nLead = static_cast<unsigned char>(strName[i]);
  if (nLead < 0x80) return nLead >= 0x20 && nLead != 0x7F ? 1 : 0;
  // Lead bytes C2..DF, E0..EF and F0..F4 start sequences of 2, 3 and 4
  // bytes; overlong forms, surrogates and code points past U+10FFFF are not
  // characters. The C1 controls (U+0080..U+009F) are written C2 80..C2 9F.
  const std::size_t nLength = nLead >= 0xF0 ? 4 : nLead >= 0xE0 ? 3 : 2;
  if (nLead < 0xC2 || nLead > 0xF4 || i + nLength > strName.size()) return 0;
  const auto nSecond = static_cast<unsigned char>(strName[i + 1]);
  const unsigned char nLow = nLead == 0xE0 ? 0xA0 : nLead == 0xF0 ? 0x90 : 0x80;
  const unsigned char nHigh = nLead == 0xED ? 0x9F : nLead == 0xF4 ? 0x8F : 0xBF;
  if (nSecond < nLow || nSecond > nHigh || (nLead == 0xC2 && nSecond < 0xA0)) return 0;
  char32_t chCode = nLead & (0x7F >> nLength);
  for (std::size_t k = 1; k < nLength; ++k) {
    const auto nNext = static_cast<unsigned char>(strName[i + k]);
    if ((nNext & 0xC0) != 0x80) return 0;
    chCode = chCode << 6 | (nNext & 0x3F);
  }
  return IsUnseen(chCode) ? 0 : nLength;
}

}  // namespace

// A name with a line break or an escape sequence in it would split the
// one-line message or act on the terminal; quoted, it shows what it is and
// can be pasted back into a shell. An empty name would leave nothing to see.
std::string QuotedName(std::string_view strName) {
  if (strName.empty()) return "''";
  std::size_t nPrinting = 0;
  while (nPrinting < strName.size()) {
    const std::size_t n = PrintableLength(strName, nPrinting);
    if (n == 0) break;
    nPrinting += n;
  }
  if (nPrinting == strName.size()) return std::string(strName);

  std::string strQuoted = "$'";
  for (std::size_t i = 0; i < strName.size();) {
    const char ch = strName[i];
    const std::size_t n = PrintableLength(strName, i);
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
