#ifndef ROTFILE_OS_WIDE_NAME_WIN32_H_
#define ROTFILE_OS_WIDE_NAME_WIN32_H_

#include <string>

#include "os/status.h"

// Stores in *pstrWide the UTF-16 form of the file name lpszFile, read in the
// ANSI code page; fails for bytes that are no character of that code page.
CStatus ToWideName(const char* lpszFile, std::wstring* pstrWide);

#endif  // ROTFILE_OS_WIDE_NAME_WIN32_H_
