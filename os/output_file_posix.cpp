#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>

#include "os/output_file.h"
#include "os/path.h"
#include "os/quoted_name.h"
#include "os/signal_cleanup_posix.h"
#include "os/temp_name.h"

namespace {

// The directory is only ever searched and written through, never listed, so
// it is opened in a way that needs no permission to read it, where there is
// one: Linux's O_PATH (left out by the build that tries the portable way),
// or POSIX's O_SEARCH.
#if defined(__linux__) && defined(O_PATH) && !defined(ROTFILE_PORTABLE_FILES)
constexpr int kDirectoryAccess = O_PATH;
#elif defined(O_SEARCH)
constexpr int kDirectoryAccess = O_SEARCH;
#else
constexpr int kDirectoryAccess = O_RDONLY;
#endif

// The group argument of fchown that keeps a file's group as it is.
constexpr gid_t kNoGroup = static_cast<gid_t>(-1);

SFileId IdOf(const struct stat& info) {
  return {static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino)};
}

// The mode a new output gets: the source's read and write bits less the
// umask, as cp gives a new file.
unsigned NewFileMode(unsigned nSourceMode) {
  // The umask can only be read by setting it; no other thread runs yet.
  const mode_t nUmask = umask(0);
  umask(nUmask);
  return nSourceMode & 0666 & ~nUmask;
}

// Whether the existing file at pszName (as lstat describes it) is the
// source, under its own name or at the end of a link.
bool IsSource(int nDirFd, const char* pszName, const struct stat& existing,
              const CInputFile& source) {
  struct stat target;
  return IdOf(existing) == source.Id() ||
         (S_ISLNK(existing.st_mode) && fstatat(nDirFd, pszName, &target, 0) == 0 &&
          IdOf(target) == source.Id());
}

// In a sticky directory only the owner of a file (or of the directory, or
// root) may replace it: the rename would be refused after all the work.
bool IsGuardedBySticky(int nDirFd, const struct stat& existing) {
  struct stat dir;
  const uid_t nUser = geteuid();
  return existing.st_uid != nUser && nUser != 0 && fstat(nDirFd, &dir) == 0 &&
         (dir.st_mode & S_ISVTX) != 0 && dir.st_uid != nUser;
}

// Finds, before any byte is converted, what would only make the work fail
// or go wrong: a final component pszName too long for the directory
// nDirFd, a directory there, the source itself, or another user's file in a
// sticky directory, which the rename could not replace. Stores in *pnMode
// and *pnGroup what the output is to be given: a replaced file hands on its
// mode and group only when it is the user's own, as a file planted by
// someone else must not open up the output to them; otherwise the output
// gets nNewMode and keeps the group it is created with (*pnGroup is then
// kNoGroup). A link is replaced, never followed, and steers nothing.
CStatus CheckOutputName(int nDirFd, const char* pszName, const std::string& strFile,
                        const CInputFile& source, unsigned nNewMode, unsigned* pnMode,
                        gid_t* pnGroup) {
  // Only the final component has to fit its directory. Every file system
  // takes names of _POSIX_NAME_MAX bytes, so the question costs a call only
  // for longer ones.
  const std::size_t nLength = std::strlen(pszName);
  if (nLength > _POSIX_NAME_MAX) {
    const long nMax = fpathconf(nDirFd, _PC_NAME_MAX);
    if (nMax > 0 && nLength > static_cast<std::size_t>(nMax)) {
      return CStatus::FromErrno(strFile, ENAMETOOLONG);
    }
  }
  *pnMode = nNewMode;
  *pnGroup = kNoGroup;
  struct stat existing;
  if (fstatat(nDirFd, pszName, &existing, AT_SYMLINK_NOFOLLOW) != 0) {
    return errno == ENOENT ? CStatus() : CStatus::FromErrno(strFile, errno);
  }
  if (S_ISDIR(existing.st_mode)) return CStatus::FromErrno(strFile, EISDIR);
  if (IsSource(nDirFd, pszName, existing, source)) {
    return CStatus::Failure(strFile, "is the same file as " + QuotedName(source.Name()));
  }
  if (IsGuardedBySticky(nDirFd, existing)) {
    return CStatus::Failure(strFile, "owned by another user in a sticky directory");
  }
  if (S_ISREG(existing.st_mode) && existing.st_uid == geteuid()) {
    *pnMode = existing.st_mode & 0777;
    *pnGroup = existing.st_gid;
  }
  return {};
}

}  // namespace

COutputFile::~COutputFile() {
  Discard();
  if (m_nDirFd >= 0) close(m_nDirFd);
}

CStatus COutputFile::Create(const char* lpszFile, const CInputFile& source) {
  m_strName = lpszFile;
  const std::size_t nStart = FinalComponentStart(m_strName);
  const std::string strDir = nStart == 0 ? std::string(".") : m_strName.substr(0, nStart);
  m_nDirFd = open(strDir.c_str(), kDirectoryAccess | O_DIRECTORY | O_CLOEXEC);
  if (m_nDirFd < 0) return CStatus::FromErrno(m_strName, errno);
  const unsigned nNewMode = NewFileMode(source.Mode());
  gid_t nKeptGroup = kNoGroup;
  if (CStatus status = CheckOutputName(m_nDirFd, lpszFile + nStart, m_strName, source, nNewMode,
                                       &m_nMode, &nKeptGroup);
      !status.IsOk()) {
    return status;
  }

  CSignalHold hold;
  // O_EXCL never opens a file that is already there, a planted link included.
  // Until the output is in place only its owner may open the temporary file,
  // and the owner only as far as both the final mode and a new file's mode
  // allow: someone who opened it early would keep the descriptor and read
  // all that follows, even if the rename then failed.
  std::string strTemp;
  for (int nTry = 0; nTry < 100 && m_nFd < 0; ++nTry) {
    strTemp = MakeTempName();
    m_nFd = openat(m_nDirFd, strTemp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                   m_nMode & nNewMode & 0600);
    if (m_nFd < 0 && errno != EEXIST) return CStatus::FromErrno(m_strName, errno);
  }
  if (m_nFd < 0) return CStatus::FromErrno(m_strName, EEXIST);
  // From here on the temporary file is ours to remove.
  m_strTempName = std::move(strTemp);
  ArmSignalCleanup(m_nDirFd, m_strTempName.c_str());
  // Only root and members of the group may give a file to it. Where the
  // group cannot be kept, the mode that went with it is not kept either:
  // it would open the output to the user's own group instead.
  if (nKeptGroup != kNoGroup && fchown(m_nFd, static_cast<uid_t>(-1), nKeptGroup) != 0) {
    m_nMode = nNewMode;
  }
  return {};
}

CStatus COutputFile::Write(const char* pData, std::size_t nSize) {
  while (nSize > 0) {
    ssize_t nDone = write(m_nFd, pData, nSize);
    if (nDone < 0 && errno == EINTR) continue;
    if (nDone <= 0) {
      CStatus status = CStatus::FromErrno(m_strName, nDone < 0 ? errno : EIO);
      Discard();
      return status;
    }
    pData += nDone;
    nSize -= static_cast<std::size_t>(nDone);
  }
  return {};
}

// No fsync: like cp and sed -i, durability across a power cut is left to the
// file system, which keeps the cost of a conversion at that of a copy. What
// the rename does guarantee is that the name never shows a partial file.
CStatus COutputFile::Commit() {
  // The file is closed before the rename, as some file systems (NFS) report
  // a failed write only at close, of any of its descriptors. A second one
  // stays open to set the final mode once the file is in place, so that
  // nobody else can open it before: were the rename refused, they would have
  // read it. Should there be no descriptor to spare, the output keeps the
  // owner-only mode.
  const int nModeFd = fcntl(m_nFd, F_DUPFD_CLOEXEC, 0);
  const int nFd = m_nFd;
  m_nFd = -1;
  CStatus status;
  if (close(nFd) != 0) status = CStatus::FromErrno(m_strName, errno);
  if (status.IsOk()) {
    const char* const pszName = m_strName.c_str() + FinalComponentStart(m_strName);
    // Held until the mode is set, so that a signal meanwhile finds either
    // the old output, or the new one complete with its mode.
    CSignalHold hold;
    if (renameat(m_nDirFd, m_strTempName.c_str(), m_nDirFd, pszName) == 0) {
      DisarmSignalCleanup();
      m_strTempName.clear();
      // Best effort: some file systems cannot keep modes, and refusing to
      // write there would help nobody.
      fchmod(nModeFd, m_nMode);
    } else {
      status = CStatus::FromErrno(m_strName, errno);
    }
  }
  if (nModeFd >= 0) close(nModeFd);
  Discard();
  return status;
}

void COutputFile::Discard() {
  if (m_strTempName.empty()) return;
  CSignalHold hold;
  if (m_nFd >= 0) close(m_nFd);
  m_nFd = -1;
  unlinkat(m_nDirFd, m_strTempName.c_str(), 0);
  DisarmSignalCleanup();
  m_strTempName.clear();
}
