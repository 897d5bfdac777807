#include "os/quoted_name.h"

#include <cstddef>

namespace {

// Returns how many bytes at strName[i] form one printable character: 1 for
// printable ASCII, the length of a valid UTF-8 sequence for a character
// that is not a C1 control; 0 for anything that is not printable.
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
  for (std::size_t k = 2; k < nLength; ++k) {
    if ((static_cast<unsigned char>(strName[i + k]) & 0xC0) != 0x80) return 0;
  }
  return nLength;
}

}  // namespace

// A name with a line break or an escape sequence in it would split the
// one-line message or act on the terminal; quoted, it shows what it is and
// can be pasted back into a shell.
std::string QuotedName(std::string_view strName) {
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
