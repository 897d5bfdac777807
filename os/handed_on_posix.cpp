#include "os/handed_on_posix.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "os/access_list.h"

namespace {

// The file is opened only to be looked at: on Linux without opening it at
// all (O_PATH); elsewhere for reading, without waiting on it.
#if defined(__linux__) && defined(O_PATH) && !defined(ROTFILE_PORTABLE_FILES)
constexpr int kLookAccess = O_PATH;
#else
constexpr int kLookAccess = O_RDONLY | O_NONBLOCK | O_NOCTTY;
#endif

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
  struct stat info;
  SHandedOn handedOn;
  const bool bHandsOn = fstat(nFd, &info) == 0 && S_ISREG(info.st_mode) &&
                        info.st_uid == geteuid() && info.st_nlink == 1 &&
                        ReadAccessList(nFd, &handedOn.strAccessList);
  close(nFd);
  if (!bHandsOn) return std::nullopt;
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
