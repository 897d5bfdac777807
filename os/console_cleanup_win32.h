#ifndef ROTFILE_OS_CONSOLE_CLEANUP_WIN32_H_
#define ROTFILE_OS_CONSOLE_CLEANUP_WIN32_H_

// While it lives, a console control handler (Ctrl-C, Ctrl-Break, closing the
// console) waits before it acts. Creating, renaming or deleting the temporary
// file and telling the cleanup about it happen under one hold, so the handler
// never finds the two out of step. Holds do not nest.
class CConsoleHold {
 public:
  CConsoleHold();
  ~CConsoleHold();
  CConsoleHold(const CConsoleHold&) = delete;
  CConsoleHold& operator=(const CConsoleHold&) = delete;
};

// Arranges for the file open as hTempFile (a HANDLE with DELETE access) to be
// deleted when Ctrl-C, Ctrl-Break or closing the console ends the process.
// REQUIRES: a CConsoleHold is alive; nothing is armed yet.
void ArmConsoleCleanup(void* hTempFile);

// Undoes ArmConsoleCleanup. REQUIRES: a CConsoleHold is alive.
void DisarmConsoleCleanup();

#endif  // ROTFILE_OS_CONSOLE_CLEANUP_WIN32_H_
