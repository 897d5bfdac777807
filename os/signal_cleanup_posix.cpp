#include "os/signal_cleanup_posix.h"

#include <unistd.h>

#include <array>

namespace {

constexpr std::array kCleanupSignals = {SIGINT, SIGTERM, SIGHUP};

// Read by the handler, so kept as plain values it can use safely.
const char* volatile g_pszTempFile = nullptr;
struct sigaction g_previousActions[kCleanupSignals.size()];
struct sigaction g_previousSizeAction;

void RemoveTempFileAndDie(int nSignal) {
  const char* pszTempFile = g_pszTempFile;
  if (pszTempFile != nullptr) unlink(pszTempFile);
  // End the process the way the signal would have ended it, so the caller
  // (a shell, make) sees the interruption and not a plain exit.
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

void ArmSignalCleanup(const char* lpszTempFile) {
  g_pszTempFile = lpszTempFile;
  struct sigaction cleanup = {};
  cleanup.sa_handler = RemoveTempFileAndDie;
  sigemptyset(&cleanup.sa_mask);
  for (std::size_t i = 0; i < kCleanupSignals.size(); ++i) {
    sigaction(kCleanupSignals[i], nullptr, &g_previousActions[i]);
    // A signal the user chose to ignore (nohup) stays ignored.
    if (g_previousActions[i].sa_handler != SIG_IGN) {
      sigaction(kCleanupSignals[i], &cleanup, nullptr);
    }
  }
  struct sigaction ignore = {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  sigaction(SIGXFSZ, &ignore, &g_previousSizeAction);
}

void DisarmSignalCleanup() {
  for (std::size_t i = 0; i < kCleanupSignals.size(); ++i) {
    sigaction(kCleanupSignals[i], &g_previousActions[i], nullptr);
  }
  sigaction(SIGXFSZ, &g_previousSizeAction, nullptr);
  g_pszTempFile = nullptr;
}
