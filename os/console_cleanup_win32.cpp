#include "os/console_cleanup_win32.h"

#include <windows.h>

namespace {

// The handler runs on a thread of its own, so it and the main thread take
// turns through this lock.
SRWLOCK g_lock = SRWLOCK_INIT;
std::wstring g_strTempFile;

BOOL WINAPI RemoveTempFileAndEnd(DWORD /*nCtrlType*/) {
  AcquireSRWLockExclusive(&g_lock);
  // The file is still open for writing; shared for deletion, it goes as soon
  // as the ending process closes it.
  if (!g_strTempFile.empty()) DeleteFileW(g_strTempFile.c_str());
  // Not handled: the system's default handler ends the process the way the
  // event always does, so the caller sees the interruption. The lock stays
  // taken, so the main thread creates or renames nothing in the meantime.
  return FALSE;
}

}  // namespace

CConsoleHold::CConsoleHold() { AcquireSRWLockExclusive(&g_lock); }

CConsoleHold::~CConsoleHold() { ReleaseSRWLockExclusive(&g_lock); }

void ArmConsoleCleanup(const std::wstring& strTempFile) {
  g_strTempFile = strTempFile;
  // A Ctrl-C that the process was told to ignore never reaches a handler,
  // and so stays ignored.
  SetConsoleCtrlHandler(RemoveTempFileAndEnd, TRUE);
}

void DisarmConsoleCleanup() {
  SetConsoleCtrlHandler(RemoveTempFileAndEnd, FALSE);
  g_strTempFile.clear();
}
