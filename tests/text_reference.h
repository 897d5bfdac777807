#ifndef ROTFILE_TESTS_TEXT_REFERENCE_H_
#define ROTFILE_TESTS_TEXT_REFERENCE_H_

#include <string>
#include <string_view>

// Plain references that the fast code must always agree with.

// The text that reading raw in text mode gives, found the plain way over the
// whole buffer: cut at the first Ctrl-Z, then turn each CR LF into LF. The
// chunked reader must always agree with it.
inline std::string ReadAsText(std::string_view raw) {
  raw = raw.substr(0, raw.find('\x1a'));
  std::string strText;
  for (std::size_t i = 0; i < raw.size(); ++i) {
    if (raw[i] != '\r' || i + 1 == raw.size() || raw[i + 1] != '\n') strText += raw[i];
  }
  return strText;
}

// The conversion of one byte, step by step as documented: the byte as a
// signed code, tested against the window from below, then above, then the
// split between the two halves. The default window is base 31, width 94.
inline char ReferenceConvert(char chByte, int nBase = 31, int nWidth = 94) {
  const int nShift = nWidth / 2;
  int ch = static_cast<signed char>(chByte);  // NOLINT(bugprone-signed-char-misuse): a signed code
  // NOLINTNEXTLINE(bugprone-branch-clone): each step of the rule stays a step of its own
  if (ch <= nBase) {
  } else if (ch > nBase + nWidth) {
  } else if (ch <= nBase + nShift) {
    ch += nShift;
  } else {
    ch = nBase + (ch + nShift - nBase) % nWidth;
  }
  return static_cast<char>(ch & 0xff);
}

#endif  // ROTFILE_TESTS_TEXT_REFERENCE_H_
