#ifndef ROTFILE_OS_HANDED_ON_POSIX_H_
#define ROTFILE_OS_HANDED_ON_POSIX_H_

#include <sys/types.h>

#include <optional>
#include <string>

// What a replaced file hands on to the output that takes its place: its
// permission bits, its group and its access control list.
struct SHandedOn {
  unsigned nMode = 0;
  gid_t nGroup = 0;
  std::string strAccessList;  // As ReadAccessList stores it; empty when there is none.
  bool operator==(const SHandedOn&) const = default;
};

// Returns what the file pszName in the directory nDirFd hands on, all read
// through one descriptor of it: something only when it is a regular file of
// the user's own that no other name shares, and its access control list can
// be read. A link is not followed.
std::optional<SHandedOn> HandedOnBy(int nDirFd, const char* pszName);

// Returns what the file open at nFd hands on, when it is a regular file of
// the user's own with nLinks names and its access control list can be read.
std::optional<SHandedOn> HandedOnByOpen(int nFd, unsigned nLinks);

// Gives the file open for writing at nFd the group, the access control list
// and the permission bits of handedOn; returns false when any of them cannot
// be given.
bool HandOn(int nFd, const SHandedOn& handedOn);

#endif  // ROTFILE_OS_HANDED_ON_POSIX_H_
