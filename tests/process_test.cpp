// Tests that run the real rotfile binary as a child process: signals, runs at
// the same moment, and a lease held by another process.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "scratch_dir.h"

namespace fs = std::filesystem;

namespace {

// The signals that end a process by default and that rotfile must catch to
// remove its temporary file (macOS has no SIGPOLL).
constexpr int kTerminatingSignals[] = {
    SIGINT,  SIGTERM, SIGHUP,  SIGQUIT,   SIGPIPE, SIGALRM,
    SIGUSR1, SIGUSR2, SIGXCPU, SIGVTALRM, SIGPROF,
#ifdef SIGPOLL
    SIGPOLL,
#endif
};

// Starts the rotfile binary with the one argument lpszArg, as a user's shell
// would: kTerminatingSignals unblocked and at their default actions but
// nIgnoredSignal (0 for none), which is ignored, and no core dumps (SIGQUIT's
// would land in the scratch directory). With a gate, the child first waits to
// read one byte from nGateFd. Returns the process id.
pid_t StartRotfile(const char* lpszArg, int nGateFd = -1, int nIgnoredSignal = 0) {
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
  for (int nSignal : kTerminatingSignals) signal(nSignal, SIG_DFL);
  if (nIgnoredSignal != 0) signal(nIgnoredSignal, SIG_IGN);
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
  const rlimit noCore = {0, 0};
  setrlimit(RLIMIT_CORE, &noCore);
  char chGo;
  while (nGateFd >= 0 && read(nGateFd, &chGo, 1) < 0 && errno == EINTR) {
  }
  execv(argv[0], argv);
  _exit(127);
}

// Waits for the child nPid and succeeds when it ended by nSignal or, where
// nSignal is 0, exited with status 0.
::testing::AssertionResult EndsBy(pid_t nPid, int nSignal = 0) {
  int nStatus = 0;
  while (waitpid(nPid, &nStatus, 0) < 0 && errno == EINTR) {
  }
  const bool bAsExpected = nSignal == 0 ? WIFEXITED(nStatus) && WEXITSTATUS(nStatus) == 0
                                        : WIFSIGNALED(nStatus) && WTERMSIG(nStatus) == nSignal;
  if (bAsExpected) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "wait status " << nStatus;
}

// Returns the names of the entries directly in dir.
std::set<std::string> EntryNames(const fs::path& dir = ".") {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir)) names.insert(entry.path().filename());
  return names;
}

// Returns the name of the temporary file once it shows in dir, or an empty
// name after ten seconds.
std::string AwaitTempFile(const fs::path& dir) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (std::chrono::steady_clock::now() < deadline) {
    for (const std::string& strName : EntryNames(dir)) {
      if (strName.starts_with(".rotfile-")) return strName;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return {};
}

// The directory of the input and output is moved while the run goes on.
// Then each signal in turn; then SIGTERM to a run that was started with
// SIGHUP ignored (as under nohup) and was sent SIGHUP first; last, no signal:
// the input is cut short, and the run ends well.
TEST(ProcessTest, SignalRemovesTheTemporaryFileKeepsTheOldOutputAndEndsBySignal) {
  std::vector<std::pair<int, int>> cases;  // The signal, and one ignored before it.
  for (int nSignal : kTerminatingSignals) cases.emplace_back(nSignal, 0);
  cases.emplace_back(SIGTERM, SIGHUP);
  cases.emplace_back(0, 0);
  for (const auto& [nSignal, nIgnored] : cases) {
    CScratchDir dir;
    fs::create_directory("x");
    // A sparse gigabyte costs no disk and is still being converted long
    // after the temporary file appears.
    WriteFile("x/big.txt", "");
    fs::resize_file("x/big.txt", std::uintmax_t{1} << 30);
    WriteFile("x/big.qzv", "old");
    chmod("x/big.qzv", 0644);

    const pid_t nPid = StartRotfile("x/big.txt", -1, nIgnored);
    ASSERT_GT(nPid, 0);
    const std::string strTemp = AwaitTempFile("x");
    struct stat tempInfo = {};
    const bool bStarted = !strTemp.empty() && stat(("x/" + strTemp).c_str(), &tempInfo) == 0;
    fs::rename("x", "y");
    kill(nPid, nIgnored);  // Signal 0 checks that the process is there, no more.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    if (nSignal == 0) fs::resize_file("y/big.txt", 0);
    kill(nPid, nSignal);
    EXPECT_TRUE(EndsBy(nPid, nSignal)) << strsignal(nSignal);
    ASSERT_TRUE(bStarted) << strsignal(nSignal);
    // Whoever opened the file now would read all that follows, while the
    // output will be readable by others only once it is complete.
    EXPECT_EQ(tempInfo.st_mode & 077, 0U) << "temporary file mode " << std::oct << tempInfo.st_mode;
    EXPECT_EQ(EntryNames(), std::set<std::string>{"y"}) << strsignal(nSignal);
    EXPECT_EQ(EntryNames("y"), (std::set<std::string>{"big.qzv", "big.txt"})) << strsignal(nSignal);
    EXPECT_EQ(fs::file_size("y/big.qzv") == 3, nSignal != 0) << strsignal(nSignal);
    EXPECT_EQ(fs::status("y/big.qzv").permissions(), fs::perms(0644)) << strsignal(nSignal);
  }
}

// Six runs go at the same moment, on "same.a" to "same.f", which all write
// "same.qzv" through temporary files in one directory. Run i converts a file
// of one repeated letter, 'a' + i, into '2' + i, so the output tells which
// run wrote it, and must be one run's whole conversion.
TEST(ProcessTest, SimultaneousRunsLeaveOneWholeConversion) {
  CScratchDir dir;
  std::set<std::string> expected = {"same.qzv"};
  int gate[2];
  ASSERT_EQ(pipe(gate), 0);
  std::vector<pid_t> pids;
  for (char chRun = 'a'; chRun < 'g'; ++chRun) {
    const std::string strIn = std::string("same.") + chRun;
    WriteFile(strIn, std::string(1 << 20, chRun));
    expected.insert(strIn);
    pids.push_back(StartRotfile(strIn.c_str(), gate[0]));
  }
  EXPECT_EQ(write(gate[1], "gggggg", 6), 6);
  close(gate[0]);
  close(gate[1]);
  for (pid_t nPid : pids) EXPECT_TRUE(EndsBy(nPid));
  EXPECT_EQ(EntryNames(), expected);
  const std::string strOut = ReadFile("same.qzv");
  EXPECT_TRUE(strOut == std::string(1 << 20, strOut[0]) && strOut[0] >= '2' && strOut[0] <= '7')
      << "same.qzv is not one run's whole conversion";
}

#ifdef F_SETLEASE
// A file server (Samba, NFS) holds a lease on the input: the open waits until
// the holder lets go, as cat's does, instead of failing at once. Leases are
// Linux's.
TEST(ProcessTest, InputUnderALeaseIsReadOnceTheLeaseIsGivenUp) {
  CScratchDir dir;
  WriteFile("leased.txt", "abc");
  const int nFd = open("leased.txt", O_RDWR);
  // The holder is told of a break by SIGIO (SIGPOLL), whose default would end
  // the test; the children get the default back.
  signal(SIGIO, SIG_IGN);
  if (fcntl(nFd, F_SETLEASE, F_WRLCK) != 0) {
    close(nFd);
    GTEST_SKIP() << "this file system grants no lease: " << strerror(errno);
  }
  const pid_t nPid = StartRotfile("leased.txt");
  // The lease shows the break pending once rotfile's open has met it.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (fcntl(nFd, F_GETLEASE) == F_WRLCK && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  fcntl(nFd, F_SETLEASE, F_UNLCK);
  close(nFd);
  EXPECT_TRUE(EndsBy(nPid));
  EXPECT_EQ(ReadFile("leased.qzv"), "234");
}
#endif

}  // namespace
