#include "os/signal_cleanup_posix.h"

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>

namespace {

// Every signal whose default action ends the process and that a handler can
// catch, apart from the faults a program raises on itself (SIGSEGV and the
// like) and SIGXFSZ, which is ignored instead while an output is written.
constexpr std::array kCleanupSignals = {
    SIGINT,    SIGTERM, SIGHUP,  SIGQUIT,   SIGPIPE, SIGALRM,
    SIGUSR1,   SIGUSR2, SIGXCPU, SIGVTALRM, SIGPROF,
#ifdef SIGPOLL
    SIGPOLL,
#endif
#ifdef SIGPWR
    SIGPWR,
#endif
#ifdef SIGSTKFLT
    SIGSTKFLT,
#endif
};

// Read by the handler, so kept as plain values it can use safely. The name
// is relative to the directory, so the file is found even when the directory
// has been moved since it was created.
volatile sig_atomic_t g_nDirFd = -1;
const char* volatile g_pszTempName = nullptr;
const char* volatile g_pszNotice = nullptr;
struct sigaction g_previousActions[kCleanupSignals.size()];

void RemoveTempFileAndDie(int nSignal) {
  const char* pszTempName = g_pszTempName;
  if (pszTempName != nullptr && unlinkat(g_nDirFd, pszTempName, 0) != 0 && errno != ENOENT) {
    const char* pszNotice = g_pszNotice;
    // Nothing can be done about a notice that cannot be written.
    [[maybe_unused]] const ssize_t nWritten =
        write(STDERR_FILENO, pszNotice, std::strlen(pszNotice));
  }
  // End the process the way the signal would have ended it (with a core
  // dump for SIGQUIT, where those are enabled), so the caller (a shell,
  // make) sees the interruption and not a plain exit. The signal is blocked
  // while this handler runs and arrives again as soon as it returns.
  signal(nSignal, SIG_DFL);
  raise(nSignal);
}

}  // namespace

CSignalHold::CSignalHold() {
  sigset_t held;
  sigemptyset(&held);
  for (int nSignal : kCleanupSignals) sigaddset(&held, nSignal);
  sigprocmask(SIG_BLOCK, &held, &m_previousMask);
}

CSignalHold::~CSignalHold() { sigprocmask(SIG_SETMASK, &m_previousMask, nullptr); }

// One call per signal both installs the handler and fetches the action it
// replaces: every run of the command pays for these calls.
void ArmSignalCleanup(int nDirFd, const char* lpszTempName, const char* lpszNotice) {
  g_nDirFd = nDirFd;
  g_pszTempName = lpszTempName;
  g_pszNotice = lpszNotice;
  struct sigaction cleanup = {};
  cleanup.sa_handler = RemoveTempFileAndDie;
  sigemptyset(&cleanup.sa_mask);
  for (std::size_t i = 0; i < kCleanupSignals.size(); ++i) {
    sigaction(kCleanupSignals[i], &cleanup, &g_previousActions[i]);
    // A signal the user chose to ignore (nohup) stays ignored. It is held
    // meanwhile, so none can reach the handler before SIG_IGN is back.
    if (g_previousActions[i].sa_handler == SIG_IGN) {
      sigaction(kCleanupSignals[i], &g_previousActions[i], nullptr);
    }
  }
}

void DisarmSignalCleanup() {
  for (std::size_t i = 0; i < kCleanupSignals.size(); ++i) {
    sigaction(kCleanupSignals[i], &g_previousActions[i], nullptr);
  }
  g_pszTempName = nullptr;
}

CFileSizeSignalIgnored::CFileSizeSignalIgnored() {
  struct sigaction ignore = {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  sigaction(SIGXFSZ, &ignore, &m_previousAction);
}

CFileSizeSignalIgnored::~CFileSizeSignalIgnored() {
  sigaction(SIGXFSZ, &m_previousAction, nullptr);
}
