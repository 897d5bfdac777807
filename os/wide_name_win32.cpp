#include "os/wide_name_win32.h"

#include <windows.h>

// Inside the program names are UTF-8, which holds every name Windows can
// show; the *A functions would read them in the ANSI code page instead. A
// malformed byte fails here rather than become some other character and open
// a different file; every call below is the native wide one.
CStatus ToWideName(const char* lpszFile, std::wstring* pstrWide) {
  const int nWide = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, lpszFile, -1, nullptr, 0);
  if (nWide == 0) return CStatus::FromWindowsError(lpszFile, GetLastError());
  pstrWide->resize(static_cast<std::size_t>(nWide));
  MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, lpszFile, -1, pstrWide->data(), nWide);
  pstrWide->pop_back();  // The terminating NUL, which std::wstring keeps itself.
  return {};
}

// Written out rather than left to WideCharToMultiByte, which would turn a lone
// surrogate (a name Windows allows) into U+FFFD: the name of another file.
// Kept as its own bytes, such a name fails in ToWideName and is shown quoted.
std::string ToUtf8(std::wstring_view strWide) {
  std::string strUtf8;
  for (std::size_t i = 0; i < strWide.size(); ++i) {
    char32_t nCode = strWide[i];
    if (nCode >= 0xD800 && nCode <= 0xDBFF && i + 1 < strWide.size() && strWide[i + 1] >= 0xDC00 &&
        strWide[i + 1] <= 0xDFFF) {
      nCode = 0x10000 + ((nCode - 0xD800) << 10) + (strWide[++i] - 0xDC00);
    }
    const auto Byte = [](char32_t nBits) { return static_cast<char>(nBits); };
    if (nCode < 0x80) {
      strUtf8 += Byte(nCode);
    } else if (nCode < 0x800) {
      strUtf8 += {Byte(0xC0 | nCode >> 6), Byte(0x80 | (nCode & 0x3F))};
    } else if (nCode < 0x10000) {
      strUtf8 +=
          {Byte(0xE0 | nCode >> 12), Byte(0x80 | (nCode >> 6 & 0x3F)), Byte(0x80 | (nCode & 0x3F))};
    } else {
      strUtf8 += {Byte(0xF0 | nCode >> 18), Byte(0x80 | (nCode >> 12 & 0x3F)),
                  Byte(0x80 | (nCode >> 6 & 0x3F)), Byte(0x80 | (nCode & 0x3F))};
    }
  }
  return strUtf8;
}
