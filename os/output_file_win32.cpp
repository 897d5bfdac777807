#include <windows.h>

#include <algorithm>
#include <string>
#include <utility>

#include "os/console_cleanup_win32.h"
#include "os/file_id_win32.h"
#include "os/output_file.h"
#include "os/path.h"
#include "os/quoted_name.h"
#include "os/temp_name.h"
#include "os/wide_name_win32.h"

namespace {

// Whether the name leads to the source itself, through a hard or a symbolic
// link. Opening for no access at all conflicts with no one's sharing.
bool IsSource(const std::wstring& strWideName, const CInputFile& source) {
  HANDLE hFile =
      CreateFileW(strWideName.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (hFile == INVALID_HANDLE_VALUE) return false;
  const bool bSame = FileIdOf(hFile) == source.Id();
  CloseHandle(hFile);
  return bSame;
}

// Finds, before any byte is converted, what would only make the work fail
// or go wrong: a directory at the output name, the source itself, or a
// final component longer than the volume allows.
CStatus CheckOutputName(const std::string& strName, const std::wstring& strWideName,
                        const CInputFile& source) {
  const DWORD nAttributes = GetFileAttributesW(strWideName.c_str());
  if (nAttributes != INVALID_FILE_ATTRIBUTES && (nAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
    return CStatus::Failure(strName, "is a directory");
  }
  if (IsSource(strWideName, source)) {
    return CStatus::Failure(strName, "is the same file as " + QuotedName(source.Name()));
  }
  const std::size_t nSeparator = strWideName.find_last_of(L"\\/:");
  const std::size_t nLength =
      strWideName.size() - (nSeparator == std::wstring::npos ? 0 : nSeparator + 1);
  wchar_t szVolume[MAX_PATH];
  DWORD nMax = 0;
  if (GetVolumePathNameW(strWideName.c_str(), szVolume, MAX_PATH) &&
      GetVolumeInformationW(szVolume, nullptr, 0, nullptr, &nMax, nullptr, nullptr, 0) &&
      nLength > nMax) {
    return CStatus::FromWindowsError(strName, ERROR_FILENAME_EXCED_RANGE);
  }
  return {};
}

}  // namespace

COutputFile::~COutputFile() { Discard(); }

// The mode is a POSIX notion: the file takes the directory's access control
// list, as every new file there does.
CStatus COutputFile::Create(const char* lpszFile, const CInputFile& source) {
  m_strName = lpszFile;
  // Converted once here; the rename and the cleanup use the wide names.
  if (CStatus status = ToWideName(lpszFile, &m_strWideName); !status.IsOk()) return status;
  if (CStatus status = CheckOutputName(m_strName, m_strWideName, source); !status.IsOk()) {
    return status;
  }

  CConsoleHold hold;
  // CREATE_NEW never opens a file that is already there. Deleting is shared
  // so that the console handler can remove the file while it is open.
  const std::string strDir = m_strName.substr(0, FinalComponentStart(m_strName));
  std::wstring strWideTemp;
  HANDLE hFile = INVALID_HANDLE_VALUE;
  for (int nTry = 0; nTry < 100 && hFile == INVALID_HANDLE_VALUE; ++nTry) {
    const std::string strTemp = strDir + MakeTempName();
    if (CStatus status = ToWideName(strTemp.c_str(), &strWideTemp); !status.IsOk()) return status;
    hFile = CreateFileW(strWideTemp.c_str(), GENERIC_WRITE, FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                        FILE_ATTRIBUTE_NORMAL, nullptr);
    const DWORD nError = GetLastError();
    if (hFile == INVALID_HANDLE_VALUE && nError != ERROR_FILE_EXISTS &&
        nError != ERROR_ALREADY_EXISTS) {
      return CStatus::FromWindowsError(m_strName, nError);
    }
  }
  if (hFile == INVALID_HANDLE_VALUE) return CStatus::FromWindowsError(m_strName, ERROR_FILE_EXISTS);
  // From here on the temporary file is ours to remove.
  m_hFile = hFile;
  m_strWideTemp = std::move(strWideTemp);
  ArmConsoleCleanup(m_strWideTemp);
  return {};
}

CStatus COutputFile::Write(const char* pData, std::size_t nSize) {
  while (nSize > 0) {
    const DWORD nAsk = static_cast<DWORD>(std::min<std::size_t>(nSize, 1U << 30));
    DWORD nDone = 0;
    const BOOL bWritten = WriteFile(m_hFile, pData, nAsk, &nDone, nullptr);
    if (!bWritten || nDone == 0) {
      const DWORD nError = bWritten ? ERROR_WRITE_FAULT : GetLastError();
      return Abandon(CStatus::FromWindowsError(m_strName, nError));
    }
    pData += nDone;
    nSize -= nDone;
  }
  return {};
}

// No FlushFileBuffers, for the reason the POSIX side has no fsync: the cost
// of a conversion stays that of a copy. Write-through makes the rename itself
// reach the disk before the call returns.
CStatus COutputFile::Commit() {
  HANDLE hFile = m_hFile;
  m_hFile = nullptr;
  if (!CloseHandle(hFile)) return Abandon(CStatus::FromWindowsError(m_strName, GetLastError()));
  DWORD nError;
  {
    CConsoleHold hold;
    if (MoveFileExW(m_strWideTemp.c_str(), m_strWideName.c_str(),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      DisarmConsoleCleanup();
      m_strWideTemp.clear();
      return {};
    }
    nError = GetLastError();
  }
  return Abandon(CStatus::FromWindowsError(m_strName, nError));
}

CStatus COutputFile::Abandon(const CStatus& failure) {
  const std::string strTemp = TempPath();
  return Discard() ? failure : failure.LeftBehind(strTemp);
}

std::string COutputFile::TempPath() const { return ToUtf8(m_strWideTemp); }

bool COutputFile::Discard() {
  if (m_strWideTemp.empty()) return true;
  CConsoleHold hold;
  if (m_hFile != nullptr) CloseHandle(m_hFile);
  m_hFile = nullptr;
  const bool bRemoved =
      DeleteFileW(m_strWideTemp.c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND;
  DisarmConsoleCleanup();
  m_strWideTemp.clear();
  return bRemoved;
}
