#include <windows.h>

#include <algorithm>
#include <string>

#include "os/file_id_win32.h"
#include "os/input_file.h"
#include "os/wide_name_win32.h"

CInputFile::~CInputFile() {
  if (m_hFile != nullptr) CloseHandle(m_hFile);
}

CStatus CInputFile::Open(const char* lpszFile) {
  m_strName = lpszFile;
  std::wstring strWide;
  if (CStatus status = ToWideName(lpszFile, &strWide); !status.IsOk()) return status;
  // A directory cannot be opened for reading; looking first tells the user
  // what it is, where opening would only say "Access is denied".
  const DWORD nAttributes = GetFileAttributesW(strWide.c_str());
  if (nAttributes == INVALID_FILE_ATTRIBUTES) {
    return CStatus::FromWindowsError(lpszFile, GetLastError());
  }
  if (nAttributes & FILE_ATTRIBUTE_DIRECTORY) {
    return CStatus::Failure(lpszFile, "is a directory");
  }
  // Others may read along but not change the text while it is converted.
  HANDLE hFile = CreateFileW(strWide.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                             FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (hFile == INVALID_HANDLE_VALUE) return CStatus::FromWindowsError(lpszFile, GetLastError());
  m_hFile = hFile;
  // Devices (CON, NUL, COM1) and pipes open like files without waiting, but
  // reading one can wait for input forever; only a file on disk is read.
  if (GetFileType(hFile) != FILE_TYPE_DISK) return CStatus::Failure(lpszFile, "not a regular file");
  m_id = FileIdOf(hFile);
  LARGE_INTEGER size;
  m_nSize = GetFileSizeEx(hFile, &size) ? static_cast<std::uint64_t>(size.QuadPart) : 0;
  return {};
}

// Windows keeps no mode bits; a member all the same, as on POSIX it reads the
// opened file's.
// NOLINTNEXTLINE(readability-convert-member-functions-to-static)
unsigned CInputFile::Mode() const { return 0666; }

CStatus CInputFile::Read(char* pBuffer, std::size_t nMax, std::size_t* pnRead) {
  DWORD nGot = 0;
  const DWORD nAsk = static_cast<DWORD>(std::min<std::size_t>(nMax, 1U << 30));
  if (!ReadFile(m_hFile, pBuffer, nAsk, &nGot, nullptr)) {
    *pnRead = 0;
    return CStatus::FromWindowsError(m_strName, GetLastError());
  }
  *pnRead = nGot;
  return {};
}
