#ifndef ROTFILE_OS_CONSOLE_CLEANUP_WIN32_H_
#define ROTFILE_OS_CONSOLE_CLEANUP_WIN32_H_

#include <string>

// While it lives, a console control handler (Ctrl-C, Ctrl-Break, closing the
// console) waits before it acts. Creating or renaming the temporary file and
// telling the cleanup about it happen under one hold, so the handler never
// finds the two out of step. Holds do not nest.
class CConsoleHold {
 public:
  CConsoleHold();
  ~CConsoleHold();
  CConsoleHold(const CConsoleHold&) = delete;
  CConsoleHold& operator=(const CConsoleHold&) = delete;
};

// Arranges for strTempFile to be removed when Ctrl-C, Ctrl-Break or closing
// the console ends the process. The file must have been opened with
// FILE_SHARE_DELETE. REQUIRES: a CConsoleHold is alive; nothing is armed yet.
void ArmConsoleCleanup(const std::wstring& strTempFile);

// Undoes ArmConsoleCleanup. REQUIRES: a CConsoleHold is alive.
void DisarmConsoleCleanup();

#endif  // ROTFILE_OS_CONSOLE_CLEANUP_WIN32_H_
