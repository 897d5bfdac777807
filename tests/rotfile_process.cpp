#include "rotfile_process.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>

extern char** environ;

pid_t StartRotfile(const char* lpszArg) {
  // The test runner may block or ignore these signals, and a child inherits
  // both; the child must meet them as a user's shell would.
  sigset_t signals;
  sigemptyset(&signals);
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  posix_spawnattr_setsigmask(&attr, &signals);
  for (int nSignal : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&signals, nSignal);
  posix_spawnattr_setsigdefault(&attr, &signals);

  char* argv[] = {const_cast<char*>(ROTFILE_BINARY), const_cast<char*>(lpszArg), nullptr};
  pid_t nPid = -1;
  const int nError = posix_spawn(&nPid, ROTFILE_BINARY, nullptr, &attr, argv, environ);
  posix_spawnattr_destroy(&attr);
  return nError == 0 ? nPid : -1;
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
