#ifndef ROTFILE_OS_OUTPUT_FILE_H_
#define ROTFILE_OS_OUTPUT_FILE_H_

#include <cstddef>
#include <optional>
#include <string>

#include "os/input_file.h"
#include "os/status.h"
#ifndef _WIN32
#include "os/handed_on_posix.h"
#include "os/signal_cleanup_posix.h"
#endif

// The reason given for an existing output that the user may not write.
inline constexpr char kReadOnlyReason[] = "is read-only: not replaced";

// A new file that appears under its name only when it is complete. Until
// Commit, and whenever anything fails, the final name keeps what it had.
//
// On Linux, where the file system allows it, the file is made without a name
// in the output's directory (O_TMPFILE): nobody else can open it, and if the
// process dies, even by SIGKILL, it vanishes. Commit links it straight to the
// final name, or, when a file is there, to a temporary name that it renames
// over the final one at once; only a process killed between those two steps
// leaves that name. Elsewhere the bytes go to a named temporary
// file in the output's directory, which Commit renames over the final name,
// and which is removed on failure, on destruction without a commit, and when
// a catchable signal ends the process (on Windows: Ctrl-C, Ctrl-Break or
// closing the console window). On Windows that file stays open, shared with
// no one, until it is renamed or deleted through that very handle, so no
// other process (a virus scanner, say) can keep either from happening; while
// another process holds the final name, the rename is tried for about a
// second. A temporary file that cannot be removed is named in the failure.
// On POSIX a temporary file is locked while in use, and Create removes those
// that a killed run left in the output's directory.
class COutputFile {
 public:
  COutputFile() = default;
  ~COutputFile();
  COutputFile(const COutputFile&) = delete;
  COutputFile& operator=(const COutputFile&) = delete;

  // Makes the new file for lpszFile, after refusing an output name that is
  // the source file itself (by any link), a directory, too long for its
  // directory, another user's file in a sticky directory, one that the
  // directory's or the file's own attributes (append-only, immutable) keep
  // from being replaced, or a file the user may not write (on Windows, one
  // with the read-only attribute), for kReadOnlyReason. On POSIX the
  // directory is opened once here, and the file, the rename and the cleanup
  // all work in it, wherever it is moved meanwhile; a read-only file system
  // is said as such, to everyone. The output keeps the
  // permission bits, the group and the access control list of a file it
  // replaces, if that file is the user's own regular file with one link and
  // its group one the user may give;
  // otherwise it gets what the system gives any new file created there with
  // the source's read and write bits (the umask, or the directory's default
  // access control list, applied). Windows has no modes: the file takes the
  // directory's access control list, and the hidden and system attributes of
  // a file it replaces. REQUIRES: no file is open yet; source is open and
  // stays so until Commit.
  CStatus Create(const char* lpszFile, const CInputFile& source);

  // Writes all nSize bytes at pData, or fails and abandons the file.
  // REQUIRES: Create succeeded and neither Commit nor Abandon has been called.
  CStatus Write(const char* pData, std::size_t nSize);

  // Puts the complete file in place under the final name, after judging that
  // name again as Create did (on POSIX): the output then gets what the file
  // there hands on at that moment, or is refused for what Create refuses.
  // REQUIRES: Create succeeded; called at most once, and not after Abandon.
  CStatus Commit();

  // Gives the file up after failure, which it returns, noting any temporary
  // file that could not be removed.
  CStatus Abandon(const CStatus& failure);

 private:
  // Closes the file and removes its temporary name, if it has one; returns
  // false when that name could not be removed.
  bool Discard();

  // Returns the temporary file's path as a message shows it.
  std::string TempPath() const;

  std::string m_strName;
#ifdef _WIN32
  std::wstring m_strWideName;  // m_strName as the wide file functions take it.
  std::string m_strTemp;       // The temporary file's path, as messages name it.
  void* m_hFile = nullptr;     // The temporary file's HANDLE; null when none is ours.
#else
  int m_nDirFd = -1;                      // The output's directory.
  int m_nFd = -1;                         // The new file, open for writing.
  const CInputFile* m_pSource = nullptr;  // What the output is made from.
  // How Commit gives a file made without a name its name; kNamed when the
  // file has a temporary name from the start.
  enum class ELink { kNamed, kEmptyPath, kProcFd } m_eLink = ELink::kNamed;
  // The temporary name in the directory; empty when none is ours.
  std::string m_strTempName;
  // What the file it replaces hands on, as last looked at. A file without a
  // name has been given it (none: what a new file gets); a named temporary
  // file is given it once in place, or else the mode and group a new file
  // gets there.
  std::optional<SHandedOn> m_handedOn;
  unsigned m_nNewMode = 0;
  gid_t m_nNewGroup = 0;
  std::string m_strNotice;  // What a signal that cannot remove the temporary file says.
  CFileSizeSignalIgnored m_sizeSignalIgnored;

  // Returns the path of strEntry, an entry of the output's directory, as a
  // message shows it.
  std::string PathInDirectory(const std::string& strEntry) const;

  // Makes the named temporary file, for an output that asks for nAskedMode
  // when new. REQUIRES: Create has opened the directory and no file yet.
  CStatus CreateNamed(unsigned nAskedMode);

  // Gives the file without a name the name pszName in the directory, in the
  // way m_eLink says, as linkat does.
  // REQUIRES: m_eLink is not kNamed.
  int LinkUnnamed(const char* pszName) const;

  // Puts the named temporary file in place as pszName, with its final mode.
  CStatus RenameIntoPlace(const char* pszName);

  // Gives the file without a name the name pszName, replacing what is there.
  CStatus LinkIntoPlace(const char* pszName);

  // Gives the file without a name handedOn, or else what a new file gets.
  // REQUIRES: m_eLink is not kNamed.
  void HandOnAfresh(const std::optional<SHandedOn>& handedOn);
#endif
};

#endif  // ROTFILE_OS_OUTPUT_FILE_H_
