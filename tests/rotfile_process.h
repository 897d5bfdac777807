#ifndef ROTFILE_TESTS_ROTFILE_PROCESS_H_
#define ROTFILE_TESTS_ROTFILE_PROCESS_H_

#include <sys/types.h>

#include <filesystem>
#include <set>
#include <string>

// Starts the rotfile binary with the one argument lpszArg in the working
// directory, with SIGINT, SIGTERM and SIGHUP unblocked and at their default
// actions; returns its process id, or -1 when it cannot be started. With a
// gate, the child first waits to read one byte from nGateFd.
pid_t StartRotfile(const char* lpszArg, int nGateFd = -1);

// Waits for the child nPid to end and returns its wait status.
int WaitForExit(pid_t nPid);

// Returns the names of the entries directly in dir.
std::set<std::string> EntryNames(const std::filesystem::path& dir);

#endif  // ROTFILE_TESTS_ROTFILE_PROCESS_H_
