#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "os/output_file.h"
#include "os/signal_cleanup_posix.h"
#include "os/temp_name.h"

COutputFile::~COutputFile() { Discard(); }

CStatus COutputFile::Create(const char* lpszFile) {
  m_strName = lpszFile;
  // A file being replaced keeps its permission bits; a link or a new name
  // gets 0666 less the umask, which open applies for us.
  struct stat existing;
  const bool bReplacesFile = lstat(lpszFile, &existing) == 0 && S_ISREG(existing.st_mode);

  CSignalHold hold;
  // O_EXCL never opens a file that is already there, a planted link included.
  std::string strTemp;
  for (int nTry = 0; nTry < 100 && m_nFd < 0; ++nTry) {
    strTemp = MakeTempName(m_strName);
    m_nFd = open(strTemp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (m_nFd < 0 && errno != EEXIST) return CStatus::FromErrno(m_strName, errno);
  }
  if (m_nFd < 0) return CStatus::FromErrno(m_strName, EEXIST);
  // From here on the temporary file is ours to remove.
  m_strTempName = std::move(strTemp);
  ArmSignalCleanup(m_strTempName.c_str());
  // Best effort: some file systems cannot keep modes, and refusing to write
  // there would help nobody.
  if (bReplacesFile) fchmod(m_nFd, existing.st_mode & 0777);
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
