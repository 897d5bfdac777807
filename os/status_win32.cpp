#include <windows.h>

#include <string>

#include "os/status.h"

CStatus CStatus::FromWindowsError(std::string_view strFile, unsigned long nError) {
  // The system's own text in the user's language, as other Windows tools
  // show it; the narrow form is in the same code page as the file names.
  char* pszText = nullptr;
  const DWORD nLength = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, nError, 0, reinterpret_cast<char*>(&pszText), 0, nullptr);
  std::string strReason =
      nLength == 0 ? "Windows error " + std::to_string(nError) : std::string(pszText, nLength);
  LocalFree(pszText);
  // The text ends in a full stop and CR LF; our message line brings its own
  // line end, and the POSIX reasons have no full stop either.
  while (!strReason.empty() && (strReason.back() == '\r' || strReason.back() == '\n' ||
                                strReason.back() == ' ' || strReason.back() == '.')) {
    strReason.pop_back();
  }
  return Failure(strFile, strReason);
}
