#include <sys/xattr.h>

#include <cerrno>
#include <string>

#include "os/access_list.h"
#include "os/path.h"

namespace {

// Where Linux keeps a file's access ACL, in the form that the kernel checks
// and that every file system holding ACLs stores alike.
constexpr char kAccessAttribute[] = "system.posix_acl_access";

// A file without a list, or on a file system that keeps none.
bool MeansNoList(int nErrno) { return nErrno == ENODATA || nErrno == ENOTSUP; }

// Reads the list of the file at nFd into up to nSize bytes at pBuffer (none
// when nSize is 0: its size is returned), as fgetxattr does. Kernels before
// 6.x read no attribute through an O_PATH descriptor; the descriptor's entry
// in /proc leads to the very same file.
ssize_t GetList(int nFd, char* pBuffer, std::size_t nSize) {
  const ssize_t nGot = fgetxattr(nFd, kAccessAttribute, pBuffer, nSize);
  if (nGot >= 0 || errno != EBADF) return nGot;
  return getxattr(ProcFdPath(nFd).c_str(), kAccessAttribute, pBuffer, nSize);
}

}  // namespace

bool ReadAccessList(int nFd, std::string* pstrList) {
  // The size is asked first; should the list grow before it is read, the
  // read fails with ERANGE and both are asked again.
  for (int nTry = 0; nTry < 3; ++nTry) {
    pstrList->clear();
    const ssize_t nSize = GetList(nFd, nullptr, 0);
    if (nSize < 0) return MeansNoList(errno);
    pstrList->resize(static_cast<std::size_t>(nSize));
    const ssize_t nRead = GetList(nFd, pstrList->data(), pstrList->size());
    if (nRead >= 0) {
      pstrList->resize(static_cast<std::size_t>(nRead));
      return true;
    }
    if (errno != ERANGE) {
      pstrList->clear();
      return MeansNoList(errno);
    }
  }
  return false;
}

bool WriteAccessList(int nFd, const std::string& strList) {
  if (strList.empty()) return fremovexattr(nFd, kAccessAttribute) == 0 || MeansNoList(errno);
  return fsetxattr(nFd, kAccessAttribute, strList.data(), strList.size(), 0) == 0;
}
