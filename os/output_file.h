#ifndef ROTFILE_OS_OUTPUT_FILE_H_
#define ROTFILE_OS_OUTPUT_FILE_H_

#include <cstddef>
#include <string>

#include "os/input_file.h"
#include "os/status.h"

// A new file that appears under its name only when it is complete. Bytes go
// to a temporary file in the output's directory; Commit renames it over that
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

  // Creates the temporary file for lpszFile, after refusing an output name
  // that is the source file itself (by any link), a directory, too long for
  // its directory, or another user's file in a sticky directory. On POSIX
  // the directory is opened once here, and the temporary file, the rename
  // and the cleanup all work in it, wherever it is moved meanwhile. The
  // output keeps the permission bits and the group of a regular file it
  // replaces, if that file is the user's own and its group one the user may
  // give; otherwise it gets the read and write bits of the source's mode
  // less the umask (Windows has no modes: the file takes the directory's
  // access control list). REQUIRES: no file is open yet; source is open.
  CStatus Create(const char* lpszFile, const CInputFile& source);

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
  std::string
      m_strTempName;  // The temporary file's name in the directory; empty when none is ours.
  int m_nDirFd = -1;  // The output's directory.
  int m_nFd = -1;
  unsigned m_nMode = 0;  // The permission bits the output gets at the commit.
#endif
};

#endif  // ROTFILE_OS_OUTPUT_FILE_H_
