#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <string>
#include <utility>

#include "os/output_file.h"
#include "os/path.h"
#include "os/signal_cleanup_posix.h"
#include "os/temp_name.h"

namespace {

// Finds, before any byte is converted, what would only make the final rename
// fail: a directory at the output name, or a final component longer than its
// directory allows. Stores in *pnMode the mode the output is to get: a file
// being replaced keeps its permission bits; a new name (or a link, which is
// replaced and must not steer the mode) gets the input's read and write bits
// less the umask, as cp gives a new file.
CStatus CheckOutputName(const std::string& strName, unsigned nSourceMode, unsigned* pnMode) {
  // Every file system takes names of _POSIX_NAME_MAX bytes, so the question
  // costs a call only for longer ones.
  const std::size_t nStart = FinalComponentStart(strName);
  if (strName.size() - nStart > _POSIX_NAME_MAX) {
    const std::string strDir = nStart == 0 ? std::string(".") : strName.substr(0, nStart);
    const long nMax = pathconf(strDir.c_str(), _PC_NAME_MAX);
    if (nMax > 0 && strName.size() - nStart > static_cast<std::size_t>(nMax)) {
      return CStatus::FromErrno(strName, ENAMETOOLONG);
    }
  }
  struct stat existing;
  if (lstat(strName.c_str(), &existing) == 0) {
    if (S_ISDIR(existing.st_mode)) return CStatus::FromErrno(strName, EISDIR);
    if (S_ISREG(existing.st_mode)) {
      *pnMode = existing.st_mode & 0777;
      return {};
    }
  } else if (errno != ENOENT) {
    return CStatus::FromErrno(strName, errno);
  }
  // The umask can only be read by setting it; no other thread runs yet.
  const mode_t nUmask = umask(0);
  umask(nUmask);
  *pnMode = nSourceMode & 0666 & ~nUmask;
  return {};
}

}  // namespace

COutputFile::~COutputFile() { Discard(); }

CStatus COutputFile::Create(const char* lpszFile, unsigned nSourceMode) {
  m_strName = lpszFile;
  if (CStatus status = CheckOutputName(m_strName, nSourceMode, &m_nMode); !status.IsOk()) {
    return status;
  }

  CSignalHold hold;
  // O_EXCL never opens a file that is already there, a planted link included.
  // Until the final mode is set at the commit, nobody but the owner may open
  // the file, and the owner only as far as the final mode allows: someone who
  // opened it early would keep the descriptor and read all that follows.
  std::string strTemp;
  for (int nTry = 0; nTry < 100 && m_nFd < 0; ++nTry) {
    strTemp = MakeTempName(m_strName);
    m_nFd =
        open(strTemp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, m_nMode & 0600);
    if (m_nFd < 0 && errno != EEXIST) return CStatus::FromErrno(m_strName, errno);
  }
  if (m_nFd < 0) return CStatus::FromErrno(m_strName, EEXIST);
  // From here on the temporary file is ours to remove.
  m_strTempName = std::move(strTemp);
  ArmSignalCleanup(m_strTempName.c_str());
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
  // Best effort: some file systems cannot keep modes, and refusing to write
  // there would help nobody.
  fchmod(m_nFd, m_nMode);
  int nFd = m_nFd;
  m_nFd = -1;
  // Some file systems (NFS) report a failed write only at close.
  if (close(nFd) != 0) {
    CStatus status = CStatus::FromErrno(m_strName, errno);
    Discard();
    return status;
  }
  CSignalHold hold;
  if (rename(m_strTempName.c_str(), m_strName.c_str()) != 0) {
    CStatus status = CStatus::FromErrno(m_strName, errno);
    Discard();
    return status;
  }
  DisarmSignalCleanup();
  m_strTempName.clear();
  return {};
}

void COutputFile::Discard() {
  if (m_strTempName.empty()) return;
  CSignalHold hold;
  if (m_nFd >= 0) close(m_nFd);
  m_nFd = -1;
  unlink(m_strTempName.c_str());
  DisarmSignalCleanup();
  m_strTempName.clear();
}
