#ifndef ROTFILE_OS_INPUT_FILE_H_
#define ROTFILE_OS_INPUT_FILE_H_

#include <cstddef>
#include <cstdint>
#include <string>

#include "os/status.h"

// Tells files apart: two names lead to one file exactly when their ids are
// equal, whatever links join them.
struct SFileId {
  std::uint64_t nVolume = 0;  // The device or volume that holds the file.
  std::uint64_t nFile = 0;    // The file's number on that volume.
  bool operator==(const SFileId&) const = default;
};

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

  // Returns the file's size in bytes when it was opened.
  // REQUIRES: Open succeeded.
  std::uint64_t Size() const { return m_nSize; }

  // Returns the id of the open file. REQUIRES: Open succeeded.
  SFileId Id() const { return m_id; }

  // Returns the name the file was opened by.
  const std::string& Name() const { return m_strName; }

 private:
  std::string m_strName;
  SFileId m_id;
  std::uint64_t m_nSize = 0;
#ifdef _WIN32
  void* m_hFile = nullptr;  // The open file's HANDLE; null when none is open.
#else
  int m_nFd = -1;
  unsigned m_nMode = 0;  // The file's st_mode, as found when it was opened.
#endif
};

#endif  // ROTFILE_OS_INPUT_FILE_H_
