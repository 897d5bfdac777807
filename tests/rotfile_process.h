#ifndef ROTFILE_TESTS_ROTFILE_PROCESS_H_
#define ROTFILE_TESTS_ROTFILE_PROCESS_H_

#include <signal.h>
#include <sys/types.h>

#include <filesystem>
#include <set>
#include <string>

// The signals that end a process by default and that rotfile must catch to
// remove its temporary file.
inline constexpr int kTerminatingSignals[] = {
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

// Starts the rotfile binary (ROTFILE_BINARY from the environment, else the
// one built here) with the one argument lpszArg in the working directory,
// with kTerminatingSignals unblocked and at their default actions except
// nIgnoredSignal (0 for none), which is ignored, and without core dumps;
// returns its process id, or -1 when it cannot be started. With a gate, the
// child first waits to read one byte from nGateFd.
pid_t StartRotfile(const char* lpszArg, int nGateFd = -1, int nIgnoredSignal = 0);

// Waits for the child nPid to end and returns its wait status.
int WaitForExit(pid_t nPid);

// Returns the names of the entries directly in dir.
std::set<std::string> EntryNames(const std::filesystem::path& dir);

#endif  // ROTFILE_TESTS_ROTFILE_PROCESS_H_
