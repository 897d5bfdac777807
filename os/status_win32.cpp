#include <windows.h>

#include <string>

#include "os/status.h"
#include "os/wide_name_win32.h"

CStatus CStatus::FromWindowsError(std::string_view strFile, unsigned long nError) {
  // The system's own text in the user's language, as other Windows tools
  // show it; taken wide and made UTF-8, like the file names it follows.
  wchar_t* pszText = nullptr;
  const DWORD nLength = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, nError, 0, reinterpret_cast<wchar_t*>(&pszText), 0, nullptr);
  std::string strReason = nLength == 0 ? "Windows error " + std::to_string(nError)
                                       : ToUtf8(std::wstring_view(pszText, nLength));
  LocalFree(pszText);
  // The text ends in a full stop and CR LF; our message line brings its own
  // line end, and the POSIX reasons have no full stop either.
  while (!strReason.empty() && (strReason.back() == '\r' || strReason.back() == '\n' ||
                                strReason.back() == ' ' || strReason.back() == '.')) {
    strReason.pop_back();
  }
  CStatus status = Failure(strFile, strReason);
  status.m_bMissingFile = nError == ERROR_FILE_NOT_FOUND || nError == ERROR_PATH_NOT_FOUND ||
                          nError == ERROR_INVALID_NAME;
  return status;
}
