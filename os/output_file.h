#ifndef ROTFILE_OS_OUTPUT_FILE_H_
#define ROTFILE_OS_OUTPUT_FILE_H_

#include <cstddef>
#include <string>

#include "os/status.h"

// A new file that appears under its name only when it is complete. Bytes go
// to a temporary file beside the final name; Commit renames it over that
// name. Until then, and whenever anything fails, the final name keeps what it
// had. The temporary file is removed on failure, on destruction without a
// commit, and when a catchable signal ends the process (on Windows: Ctrl-C,
// Ctrl-Break or closing the console window).
class COutputFile {
 public:
  COutputFile() = default;
  ~COutputFile();
  COutputFile(const COutputFile&) = delete;
  COutputFile& operator=(const COutputFile&) = delete;

  // Creates the temporary file for lpszFile in the same directory, after
  // refusing an output name that is a directory or too long for its
  // directory. The output is to keep the permission bits of the regular file
  // it replaces; a new one gets the read and write bits of nSourceMode less
  // the umask (Windows ignores nSourceMode: there the file takes the
  // directory's access control list). REQUIRES: no file is open yet.
  CStatus Create(const char* lpszFile, unsigned nSourceMode);

  // Writes all nSize bytes at pData, or fails.
  // REQUIRES: Create succeeded and Commit has not been called.
  CStatus Write(const char* pData, std::size_t nSize);

  // Closes the temporary file and renames it over the final name.
  // REQUIRES: Create succeeded; called at most once.
  CStatus Commit();

 private:
  // Closes and removes the temporary file if it is still there.
  void Discard();

  std::string m_strName;
#ifdef _WIN32
  std::wstring m_strWideName;  // m_strName as the wide file functions take it.
  std::wstring m_strWideTemp;  // The temporary file; empty when none is ours.
  void* m_hFile = nullptr;     // The temporary file's HANDLE; null when none is open.
#else
  std::string m_strTempName;  // The temporary file; empty when none is ours.
  int m_nFd = -1;
  unsigned m_nMode = 0;  // The permission bits the output gets at the commit.
#endif
};

#endif  // ROTFILE_OS_OUTPUT_FILE_H_
