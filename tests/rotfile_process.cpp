#include "rotfile_process.h"

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

pid_t StartRotfile(const char* lpszArg, int nGateFd, int nIgnoredSignal) {
  // A copy of the build, as CI runs it for an unprivileged user, names its
  // own binary; a cross-built binary runs under the emulator named by the
  // build, if any.
  const char* pszBinary = std::getenv("ROTFILE_BINARY");
  if (pszBinary == nullptr) pszBinary = ROTFILE_BINARY;
  char* args[] = {const_cast<char*>(ROTFILE_EMULATOR), const_cast<char*>(pszBinary),
                  const_cast<char*>(lpszArg), nullptr};
  char** argv = *ROTFILE_EMULATOR == '\0' ? args + 1 : args;
  const pid_t nPid = fork();
  if (nPid != 0) return nPid;
  // The test runner may block or ignore these signals, and a child inherits
  // both; the child must meet them as a user's shell would.
  for (int nSignal : kTerminatingSignals) signal(nSignal, SIG_DFL);
  if (nIgnoredSignal != 0) signal(nIgnoredSignal, SIG_IGN);
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
  // SIGQUIT dumps core; the core file would land in the scratch directory.
  const rlimit noCore = {0, 0};
  setrlimit(RLIMIT_CORE, &noCore);
  char chGo;
  while (nGateFd >= 0 && read(nGateFd, &chGo, 1) < 0 && errno == EINTR) {
  }
  execv(argv[0], argv);
  _exit(127);
}

int WaitForExit(pid_t nPid) {
  int nStatus = 0;
  while (waitpid(nPid, &nStatus, 0) < 0 && errno == EINTR) {
  }
  return nStatus;
}

std::set<std::string> EntryNames(const std::filesystem::path& dir) {
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    names.insert(entry.path().filename().string());
  }
  return names;
}
