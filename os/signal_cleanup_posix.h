#ifndef ROTFILE_OS_SIGNAL_CLEANUP_POSIX_H_
#define ROTFILE_OS_SIGNAL_CLEANUP_POSIX_H_

#include <signal.h>

// While it lives, the signals that the cleanup handles are held back; one
// that arrives meanwhile is delivered when it ends. Creating or renaming the
// temporary file and telling the cleanup about it happen under one hold, so
// a signal never finds the two out of step.
class CSignalHold {
 public:
  CSignalHold();
  ~CSignalHold();
  CSignalHold(const CSignalHold&) = delete;
  CSignalHold& operator=(const CSignalHold&) = delete;

 private:
  sigset_t m_previousMask;
};

// While it lives, SIGXFSZ is ignored, so that a file-size limit fails the
// write that meets it instead of ending the process.
class CFileSizeSignalIgnored {
 public:
  CFileSizeSignalIgnored();
  ~CFileSizeSignalIgnored();
  CFileSizeSignalIgnored(const CFileSizeSignalIgnored&) = delete;
  CFileSizeSignalIgnored& operator=(const CFileSizeSignalIgnored&) = delete;

 private:
  struct sigaction m_previousAction;
};

// Arranges for the file lpszTempName in the directory nDirFd to be removed, and the process then
// ended by the same signal, when a catchable signal whose default action ends the process arrives
// (SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE, SIGALRM, SIGUSR1 and the like); a signal ignored at
// the time stays ignored. Should the file not be removed, lpszNotice (a line) is written to
// standard error. The signals that a program raises on itself through a fault (SIGSEGV, SIGBUS,
// SIGILL, SIGFPE, SIGTRAP, SIGSYS, SIGABRT), the real-time signals and SIGKILL are not handled.
// The strings and the directory must outlive the arrangement. REQUIRES: a CSignalHold is alive;
// nothing is armed yet.
void ArmSignalCleanup(int nDirFd, const char* lpszTempName, const char* lpszNotice);

// Undoes ArmSignalCleanup and restores the earlier signal handling.
// REQUIRES: a CSignalHold is alive.
void DisarmSignalCleanup();

#endif  // ROTFILE_OS_SIGNAL_CLEANUP_POSIX_H_
