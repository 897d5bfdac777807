#include "os/left_temps_posix.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "os/temp_name.h"

namespace {

// Only the user's own plain files are taken: anything else with such a name
// was put there by someone else, for reasons of theirs.
bool IsOwnRegularFile(const struct stat& info) {
  return S_ISREG(info.st_mode) && info.st_uid == geteuid();
}

bool IsSameFile(const struct stat& first, const struct stat& second) {
  return first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

// Opens the file pszName in nDirFd only to lock it: never through a link,
// never waiting, for reading or, where its mode forbids that, for writing
// (nothing is written).
int OpenToLock(int nDirFd, const char* pszName) {
  constexpr int kFlags = O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
  const int nFd = openat(nDirFd, pszName, O_RDONLY | kFlags);
  return nFd >= 0 || errno != EACCES ? nFd : openat(nDirFd, pszName, O_WRONLY | kFlags);
}

// The lock is taken first and the name looked at again after: a run that
// made the file holds its lock, and one that makes a file of that name now
// waits for the lock and then finds its name gone, so neither loses a file
// in use.
void RemoveIfLeft(int nDirFd, const char* pszName) {
  struct stat named;
  if (fstatat(nDirFd, pszName, &named, AT_SYMLINK_NOFOLLOW) != 0 || !IsOwnRegularFile(named)) {
    return;
  }
  const int nFd = OpenToLock(nDirFd, pszName);
  if (nFd < 0) return;
  struct stat locked;
  if (flock(nFd, LOCK_EX | LOCK_NB) == 0 && fstat(nFd, &locked) == 0 && IsOwnRegularFile(locked) &&
      fstatat(nDirFd, pszName, &named, AT_SYMLINK_NOFOLLOW) == 0 && IsSameFile(named, locked)) {
    unlinkat(nDirFd, pszName, 0);
  }
  close(nFd);
}

}  // namespace

void LockTemp(int nFd) {
  while (flock(nFd, LOCK_EX) != 0 && errno == EINTR) {
  }
}

bool LockNamedTemp(int nDirFd, const char* pszName, int nFd) {
  LockTemp(nFd);
  struct stat named;
  struct stat locked;
  return fstatat(nDirFd, pszName, &named, AT_SYMLINK_NOFOLLOW) == 0 && fstat(nFd, &locked) == 0 &&
         IsSameFile(named, locked);
}

void RemoveLeftTemps(int nDirFd) {
  const int nListFd = openat(nDirFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (nListFd < 0) return;
  DIR* pDir = fdopendir(nListFd);
  if (pDir == nullptr) {
    close(nListFd);
    return;
  }
  while (const dirent* pEntry = readdir(pDir)) {
    if (IsTempName(pEntry->d_name)) RemoveIfLeft(nDirFd, pEntry->d_name);
  }
  closedir(pDir);
}
