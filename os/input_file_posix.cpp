#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "os/input_file.h"

namespace {

CStatus RefuseUnlessRegular(const char* lpszFile, const struct stat& info) {
  if (S_ISREG(info.st_mode)) return {};
  if (S_ISDIR(info.st_mode)) return CStatus::FromErrno(lpszFile, EISDIR);
  return CStatus::Failure(lpszFile, "not a regular file");
}

}  // namespace

CInputFile::~CInputFile() {
  if (m_nFd >= 0) close(m_nFd);
}

CStatus CInputFile::Open(const char* lpszFile) {
  m_strName = lpszFile;
  // Look before opening: opening a device or FIFO can itself have effects
  // (a tape rewinds, a FIFO waits for a writer), so such files are refused
  // without being opened at all.
  struct stat info;
  if (stat(lpszFile, &info) != 0) return CStatus::FromErrno(lpszFile, errno);
  if (CStatus status = RefuseUnlessRegular(lpszFile, info); !status.IsOk()) return status;

  // The name may have been replaced since the look, so open without blocking
  // and check again what was actually opened.
  m_nFd = open(lpszFile, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (m_nFd < 0) return CStatus::FromErrno(lpszFile, errno);
  if (fstat(m_nFd, &info) != 0) return CStatus::FromErrno(lpszFile, errno);
  if (CStatus status = RefuseUnlessRegular(lpszFile, info); !status.IsOk()) return status;
  fcntl(m_nFd, F_SETFL, fcntl(m_nFd, F_GETFL) & ~O_NONBLOCK);
  posix_fadvise(m_nFd, 0, 0, POSIX_FADV_SEQUENTIAL);
  return {};
}

CStatus CInputFile::Read(char* pBuffer, std::size_t nMax, std::size_t* pnRead) {
  ssize_t nGot;
  do {
    nGot = read(m_nFd, pBuffer, nMax);
  } while (nGot < 0 && errno == EINTR);
  if (nGot < 0) {
    *pnRead = 0;
    return CStatus::FromErrno(m_strName, errno);
  }
  *pnRead = static_cast<std::size_t>(nGot);
  return {};
}
