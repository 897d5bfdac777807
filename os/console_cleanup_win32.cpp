#include "os/console_cleanup_win32.h"

#include <windows.h>

namespace {

// The handler runs on a thread of its own, so it and the main thread take
// turns through this lock.
SRWLOCK g_lock = SRWLOCK_INIT;
HANDLE g_hTempFile = nullptr;

BOOL WINAPI DeleteTempFileAndEnd(DWORD /*nCtrlType*/) {
  AcquireSRWLockExclusive(&g_lock);
  // Marked through the handle that the output file keeps open, which no
  // other process can keep from being deleted; the file goes as the ending
  // process closes it.
  if (g_hTempFile != nullptr) {
    FILE_DISPOSITION_INFO info{TRUE};
    SetFileInformationByHandle(g_hTempFile, FileDispositionInfo, &info, sizeof info);
  }
  // Not handled: the system's default handler ends the process the way the
  // event always does, so the caller sees the interruption. The lock stays
  // taken, so the main thread renames or deletes nothing in the meantime.
  return FALSE;
}

}  // namespace

CConsoleHold::CConsoleHold() { AcquireSRWLockExclusive(&g_lock); }

CConsoleHold::~CConsoleHold() { ReleaseSRWLockExclusive(&g_lock); }

void ArmConsoleCleanup(void* hTempFile) {
  g_hTempFile = hTempFile;
  // A Ctrl-C that the process was told to ignore never reaches a handler,
  // and so stays ignored.
  SetConsoleCtrlHandler(DeleteTempFileAndEnd, TRUE);
}

void DisarmConsoleCleanup() {
  SetConsoleCtrlHandler(DeleteTempFileAndEnd, FALSE);
  g_hTempFile = nullptr;
}
