#include "os/wide_name_win32.h"

#include <windows.h>

// The C runtime builds argv from the command line in the ANSI code page, so
// converting with that code page gives back the name the user typed (as far
// as argv could hold it). The *A functions would convert the same way, but
// would quietly turn a malformed byte into some other character and so open
// a different file; here such a name fails, and every call below is the
// native wide one.
CStatus ToWideName(const char* lpszFile, std::wstring* pstrWide) {
  const int nWide = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, lpszFile, -1, nullptr, 0);
  if (nWide == 0) return CStatus::FromWindowsError(lpszFile, GetLastError());
  pstrWide->resize(static_cast<std::size_t>(nWide));
  MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, lpszFile, -1, pstrWide->data(), nWide);
  pstrWide->pop_back();  // The terminating NUL, which std::wstring keeps itself.
  return {};
}
