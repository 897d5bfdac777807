// Tests that run the real rotfile binary as a child process: signals, runs at
// the same moment, and a lease held by another process.
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "restricted_system.h"
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

// How a child is started: with the one argument pszArg, on the system eWay,
// with nIgnoredSignal (0 for none) ignored, and, with a gate, only once it
// reads one byte from nGateFd; its standard error goes to nErrFd when that
// is set, and its files may grow to nFileSizeLimit bytes when that is set.
// With bHoldOpens, its opens wait for AnswerHeldOpens, given nGateFd's peer.
// It runs as pUser when that is set (which takes root).
struct SChild {
  const char* pszArg;
  EWay eWay = EWay::kAsIs;
  int nIgnoredSignal = 0;
  int nGateFd = -1;
  int nErrFd = -1;
  rlim_t nFileSizeLimit = 0;
  bool bHoldOpens = false;
  const passwd* pUser = nullptr;
};

// Starts the rotfile binary as child describes, as a user's shell would:
// kTerminatingSignals unblocked and at their default actions but the one
// ignored, and no core dumps (SIGQUIT's would land in the scratch
// directory). Returns the process id.
pid_t StartRotfile(const SChild& child) {
  // A copy of the build, as CI runs it for an unprivileged user, names its
  // own binary; a cross-built binary runs under the emulator named by the
  // build, if any.
  const char* pszBinary = std::getenv("ROTFILE_BINARY");
  if (pszBinary == nullptr) pszBinary = ROTFILE_BINARY;
  char* args[] = {const_cast<char*>(ROTFILE_EMULATOR), const_cast<char*>(pszBinary),
                  const_cast<char*>(child.pszArg), nullptr};
  char** argv = *ROTFILE_EMULATOR == '\0' ? args + 1 : args;
  const pid_t nPid = fork();
  if (nPid != 0) return nPid;
  for (int nSignal : kTerminatingSignals) signal(nSignal, SIG_DFL);
  if (child.nIgnoredSignal != 0) signal(child.nIgnoredSignal, SIG_IGN);
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
  const rlimit noCore = {0, 0};
  setrlimit(RLIMIT_CORE, &noCore);
  if (child.nErrFd >= 0) dup2(child.nErrFd, STDERR_FILENO);
  const rlimit limit = {child.nFileSizeLimit, child.nFileSizeLimit};
  if (child.nFileSizeLimit != 0) setrlimit(RLIMIT_FSIZE, &limit);
  // Another user may not reach the binary by its path (a build tree of
  // root's), so it is opened first.
  const int nBinaryFd = child.pUser != nullptr ? open(argv[0], O_RDONLY | O_CLOEXEC) : -1;
  if (child.pUser != nullptr && (setgroups(0, nullptr) != 0 || setgid(child.pUser->pw_gid) != 0 ||
                                 setuid(child.pUser->pw_uid) != 0)) {
    _exit(126);
  }
  if (!Restrict(child.eWay)) _exit(126);
#ifdef __linux__
  if (child.bHoldOpens && !HoldOpens(child.nGateFd)) _exit(126);
#endif
  char chGo;
  while (child.nGateFd >= 0 && read(child.nGateFd, &chGo, 1) < 0 && errno == EINTR) {
  }
  nBinaryFd >= 0 ? fexecve(nBinaryFd, argv, environ) : execv(argv[0], argv);
  _exit(127);
}

// Waits for the child nPid and succeeds when it ended by nSignal or, where
// nSignal is 0, exited with status nExit.
::testing::AssertionResult EndsBy(pid_t nPid, int nSignal = 0, int nExit = 0) {
  int nStatus = 0;
  while (waitpid(nPid, &nStatus, 0) < 0 && errno == EINTR) {
  }
  const bool bAsExpected = nSignal == 0 ? WIFEXITED(nStatus) && WEXITSTATUS(nStatus) == nExit
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

// Writes a sparse gigabyte to strName: it costs no disk, and is still being
// converted long after the output is opened.
void WriteSparseGigabyte(const std::string& strName) {
  WriteFile(strName, "");
  fs::resize_file(strName, std::uintmax_t{1} << 30);
}

// Returns the path of the file that the child nPid writes its output to,
// as /proc shows it (a file without a name as "DIR/#NUMBER (deleted)"),
// once bytes have reached it, and describes the file in *pInfo; or an empty
// path after ten seconds.
std::string AwaitOutput(pid_t nPid, struct stat* pInfo) {
  const fs::path fds = "/proc/" + std::to_string(nPid) + "/fd";
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (std::chrono::steady_clock::now() < deadline) {
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(fds, error)) {
      std::string strTarget = fs::read_symlink(entry.path(), error).string();
      if ((strTarget.find("/.rotfile-") != std::string::npos ||
           strTarget.find("/#") != std::string::npos) &&
          stat(entry.path().c_str(), pInfo) == 0 && pInfo->st_size > 0) {
        return strTarget;
      }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return {};
}

// How a run is interrupted, or ended otherwise.
struct SInterruption {
  int nSignal;  // 0: none; the input is cut short instead, unless a limit ends the run.
  EWay eWay = EWay::kNamedFiles;
  int nIgnored = 0;
  int nDelayMs = 50;   // From the output's first bytes to the signal.
  bool bSeal = false;  // The directory is made append-only.
  rlim_t nFileSizeLimit = 0;

  // Whether the run fails (with status 1) rather than ending well or by the signal.
  bool Fails() const { return bSeal || nFileSizeLimit != 0; }

  // Whether this test can make it happen here. A named temporary file is
  // left by SIGKILL, as it is where the build makes no file without a name.
  bool CanHappen() const {
    return CanRun(eWay) && (!bSeal || CanMakeAppendOnly()) &&
           (nSignal != SIGKILL || kUnnamedOutputs);
  }

  // Returns what the run says on standard error, its temporary file being strTemp.
  std::string Message(const std::string& strTemp) const {
    if (bSeal) {
      return "rotfile: x/big.qzv: " +
             std::string(nSignal == 0 ? "Operation not permitted" : "interrupted") + " (left x/" +
             strTemp + " behind)\n";
    }
    return nFileSizeLimit != 0 ? "rotfile: x/big.qzv: File too large\n" : "";
  }
};

// The directory of the input and output is moved while the run goes on.
// Where the output has a temporary name (kNamedFiles), each signal in turn;
// then SIGTERM to a run that was started with SIGHUP ignored (as under
// nohup) and was sent SIGHUP first. SIGKILL, early and late, where it has
// none. Where no signal is sent, the input is cut short, and the run ends
// well, or a file-size limit ends it. Last, the directory is made
// append-only once the temporary file is there, so that it cannot be
// removed: the run must say so.
TEST(ProcessTest, SignalRemovesTheTemporaryFileKeepsTheOldOutputAndEndsBySignal) {
  std::vector<SInterruption> cases = {
      // clang-format off
      {SIGTERM, EWay::kNamedFiles, SIGHUP},
      {0, EWay::kNamedFiles},               {0, EWay::kAsIs},     {0, EWay::kNoProc},
      {SIGKILL, EWay::kAsIs, 0, 0},         {SIGKILL, EWay::kAsIs},
      {0, EWay::kNamedFiles, 0, 0, false, rlim_t{1} << 29},
      {0, EWay::kNamedFiles, 0, 50, true},  {SIGTERM, EWay::kNamedFiles, 0, 50, true},
      // clang-format on
  };
  for (int nSignal : kTerminatingSignals) cases.push_back({nSignal});
  for (const SInterruption& c : cases) {
    if (!c.CanHappen()) continue;
    const std::string strCase = testing::PrintToString(std::make_tuple(
        c.nSignal, static_cast<int>(c.eWay), c.nIgnored, c.bSeal, c.nFileSizeLimit));
    CScratchDir dir;
    fs::create_directory("x");
    WriteSparseGigabyte("x/big.txt");
    WriteFile("x/big.qzv", "old");
    chmod("x/big.qzv", 0644);
    const int nErrFd = open("stderr", O_WRONLY | O_CREAT | O_CLOEXEC, 0644);

    const pid_t nPid =
        StartRotfile({"x/big.txt", c.eWay, c.nIgnored, -1, nErrFd, c.nFileSizeLimit});
    ASSERT_GT(nPid, 0);
    close(nErrFd);
    struct stat outputInfo = {};
    const std::string strOutput = AwaitOutput(nPid, &outputInfo);
    const bool bNamed = strOutput.find("/.rotfile-") != std::string::npos;
    fs::rename("x", "y");
    if (c.bSeal) MakeAppendOnly("y", true);
    kill(nPid, c.nIgnored);  // Signal 0 checks that the process is there, no more.
    std::this_thread::sleep_for(std::chrono::milliseconds(c.nDelayMs));
    if (c.nSignal == 0 && c.nFileSizeLimit == 0) fs::resize_file("y/big.txt", 0);
    kill(nPid, c.nSignal);
    EXPECT_TRUE(EndsBy(nPid, c.nSignal, c.Fails() ? 1 : 0)) << strCase;
    ASSERT_FALSE(strOutput.empty()) << strCase;
    EXPECT_EQ(bNamed, c.eWay == EWay::kNamedFiles || !kUnnamedOutputs) << strCase;
    // Whoever opened a named file now would read all that follows, while the
    // output will be readable by others only once it is complete.
    EXPECT_TRUE(!bNamed || (outputInfo.st_mode & 077) == 0) << std::oct << outputInfo.st_mode;
    const std::string strTemp = fs::path(strOutput).filename();
    if (c.bSeal) MakeAppendOnly("y", false);
    EXPECT_EQ(ReadFile("stderr"), c.Message(strTemp)) << strCase;
    EXPECT_EQ(EntryNames(), (std::set<std::string>{"stderr", "y"})) << strCase;
    EXPECT_EQ(EntryNames("y"),
              (std::set<std::string>{"big.qzv", "big.txt", c.bSeal ? strTemp : "big.qzv"}))
        << strCase;
    EXPECT_EQ(fs::file_size("y/big.qzv") == 3, c.nSignal != 0 || c.Fails()) << strCase;
    EXPECT_EQ(fs::status("y/big.qzv").permissions(), fs::perms(0644)) << strCase;
  }
}

// Six runs go at the same moment, on "same.a" to "same.f", which all write
// "same.qzv" through temporary files in one directory, each removing those
// that nobody holds. Run i converts a file of one repeated letter, 'a' + i,
// into '2' + i, so the output tells which run wrote it, and must be one run's
// whole conversion. Where the files have names from the start, each one
// made is there for the others to find.
TEST(ProcessTest, SimultaneousRunsLeaveOneWholeConversion) {
  for (EWay eWay : {EWay::kAsIs, EWay::kNamedFiles}) {
    if (!CanRun(eWay)) continue;
    CScratchDir dir;
    std::set<std::string> expected = {"same.qzv"};
    int gate[2];
    ASSERT_EQ(pipe(gate), 0);
    std::vector<pid_t> pids;
    for (char chRun = 'a'; chRun < 'g'; ++chRun) {
      const std::string strIn = std::string("same.") + chRun;
      WriteFile(strIn, std::string(1 << 20, chRun));
      expected.insert(strIn);
      pids.push_back(StartRotfile({strIn.c_str(), eWay, 0, gate[0]}));
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
}

// A run killed by SIGKILL leaves its temporary file where it has a name, and
// the next run in that folder removes it; but not one that a running rotfile
// holds (this test holds its lock, as rotfile does), nor another user's, nor
// a file whose name is only like one.
TEST(ProcessTest, TheNextRunRemovesTheTemporaryFileThatAKilledRunLeft) {
  if (!CanRun(EWay::kNamedFiles)) GTEST_SKIP() << "takes seccomp, which an emulator passes not on";
  CScratchDir dir;
  WriteSparseGigabyte("big.txt");
  const pid_t nPid = StartRotfile({"big.txt", EWay::kNamedFiles});
  struct stat info = {};
  const fs::path left = fs::path(AwaitOutput(nPid, &info)).filename();
  kill(nPid, SIGKILL);
  EXPECT_TRUE(EndsBy(nPid, SIGKILL));
  std::set<std::string> kept = {".rotfile-heldheldheld",
                                ".rotfile-ABCDEFGHIJKL",
                                ".rotfile-abcdefghijklm",
                                "big.txt",
                                "small.txt",
                                "small.qzv"};
  for (const std::string& strName : kept) WriteFile(strName, "");
  const int nHeldFd = open(".rotfile-heldheldheld", O_RDONLY | O_CLOEXEC);
  ASSERT_EQ(flock(nHeldFd, LOCK_EX), 0);
  if (geteuid() == 0) {
    kept.insert(".rotfile-othersothers");
    WriteFile(".rotfile-othersothers", "");
    ASSERT_EQ(chown(".rotfile-othersothers", getpwnam("nobody")->pw_uid, 0), 0);
  }
  EXPECT_TRUE(fs::exists(left)) << left;
  EXPECT_TRUE(EndsBy(StartRotfile({"small.txt"})));
  close(nHeldFd);
  EXPECT_EQ(EntryNames(), kept);
}

// Just before the output takes its name, the old output is judged again, as
// an ordinary user's: made read-only meanwhile, it is kept and the run fails
// as it would have at the start; otherwise the output gets the mode the old
// one has then, or, where it is gone, a new file's (the input's 0600).
TEST(ProcessTest, TheOldOutputIsJudgedAgainJustBeforeItIsReplaced) {
  if (geteuid() == 0 && *ROTFILE_EMULATOR != '\0') {
    GTEST_SKIP() << "runs as an ordinary user, which root cannot make an emulator's binary";
  }
  const passwd* pUser = geteuid() == 0 ? getpwnam("nobody") : nullptr;
  const struct {
    mode_t nMode;  // What the old output is given mid-run; 0: it is removed.
    const char* pszError;
    mode_t nAfter;
  } kCases[] = {{0444, "rotfile: big.qzv: is read-only: not replaced\n", 0444},
                {0640, "", 0640},
                {0, "", 0600}};
  for (EWay eWay : {EWay::kAsIs, EWay::kNamedFiles}) {
    for (const auto& c : kCases) {
      if (!CanRun(eWay)) continue;
      CScratchDir dir;
      WriteSparseGigabyte("big.txt");
      WriteFile("big.qzv", "old");
      const int nErrFd = open("stderr", O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
      for (const char* pszName : {".", "big.txt", "big.qzv", "stderr"}) {
        chmod(pszName, *pszName == '.'                          ? 0700
                       : std::string_view(pszName) == "big.qzv" ? 0644
                                                                : 0600);
        EXPECT_TRUE(pUser == nullptr || chown(pszName, pUser->pw_uid, pUser->pw_gid) == 0);
      }
      const pid_t nPid = StartRotfile({"big.txt", eWay, 0, -1, nErrFd, 0, false, pUser});
      close(nErrFd);
      struct stat info = {};
      ASSERT_FALSE(AwaitOutput(nPid, &info).empty());
      c.nMode != 0 ? chmod("big.qzv", c.nMode) : unlink("big.qzv");
      fs::resize_file("big.txt", 0);
      EXPECT_TRUE(EndsBy(nPid, 0, *c.pszError == '\0' ? 0 : 1)) << c.nMode;
      EXPECT_EQ(ReadFile("stderr"), c.pszError) << c.nMode;
      EXPECT_EQ(EntryNames(), (std::set<std::string>{"big.qzv", "big.txt", "stderr"})) << c.nMode;
      EXPECT_EQ(ReadFile("big.qzv") == "old", *c.pszError != '\0') << c.nMode;
      EXPECT_EQ(fs::status("big.qzv").permissions(), fs::perms(c.nAfter))
          << c.nMode << " " << static_cast<int>(eWay);
    }
  }
}

#ifdef __linux__
// Without /proc the input is opened by name once more after it was looked
// at, and an editor may save by renaming a new file over it in between:
// what is there then is looked at again, and judged by its own mode and
// identity; a FIFO is refused without waiting for a writer.
TEST(RootOnlyTest, WithoutProcAnInputReplacedBeforeItsOpenIsJudgedAsTheNewFile) {
  if (!CanRun(EWay::kNoProc)) {
    GTEST_SKIP() << "runs only as root where /proc can be hidden: not in a plain chroot, not "
                    "under the sanitizers or an emulator";
  }
  // What is renamed over in.txt: a file, a FIFO, or the output under another
  // name; and every entry afterwards.
  const std::pair<std::string, std::map<std::string, std::string>> kCases[] = {
      {"file", {{"in.txt", "abc"}, {"in.qzv", "234"}, {"stderr", ""}}},
      {"fifo", {{"in.txt", "<other>"}, {"stderr", "rotfile: in.txt: not a regular file\n"}}},
      {"in.qzv",
       {{"in.txt", "xyz"},
        {"in.qzv", "xyz"},
        {"stderr", "rotfile: in.qzv: is the same file as in.txt\n"}}},
  };
  for (const auto& [strNew, after] : kCases) {
    CScratchDir dir;
    WriteFile("in.txt", "old");
    chmod("in.txt", 0604);
    if (strNew == "fifo") mkfifo("new", 0);
    if (strNew != "fifo") WriteFile("new", after.at("in.txt"));
    chmod("new", 0640);
    if (strNew == "in.qzv") fs::create_hard_link("new", "in.qzv");
    int sockets[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sockets), 0);
    const int nErrFd = open("stderr", O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    const mode_t nUmask = umask(022);
    const pid_t nPid = StartRotfile({"in.txt", EWay::kNoProc, 0, sockets[1], nErrFd, 0, true});
    umask(nUmask);
    close(nErrFd);
    close(sockets[1]);
    ASSERT_GT(nPid, 0);
    // The new file lands after the look-up (O_PATH), just before the open by name.
    AnswerHeldOpens(nPid, sockets[0], "in.txt", [](std::uint64_t nFlags) {
      if ((nFlags & O_PATH) == 0) rename("new", "in.txt");
    });
    close(sockets[0]);
    EXPECT_TRUE(EndsBy(nPid, 0, after.at("stderr").empty() ? 0 : 1)) << strNew;
    EXPECT_EQ(Snapshot(), after) << strNew;
    // A new output asks for the input's read and write bits, less the umask.
    EXPECT_TRUE(!fs::exists("in.qzv") || fs::status("in.qzv").permissions() == fs::perms(0640))
        << strNew;
  }
}
#endif

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
  const pid_t nPid = StartRotfile({"leased.txt"});
  // The lease shows the break pending once rotfile's open has met it.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (fcntl(nFd, F_GETLEASE) == F_WRLCK && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  // Held a while longer, as a slow holder would: rotfile waits on.
  std::this_thread::sleep_for(std::chrono::seconds(1));
  fcntl(nFd, F_SETLEASE, F_UNLCK);
  close(nFd);
  EXPECT_TRUE(EndsBy(nPid));
  EXPECT_EQ(ReadFile("leased.qzv"), "234");
}
#endif

}  // namespace
