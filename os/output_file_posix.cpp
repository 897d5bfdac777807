#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>
#ifdef __linux__
#include <linux/magic.h>
#include <linux/stat.h>
#include <sys/syscall.h>
#include <sys/vfs.h>
#endif

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <tuple>
#include <utility>

#include "os/access_list.h"
#include "os/left_temps_posix.h"
#include "os/output_file.h"
#include "os/path.h"
#include "os/quoted_name.h"
#include "os/signal_cleanup_posix.h"
#include "os/temp_name.h"
#include "os/text_sink.h"

// Linux makes a file without a name (O_TMPFILE) and gives it one later
// through /proc/self/fd or AT_EMPTY_PATH. Other systems, and the build that
// tries the portable way on Linux (ROTFILE_PORTABLE_FILES), name the file
// from the start.
#if defined(__linux__) && defined(O_TMPFILE) && !defined(ROTFILE_PORTABLE_FILES)
#define ROTFILE_UNNAMED_FILES 1
#endif

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

SFileId IdOf(const struct stat& info) {
  return {static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino)};
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

// Whether the attributes of pszPath in nDirFd (the directory itself when
// pszPath is empty) keep an entry there from being taken out or replaced:
// append-only or immutable. Linux tells through statx, called directly, as
// not every C library has a function for it (musl before 1.2.5); elsewhere
// the rename finds out.
bool IsSealed([[maybe_unused]] int nDirFd, [[maybe_unused]] const char* pszPath) {
#ifdef __linux__
  struct statx info;
  return syscall(SYS_statx, nDirFd, pszPath, AT_EMPTY_PATH | AT_SYMLINK_NOFOLLOW, 0, &info) == 0 &&
         (info.stx_attributes & (STATX_ATTR_APPEND | STATX_ATTR_IMMUTABLE)) != 0;
#else
  return false;
#endif
}

// Whether the directory nDirFd is on a file system mounted read-only. Such a
// file system keeps every file as it is, whoever asks; the kernel's own
// answer would name the mode of a read-only file first, and only to users
// other than root.
bool IsOnReadOnlySystem(int nDirFd) {
  struct statvfs info;
  return fstatvfs(nDirFd, &info) == 0 && (info.f_flag & ST_RDONLY) != 0;
}

// Whether the existing file at pszName (as lstat describes it) is one the
// user may not write. A rename needs only the directory's permission, but
// making a file read-only is how users protect it, and opening it for
// writing, as cp does, would fail: so it is kept. Root, who may write any
// file, replaces it. A link is replaced, never followed, so the mode of what
// it leads to does not count.
bool IsReadOnly(int nDirFd, const char* pszName, const struct stat& existing) {
  return !S_ISLNK(existing.st_mode) && faccessat(nDirFd, pszName, W_OK, AT_EACCESS) != 0 &&
         errno == EACCES;
}

// Finds, before any byte is converted, what would only make the work fail
// or go wrong: a final component pszName too long for the directory
// nDirFd, a directory there, the source itself, another user's file in a
// sticky directory, attributes that forbid its replacement, a read-only file
// system, or a file the user may not write. Stores in *pHandedOn what a file
// there hands on to the output, if anything. A link is replaced, never
// followed, and steers nothing.
CStatus CheckOutputName(int nDirFd, const char* pszName, const std::string& strFile,
                        const CInputFile& source, std::optional<SHandedOn>* pHandedOn) {
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
  if (IsSealed(nDirFd, "") || IsSealed(nDirFd, pszName)) return CStatus::FromErrno(strFile, EPERM);
  if (IsOnReadOnlySystem(nDirFd)) return CStatus::FromErrno(strFile, EROFS);
  if (IsReadOnly(nDirFd, pszName, existing)) return CStatus::Failure(strFile, kReadOnlyReason);
  *pHandedOn = HandedOnBy(nDirFd, pszName);
  return {};
}

// Calls attempt with fresh temporary names until it succeeds (returns 0 or
// more) or fails otherwise than by finding the name taken; stores the last
// name in *pstrTemp and returns what attempt returned, with errno set.
template <typename FAttempt>
int WithFreshTempName(std::string* pstrTemp, FAttempt attempt) {
  for (int nTry = 0; nTry < 100; ++nTry) {
    *pstrTemp = MakeTempName();
    const int nResult = attempt(pstrTemp->c_str());
    if (nResult >= 0 || errno != EEXIST) return nResult;
  }
  return -1;
}

// Returns a descriptor of a new file named by a fresh temporary name, stored
// in *pstrTemp, in nDirFd, open for writing, made with nMode and locked as in
// use; -1 with errno set when there is none. O_EXCL never opens a file that
// is already there, a planted link included. A file that another run's
// clean-up took between its making and its lock is given up for a new name.
int OpenNamedTemp(int nDirFd, unsigned nMode, std::string* pstrTemp) {
  return WithFreshTempName(pstrTemp, [nDirFd, nMode](const char* pszTemp) {
    const int nFd =
        openat(nDirFd, pszTemp, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, nMode);
    if (nFd < 0 || LockNamedTemp(nDirFd, pszTemp, nFd)) return nFd;
    close(nFd);
    errno = EEXIST;
    return -1;
  });
}

// A new output asks for the source's read and write bits; the system takes
// from them what the umask or a default access control list says.
unsigned AskedMode(const CInputFile& source) { return source.Mode() & 0666; }

#ifdef ROTFILE_UNNAMED_FILES
// Returns a descriptor of a new file without a name in nDirFd, open for
// writing, made with nMode and locked as in use before anyone can see it;
// -1 with errno set when there is none.
int OpenUnnamed(int nDirFd, unsigned nMode) {
  const int nFd = openat(nDirFd, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, nMode);
  if (nFd >= 0) LockTemp(nFd);
  return nFd;
}

// btrfs and ext4 start writing out the data of a file renamed over another
// inside the rename: a tenth of a second for 100 MiB on btrfs, during which
// a killed run would leave the file under its temporary name. They are made
// to start now, while the file at nFd has no name, so that the rename finds
// the work under way. Other file systems pay nothing.
void StartWriteOutBeforeReplacing(int nFd) {
  struct statfs info;
  if (fstatfs(nFd, &info) != 0) return;
  // The magic numbers are 32 bits wide; f_type is a signed int on some
  // processors (i686), where btrfs's reads as negative.
  const auto nType = static_cast<std::uint32_t>(info.f_type);
  if (nType == BTRFS_SUPER_MAGIC || nType == EXT4_SUPER_MAGIC) {
    sync_file_range(nFd, 0, 0, SYNC_FILE_RANGE_WRITE);
  }
}
#endif

}  // namespace

COutputFile::~COutputFile() {
  Discard();
  if (m_nDirFd >= 0) close(m_nDirFd);
}

CStatus COutputFile::Create(const char* lpszFile, const CInputFile& source) {
  m_strName = lpszFile;
  m_pSource = &source;
  const std::size_t nStart = FinalComponentStart(m_strName);
  const std::string strDir = nStart == 0 ? std::string(".") : m_strName.substr(0, nStart);
  m_nDirFd = open(strDir.c_str(), kDirectoryAccess | O_DIRECTORY | O_CLOEXEC);
  if (m_nDirFd < 0) return CStatus::FromErrno(m_strName, errno);
  if (CStatus status = CheckOutputName(m_nDirFd, lpszFile + nStart, m_strName, source, &m_handedOn);
      !status.IsOk()) {
    return status;
  }
  RemoveLeftTemps(m_nDirFd);
  const unsigned nAskedMode = AskedMode(source);

#ifdef ROTFILE_UNNAMED_FILES
  // Nobody else can open a file without a name, so it is given all it
  // takes over at once. Where that cannot all be given, a new one is made
  // in its place, which gets what any new file gets.
  m_nFd = OpenUnnamed(m_nDirFd, nAskedMode);
  if (m_nFd >= 0 && m_handedOn && !HandOn(m_nFd, *m_handedOn)) {
    close(m_nFd);
    m_nFd = OpenUnnamed(m_nDirFd, nAskedMode);
    m_handedOn.reset();
  }
  // A kernel without O_TMPFILE takes it for O_DIRECTORY (EISDIR), and a file
  // system without it says EOPNOTSUPP: the named way is left for them.
  if (m_nFd < 0 && errno != EOPNOTSUPP && errno != EISDIR) {
    return CStatus::FromErrno(m_strName, errno);
  }
  if (m_nFd >= 0) {
    // A link named "." can only fail, with EEXIST once the file has passed
    // the checks on what may be linked: so each way of linking is tried
    // before any work is done, and without making a name.
    for (ELink eLink : {ELink::kEmptyPath, ELink::kProcFd}) {
      m_eLink = eLink;
      if (LinkUnnamed(".") != 0 && errno == EEXIST) return {};
    }
    m_eLink = ELink::kNamed;
    close(m_nFd);
    m_nFd = -1;
  }
#endif
  return CreateNamed(nAskedMode);
}

CStatus COutputFile::CreateNamed(unsigned nAskedMode) {
  // Putting a named file in place takes its name out of the directory,
  // which an append-only one forbids.
  if (IsSealed(m_nDirFd, "")) return CStatus::FromErrno(m_strName, EPERM);
  CSignalHold hold;
  // The mode a new file gets here is the system's own answer, after the
  // umask or a default access control list: an empty file is made to ask,
  // and removed at once.
  std::string strProbe;
  const int nProbeFd = OpenNamedTemp(m_nDirFd, nAskedMode, &strProbe);
  if (nProbeFd < 0) return CStatus::FromErrno(m_strName, errno);
  // It is removed while still open, and so locked: closed first, it would
  // be free for another run's clean-up to remove before this one could.
  struct stat probe;
  const int nStatErrno = fstat(nProbeFd, &probe) == 0 ? 0 : errno;
  const int nUnlinkErrno = unlinkat(m_nDirFd, strProbe.c_str(), 0) == 0 ? 0 : errno;
  close(nProbeFd);
  if (nUnlinkErrno != 0) {
    return CStatus::FromErrno(m_strName, nUnlinkErrno).LeftBehind(PathInDirectory(strProbe));
  }
  if (nStatErrno != 0) return CStatus::FromErrno(m_strName, nStatErrno);
  m_nNewMode = probe.st_mode & 0777;
  m_nNewGroup = probe.st_gid;

  // Until the output is in place only its owner may open the temporary
  // file, and the owner only as far as both the final mode and a new file's
  // mode allow: someone who opened it early would keep the descriptor and
  // read all that follows, even if the rename then failed.
  std::string strTemp;
  const unsigned nFinalMode = m_handedOn ? m_handedOn->nMode : m_nNewMode;
  m_nFd = OpenNamedTemp(m_nDirFd, nFinalMode & m_nNewMode & 0600, &strTemp);
  if (m_nFd < 0) return CStatus::FromErrno(m_strName, errno);
  // From here on the temporary file is ours to remove. The handler of a
  // signal cannot build a message, so the notice it gives when it cannot
  // remove the file is written now.
  m_strTempName = std::move(strTemp);
  m_strNotice =
      "rotfile: " + CStatus::Failure(m_strName, "interrupted").LeftBehind(TempPath()).Message() +
      "\n";
  ArmSignalCleanup(m_nDirFd, m_strTempName.c_str(), m_strNotice.c_str());
  return {};
}

CStatus COutputFile::Write(const char* pData, std::size_t nSize) {
  if (CDescriptorSink(m_nFd).Write({pData, nSize})) return {};
  return Abandon(CStatus::FromErrno(m_strName, errno));
}

// No fsync: like cp and sed -i, durability across a power cut is left to the
// file system, which keeps the cost of a conversion at that of a copy. What
// the rename does guarantee is that the name never shows a partial file.
CStatus COutputFile::Commit() {
  // Some file systems (NFS) report a failed write only when a descriptor of
  // the file is closed, any of them. One is closed now and its twin kept:
  // it gives a file without a name its name, and a named one its final
  // mode once in place, before anybody else can open it.
  const int nKeptFd = fcntl(m_nFd, F_DUPFD_CLOEXEC, 0);
  if (nKeptFd < 0) return Abandon(CStatus::FromErrno(m_strName, errno));
  if (close(std::exchange(m_nFd, nKeptFd)) != 0) {
    return Abandon(CStatus::FromErrno(m_strName, errno));
  }
  const char* const pszName = m_strName.c_str() + FinalComponentStart(m_strName);
  // The output name is judged again, as late as can be: the user may have
  // made the old output read-only, or changed who may read it, since the
  // run began.
  std::optional<SHandedOn> handedOn;
  if (CStatus status = CheckOutputName(m_nDirFd, pszName, m_strName, *m_pSource, &handedOn);
      !status.IsOk()) {
    return Abandon(status);
  }
  // Held until the output is in place with its mode, so that a signal
  // meanwhile finds either the old output, or the new one complete.
  CSignalHold hold;
#ifdef ROTFILE_UNNAMED_FILES
  if (m_eLink != ELink::kNamed && handedOn != m_handedOn) HandOnAfresh(handedOn);
#endif
  m_handedOn = std::move(handedOn);
#ifdef ROTFILE_UNNAMED_FILES
  CStatus status = m_eLink == ELink::kNamed ? RenameIntoPlace(pszName) : LinkIntoPlace(pszName);
#else
  CStatus status = RenameIntoPlace(pszName);
#endif
  if (!status.IsOk()) return Abandon(status);
  close(std::exchange(m_nFd, -1));
  return {};
}

CStatus COutputFile::RenameIntoPlace(const char* pszName) {
  if (renameat(m_nDirFd, m_strTempName.c_str(), m_nDirFd, pszName) != 0) {
    return CStatus::FromErrno(m_strName, errno);
  }
  DisarmSignalCleanup();
  m_strTempName.clear();
  // Best effort: some file systems keep no modes, and refusing to write
  // there would help nobody. Where what the replaced file hands on cannot
  // all be given (a group the user may not give, no room for the access
  // control list), the output gets none of it, as a file made without a
  // name does, but a new file's group and mode: a mode kept without its
  // group would open the output to the user's own group instead. The list
  // a new file gets here is the one it was made with, as a failed write of
  // another leaves it.
  if (!m_handedOn || !HandOn(m_nFd, *m_handedOn)) {
    std::ignore = fchown(m_nFd, static_cast<uid_t>(-1), m_nNewGroup);
    fchmod(m_nFd, m_nNewMode);
  }
  return {};
}

#ifdef ROTFILE_UNNAMED_FILES
int COutputFile::LinkUnnamed(const char* pszName) const {
  if (m_eLink == ELink::kEmptyPath) return linkat(m_nFd, "", m_nDirFd, pszName, AT_EMPTY_PATH);
  return linkat(AT_FDCWD, ProcFdPath(m_nFd).c_str(), m_nDirFd, pszName, AT_SYMLINK_FOLLOW);
}

CStatus COutputFile::LinkIntoPlace(const char* pszName) {
  if (LinkUnnamed(pszName) == 0) return {};
  if (errno != EEXIST) return CStatus::FromErrno(m_strName, errno);
  // A file is there: the output takes a temporary name, which replaces it at
  // once. Only a process killed between the two calls leaves that name, and
  // the next run there removes it.
  StartWriteOutBeforeReplacing(m_nFd);
  std::string strTemp;
  const auto linkAs = [this](const char* pszTemp) { return LinkUnnamed(pszTemp); };
  if (WithFreshTempName(&strTemp, linkAs) != 0) {
    return CStatus::FromErrno(m_strName, errno);
  }
  m_strTempName = std::move(strTemp);
  if (renameat(m_nDirFd, m_strTempName.c_str(), m_nDirFd, pszName) != 0) {
    return CStatus::FromErrno(m_strName, errno);
  }
  m_strTempName.clear();
  return {};
}

// The file was given at Create what the output it replaces handed on then,
// or what a new file gets. Where that output now hands on something else, or
// nothing, or what it hands on cannot be given, the file gets what a new one
// gets here, as an empty file made without a name shows it.
void COutputFile::HandOnAfresh(const std::optional<SHandedOn>& handedOn) {
  if (handedOn && HandOn(m_nFd, *handedOn)) return;
  const int nNewFd = OpenUnnamed(m_nDirFd, AskedMode(*m_pSource));
  if (nNewFd < 0) return;
  if (const std::optional<SHandedOn> newFile = HandedOnByOpen(nNewFd, 0)) HandOn(m_nFd, *newFile);
  close(nNewFd);
}
#endif

CStatus COutputFile::Abandon(const CStatus& failure) {
  const std::string strTemp = TempPath();
  return Discard() ? failure : failure.LeftBehind(strTemp);
}

std::string COutputFile::TempPath() const { return PathInDirectory(m_strTempName); }

std::string COutputFile::PathInDirectory(const std::string& strEntry) const {
  return m_strName.substr(0, FinalComponentStart(m_strName)) + strEntry;
}

bool COutputFile::Discard() {
  if (m_nFd >= 0) close(std::exchange(m_nFd, -1));
  if (m_strTempName.empty()) return true;
  CSignalHold hold;
  const bool bRemoved = unlinkat(m_nDirFd, m_strTempName.c_str(), 0) == 0 || errno == ENOENT;
  if (m_eLink == ELink::kNamed) DisarmSignalCleanup();
  m_strTempName.clear();
  return bRemoved;
}
