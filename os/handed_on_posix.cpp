#include "os/handed_on_posix.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#ifdef __linux__
#include <linux/stat.h>
#include <sys/syscall.h>
#endif

#include <cerrno>

#include "os/access_list.h"

namespace {

// The file is opened only to be looked at: on Linux without opening it at
// all (O_PATH); elsewhere for reading, without waiting on it.
#if defined(__linux__) && defined(O_PATH) && !defined(ROTFILE_PORTABLE_FILES)
constexpr int kLookAccess = O_PATH;
#else
constexpr int kLookAccess = O_RDONLY | O_NONBLOCK | O_NOCTTY;
#endif

// Describes the file open at nFd as its file system has it now. A FUSE file
// system (bindfs) answers fstat from a cache, which shows one link for about
// a second after a second link is made; Linux's statx can be told to ask the
// file system itself. It is called directly, as not every C library has a
// function for it (musl before 1.2.5), and kernels before 4.11 lack it.
bool LookAt(int nFd, struct stat* pInfo) {
#ifdef __linux__
  struct statx info;
  if (syscall(SYS_statx, nFd, "", AT_EMPTY_PATH | AT_STATX_FORCE_SYNC, STATX_BASIC_STATS, &info) !=
      0) {
    return errno == ENOSYS && fstat(nFd, pInfo) == 0;
  }
  pInfo->st_mode = info.stx_mode;
  pInfo->st_nlink = info.stx_nlink;
  pInfo->st_uid = info.stx_uid;
  pInfo->st_gid = info.stx_gid;
  return true;
#else
  return fstat(nFd, pInfo) == 0;
#endif
}

}  // namespace

// Only the user's own file may steer who reads the output, and only one no
// other name shares: anyone who may write one of the user's files may also
// hard-link it where the output will be, and must not open the output up to
// themselves that way. The file is judged by what its open descriptor
// shows, so that a file swapped in after the name was looked at cannot pass
// its access list off as the judged one's.
std::optional<SHandedOn> HandedOnBy(int nDirFd, const char* pszName) {
  const int nFd = openat(nDirFd, pszName, kLookAccess | O_NOFOLLOW | O_CLOEXEC);
  if (nFd < 0) return std::nullopt;
  std::optional<SHandedOn> handedOn = HandedOnByOpen(nFd, 1);
  close(nFd);
  return handedOn;
}

std::optional<SHandedOn> HandedOnByOpen(int nFd, unsigned nLinks) {
  struct stat info = {};
  SHandedOn handedOn;
  if (!LookAt(nFd, &info) || !S_ISREG(info.st_mode) || info.st_uid != geteuid() ||
      info.st_nlink != nLinks || !ReadAccessList(nFd, &handedOn.strAccessList)) {
    return std::nullopt;
  }
  handedOn.nMode = info.st_mode & 0777;
  handedOn.nGroup = info.st_gid;
  return handedOn;
}

// The group first: only root and members of a group may give a file to it.
// An access control list holds the group's bits as its mask, which the mode
// then sets again to the same.
bool HandOn(int nFd, const SHandedOn& handedOn) {
  return fchown(nFd, static_cast<uid_t>(-1), handedOn.nGroup) == 0 &&
         WriteAccessList(nFd, handedOn.strAccessList) && fchmod(nFd, handedOn.nMode) == 0;
}
