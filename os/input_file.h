#ifndef ROTFILE_OS_INPUT_FILE_H_
#define ROTFILE_OS_INPUT_FILE_H_

#include <cstddef>
#include <string>

#include "os/status.h"

// A regular file opened for reading raw bytes from start to end. The file is
// closed when the object is destroyed.
class CInputFile {
 public:
  CInputFile() = default;
  ~CInputFile();
  CInputFile(const CInputFile&) = delete;
  CInputFile& operator=(const CInputFile&) = delete;

  // Opens lpszFile for reading; refuses anything but a regular file (a link to
  // one is followed) without waiting on it, so a FIFO with no writer cannot
  // hang, and on Linux without opening it at all. Waits, as a plain open does,
  // while another process holds a lease on it.
  // REQUIRES: no file is open yet.
  CStatus Open(const char* lpszFile);

  // Reads up to nMax bytes into pBuffer and stores their count in *pnRead;
  // a count of 0 means the end of the file. Short counts are allowed.
  // REQUIRES: Open succeeded.
  CStatus Read(char* pBuffer, std::size_t nMax, std::size_t* pnRead);

  // Returns the file's permission bits (0666 on Windows, which has none).
  // REQUIRES: Open succeeded.
  unsigned Mode() const;

 private:
  std::string m_strName;
#ifdef _WIN32
  void* m_hFile = nullptr;  // The open file's HANDLE; null when none is open.
#else
  int m_nFd = -1;
  unsigned m_nMode = 0;  // The file's st_mode, as found when it was opened.
#endif
};

#endif  // ROTFILE_OS_INPUT_FILE_H_
