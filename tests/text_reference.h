#ifndef ROTFILE_TESTS_TEXT_REFERENCE_H_
#define ROTFILE_TESTS_TEXT_REFERENCE_H_

#include <string>
#include <string_view>

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

#endif  // ROTFILE_TESTS_TEXT_REFERENCE_H_
