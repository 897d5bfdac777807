#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "os/input_file.h"

namespace {

CStatus RefuseUnlessRegular(const char* lpszFile, const struct stat& info) {
  if (S_ISREG(info.st_mode)) return {};
  if (S_ISDIR(info.st_mode)) return CStatus::FromErrno(lpszFile, EISDIR);
  return CStatus::Failure(lpszFile, "not a regular file");
}

// Opens for reading the regular file that nPathFd (an O_PATH descriptor of
// the file described by info) refers to; returns the descriptor, or -1 with
// errno set.
int ReopenForReading(int nPathFd, const char* lpszFile, const struct stat& info) {
  // Through /proc the very file that was looked at is opened, whatever
  // happened to its name since, and a plain blocking open waits for a lease
  // (Samba, NFS servers) to be broken, as cat's would.
  const std::string strLink = "/proc/self/fd/" + std::to_string(nPathFd);
  const int nFd = open(strLink.c_str(), O_RDONLY | O_NOCTTY | O_CLOEXEC);
  if (nFd >= 0 || errno != ENOENT) return nFd;
  // Without /proc the name is opened again. It may have been replaced by a
  // FIFO since the look, so the open must not wait; a file under a lease
  // then fails at once instead of waiting.
  const int nNameFd = open(lpszFile, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (nNameFd < 0) return -1;
  struct stat opened;
  if (fstat(nNameFd, &opened) != 0 || opened.st_dev != info.st_dev ||
      opened.st_ino != info.st_ino) {
    close(nNameFd);
    errno = EAGAIN;
    return -1;
  }
  fcntl(nNameFd, F_SETFL, fcntl(nNameFd, F_GETFL) & ~O_NONBLOCK);
  return nNameFd;
}

}  // namespace

CInputFile::~CInputFile() {
  if (m_nFd >= 0) close(m_nFd);
}

CStatus CInputFile::Open(const char* lpszFile) {
  m_strName = lpszFile;
  // Look before opening: opening a device or FIFO can itself have effects
  // (a tape rewinds, a FIFO waits for a writer), so such files are refused
  // without being opened at all. O_PATH finds the file without opening it.
  const int nPathFd = open(lpszFile, O_PATH | O_CLOEXEC);
  if (nPathFd < 0) return CStatus::FromErrno(lpszFile, errno);
  struct stat info;
  CStatus status = fstat(nPathFd, &info) == 0 ? RefuseUnlessRegular(lpszFile, info)
                                              : CStatus::FromErrno(lpszFile, errno);
  if (status.IsOk()) {
    m_nFd = ReopenForReading(nPathFd, lpszFile, info);
    if (m_nFd < 0) status = CStatus::FromErrno(lpszFile, errno);
  }
  close(nPathFd);
  if (!status.IsOk()) return status;
  m_nMode = info.st_mode;
  m_id = {static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino)};
  posix_fadvise(m_nFd, 0, 0, POSIX_FADV_SEQUENTIAL);
  return {};
}

unsigned CInputFile::Mode() const { return m_nMode & 07777; }

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
