#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

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

// The attributes a replaced file hands on to the output: it stays hidden, or
// a system file, as it was.
constexpr DWORD kHandedOnAttributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

// Finds, before any byte is converted, what would only make the work fail
// or go wrong: a directory at the output name, the source itself, a file
// the user marked read-only (Windows would refuse to replace it, as access
// denied), or a final component longer than the volume allows. Sets
// *pnHandedOn to the attributes of kHandedOnAttributes that the file there
// has; 0 when there is none. The attributes are those of the entry itself,
// a link's own rather than its target's: the entry is what is replaced.
CStatus CheckOutputName(const std::string& strName, const std::wstring& strWideName,
                        const CInputFile& source, DWORD* pnHandedOn) {
  const DWORD nAttributes = GetFileAttributesW(strWideName.c_str());
  *pnHandedOn = nAttributes == INVALID_FILE_ATTRIBUTES ? 0 : nAttributes & kHandedOnAttributes;
  if (nAttributes != INVALID_FILE_ATTRIBUTES && (nAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
    return CStatus::Failure(strName, "is a directory");
  }
  if (IsSource(strWideName, source)) {
    return CStatus::Failure(strName, "is the same file as " + QuotedName(source.Name()));
  }
  if (nAttributes != INVALID_FILE_ATTRIBUTES && (nAttributes & FILE_ATTRIBUTE_READONLY)) {
    return CStatus::Failure(strName, kReadOnlyReason);
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

// Renames the file open as hFile to strName, replacing any file there;
// returns false, with the reason in GetLastError, when it cannot. The name is
// read as a path, as MoveFileExW reads it: a relative one, even a bare name,
// starts from the working directory, not from the file's own.
bool RenameOver(HANDLE hFile, const std::wstring& strName) {
  // The structure ends in the name's first character; the rest follows it.
  const std::size_t nNameBytes = strName.size() * sizeof(wchar_t);
  std::vector<char> buffer(sizeof(FILE_RENAME_INFO) + nNameBytes);
  auto* pInfo = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
  pInfo->ReplaceIfExists = TRUE;
  pInfo->FileNameLength = static_cast<DWORD>(nNameBytes);
  strName.copy(pInfo->FileName, strName.size());
  return SetFileInformationByHandle(hFile, FileRenameInfo, pInfo,
                                    static_cast<DWORD>(buffer.size())) != FALSE;
}

}  // namespace

COutputFile::~COutputFile() { Discard(); }

// The mode is a POSIX notion: the file takes the directory's access control
// list, as every new file there does. It is made with the hidden and system
// attributes of the file it replaces, so it has them from the start and no
// later step can fail to give them; a new output has neither. A rename may
// replace a hidden or system file whatever the new one's attributes (only
// overwriting it in place, CREATE_ALWAYS, asks for the same ones).
CStatus COutputFile::Create(const char* lpszFile, const CInputFile& source) {
  m_strName = lpszFile;
  // Converted once here; the rename uses the wide name.
  if (CStatus status = ToWideName(lpszFile, &m_strWideName); !status.IsOk()) return status;
  DWORD nHandedOn = 0;
  if (CStatus status = CheckOutputName(m_strName, m_strWideName, source, &nHandedOn);
      !status.IsOk()) {
    return status;
  }

  CConsoleHold hold;
  // CREATE_NEW never opens a file that is already there. Opened for deletion
  // and shared with no one, the file cannot be opened by anyone else while
  // this handle is open, but to read its attributes, which hinders nothing.
  // So the handle stays open until the file is renamed or deleted through it:
  // a scanner or indexer that opened it in between, without sharing deletion
  // as they do, would keep both from happening.
  const std::string strDir = m_strName.substr(0, FinalComponentStart(m_strName));
  for (int nTry = 0; nTry < 100 && m_hFile == nullptr; ++nTry) {
    const std::string strTemp = strDir + MakeTempName();
    std::wstring strWideTemp;
    if (CStatus status = ToWideName(strTemp.c_str(), &strWideTemp); !status.IsOk()) return status;
    // FILE_ATTRIBUTE_NORMAL stands alone, for a file with no attribute.
    HANDLE hFile = CreateFileW(strWideTemp.c_str(), GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
                               nHandedOn != 0 ? nHandedOn : FILE_ATTRIBUTE_NORMAL, nullptr);
    const DWORD nError = GetLastError();
    if (hFile != INVALID_HANDLE_VALUE) {
      // From here on the temporary file is ours to remove.
      m_hFile = hFile;
      m_strTemp = strTemp;
    } else if (nError != ERROR_FILE_EXISTS && nError != ERROR_ALREADY_EXISTS) {
      return CStatus::FromWindowsError(m_strName, nError);
    }
  }
  if (m_hFile == nullptr) return CStatus::FromWindowsError(m_strName, ERROR_FILE_EXISTS);
  ArmConsoleCleanup(m_hFile);
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
// of a conversion stays that of a copy.
//
// Another process may hold the output itself, unshared, for a moment (a
// scanner looking at the old one), or keep it pending deletion: Windows then
// refuses the rename as a sharing violation or as access denied. Both are
// tried again for about a second; a real refusal costs no more than that.
// An output the user marked read-only, which Windows refuses as access
// denied too, never comes here: Create refused it before any work.
CStatus COutputFile::Commit() {
  const ULONGLONG nGiveUp = GetTickCount64() + 1000;
  DWORD nError = ERROR_SUCCESS;
  do {
    if (nError != ERROR_SUCCESS) Sleep(10);
    // The rename and the disarming happen under one hold, so a Ctrl-C finds
    // the file either still to delete or already in place.
    CConsoleHold hold;
    if (RenameOver(m_hFile, m_strWideName)) {
      DisarmConsoleCleanup();
      // The bytes went out with each WriteFile; closing a handle that is
      // open cannot fail.
      CloseHandle(m_hFile);
      m_hFile = nullptr;
      return {};
    }
    nError = GetLastError();
  } while ((nError == ERROR_SHARING_VIOLATION || nError == ERROR_ACCESS_DENIED) &&
           GetTickCount64() < nGiveUp);
  return Abandon(CStatus::FromWindowsError(m_strName, nError));
}

CStatus COutputFile::Abandon(const CStatus& failure) {
  const std::string strTemp = TempPath();
  return Discard() ? failure : failure.LeftBehind(strTemp);
}

std::string COutputFile::TempPath() const { return m_strTemp; }

// Deleted through the handle, which was opened for it, so no other process
// can refuse it; the file goes when the handle is closed.
bool COutputFile::Discard() {
  if (m_hFile == nullptr) return true;
  CConsoleHold hold;
  FILE_DISPOSITION_INFO info{TRUE};
  const bool bDeleted =
      SetFileInformationByHandle(m_hFile, FileDispositionInfo, &info, sizeof info) != FALSE;
  CloseHandle(m_hFile);
  m_hFile = nullptr;
  DisarmConsoleCleanup();
  return bDeleted;
}
