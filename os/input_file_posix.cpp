#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <string>
#include <thread>

#include "os/input_file.h"
#include "os/path.h"

// Linux looks a file up without opening it (O_PATH) and then opens what it
// found (/proc/self/fd). Other systems (FreeBSD has O_PATH, but no such
// /proc), and the build that tries the portable way on Linux
// (ROTFILE_PORTABLE_FILES), open the file first and look after.
#if defined(__linux__) && defined(O_PATH) && !defined(ROTFILE_PORTABLE_FILES)
#define ROTFILE_LOOK_BEFORE_OPENING 1
#endif

namespace {

CStatus RefuseUnlessRegular(const char* lpszFile, const struct stat& info) {
  if (S_ISREG(info.st_mode)) return {};
  if (S_ISDIR(info.st_mode)) return CStatus::FromErrno(lpszFile, EISDIR);
  return CStatus::Failure(lpszFile, "not a regular file");
}

// Opens lpszPath for reading without waiting, so that a FIFO without a writer
// cannot hang the command; returns the descriptor, set to block from now on,
// or -1 with errno set. A file under a lease (Samba and NFS servers take
// them) fails such an open with EWOULDBLOCK while the kernel asks the holder
// to let go, which it forces after /proc/sys/fs/lease-break-time (45 s by
// default). The open is tried again until then, for at most twice that
// default, so that it waits as cat's blocking open would.
int OpenWithoutWaiting(const char* lpszPath) {
  using namespace std::chrono_literals;
  const auto giveUp = std::chrono::steady_clock::now() + 90s;
  for (;;) {
    const int nFd = open(lpszPath, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (nFd >= 0) {
      fcntl(nFd, F_SETFL, fcntl(nFd, F_GETFL) & ~O_NONBLOCK);
      return nFd;
    }
    if ((errno != EWOULDBLOCK && errno != EAGAIN) || std::chrono::steady_clock::now() > giveUp) {
      return -1;
    }
    std::this_thread::sleep_for(10ms);
  }
}

#ifdef ROTFILE_LOOK_BEFORE_OPENING
// What ReopenForReading returns when the name no longer leads to the file
// that was looked at.
constexpr int kReplaced = -2;

// How many times a file replaced between its look-up and its open (as
// editors save, by renaming a new file over the old) is looked up again.
constexpr int kLookUps = 5;

// Opens for reading the regular file that nPathFd (an O_PATH descriptor of
// the file described by info) refers to; returns the descriptor, kReplaced,
// or -1 with errno set.
int ReopenForReading(int nPathFd, const char* lpszFile, const struct stat& info) {
  // Through /proc the very file that was looked at is opened, whatever
  // happened to its name since.
  const int nFd = OpenWithoutWaiting(ProcFdPath(nPathFd).c_str());
  if (nFd >= 0 || errno != ENOENT) return nFd;
  // Without /proc the name is opened again; it must still be the file that
  // was looked at.
  const int nNameFd = OpenWithoutWaiting(lpszFile);
  if (nNameFd < 0) return -1;
  struct stat opened;
  if (fstat(nNameFd, &opened) != 0 || opened.st_dev != info.st_dev ||
      opened.st_ino != info.st_ino) {
    close(nNameFd);
    return kReplaced;
  }
  return nNameFd;
}

// Opens lpszFile for reading into *pnFd and describes it in *pInfo; refuses
// anything but a regular file before opening it, since opening a device can
// itself have effects (a tape rewinds).
CStatus OpenRegularFile(const char* lpszFile, int* pnFd, struct stat* pInfo) {
  for (int nLookUp = 0; nLookUp < kLookUps; ++nLookUp) {
    const int nPathFd = open(lpszFile, O_PATH | O_CLOEXEC);
    if (nPathFd < 0) return CStatus::FromErrno(lpszFile, errno);
    CStatus status = fstat(nPathFd, pInfo) == 0 ? RefuseUnlessRegular(lpszFile, *pInfo)
                                                : CStatus::FromErrno(lpszFile, errno);
    if (status.IsOk()) {
      *pnFd = ReopenForReading(nPathFd, lpszFile, *pInfo);
      if (*pnFd == -1) status = CStatus::FromErrno(lpszFile, errno);
    }
    close(nPathFd);
    if (!status.IsOk() || *pnFd >= 0) return status;
  }
  return CStatus::Failure(lpszFile, "kept changing while it was being opened");
}
#else
// Opens lpszFile for reading into *pnFd and describes it in *pInfo; refuses
// anything but a regular file once it is open, which a device may notice.
CStatus OpenRegularFile(const char* lpszFile, int* pnFd, struct stat* pInfo) {
  const int nFd = OpenWithoutWaiting(lpszFile);
  if (nFd < 0) return CStatus::FromErrno(lpszFile, errno);
  CStatus status = fstat(nFd, pInfo) == 0 ? RefuseUnlessRegular(lpszFile, *pInfo)
                                          : CStatus::FromErrno(lpszFile, errno);
  if (status.IsOk()) {
    *pnFd = nFd;
  } else {
    close(nFd);
  }
  return status;
}
#endif

}  // namespace

CInputFile::~CInputFile() {
  if (m_nFd >= 0) close(m_nFd);
}

CStatus CInputFile::Open(const char* lpszFile) {
  m_strName = lpszFile;
  struct stat info;
  if (CStatus status = OpenRegularFile(lpszFile, &m_nFd, &info); !status.IsOk()) return status;
  m_nMode = info.st_mode;
  m_nSize = static_cast<std::uint64_t>(info.st_size);
  m_id = {static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino)};
#if defined(POSIX_FADV_SEQUENTIAL) && !defined(ROTFILE_PORTABLE_FILES)
  posix_fadvise(m_nFd, 0, 0, POSIX_FADV_SEQUENTIAL);
#endif
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
