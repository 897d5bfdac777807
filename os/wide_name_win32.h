#ifndef ROTFILE_OS_WIDE_NAME_WIN32_H_
#define ROTFILE_OS_WIDE_NAME_WIN32_H_

#include <string>
#include <string_view>

#include "os/status.h"

// Stores in *pstrWide the UTF-16 form of the UTF-8 file name lpszFile; fails
// for bytes that are not UTF-8.
CStatus ToWideName(const char* lpszFile, std::wstring* pstrWide);

// Returns the UTF-8 form of the UTF-16 text strWide. A lone surrogate, which
// no character is, becomes the three bytes that ToWideName refuses.
std::string ToUtf8(std::wstring_view strWide);

#endif  // ROTFILE_OS_WIDE_NAME_WIN32_H_
