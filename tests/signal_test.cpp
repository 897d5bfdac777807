#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "rotfile_process.h"
#include "scratch_dir.h"

namespace fs = std::filesystem;

namespace {

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

// Each signal in turn, and once SIGTERM to a run that was started with
// SIGHUP ignored (as under nohup) and was sent SIGHUP first.
TEST(SignalTest, SignalRemovesTheTemporaryFileKeepsTheOldOutputAndEndsBySignal) {
  struct SCase {
    int nSignal;
    int nIgnored;
  };
  std::vector<SCase> cases;
  for (int nSignal : kTerminatingSignals) cases.push_back({nSignal, 0});
  cases.push_back({SIGTERM, SIGHUP});
  for (const SCase& c : cases) {
    CScratchDir dir;
    // A sparse gigabyte costs no disk and is still being converted long
    // after the temporary file appears.
    WriteFile("big.txt", "");
    fs::resize_file("big.txt", std::uintmax_t{1} << 30);
    WriteFile("big.qzv", "old");
    chmod("big.qzv", 0644);

    const pid_t nPid = StartRotfile("big.txt", -1, c.nIgnored);
    ASSERT_GT(nPid, 0);
    const std::string strTemp = AwaitTempFile(dir.Path());
    struct stat tempInfo = {};
    const bool bStarted = !strTemp.empty() && stat(strTemp.c_str(), &tempInfo) == 0;
    if (c.nIgnored != 0) {
      kill(nPid, c.nIgnored);
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    kill(nPid, c.nSignal);
    const int nStatus = WaitForExit(nPid);

    ASSERT_TRUE(bStarted) << strsignal(c.nSignal);
    // Whoever opened the file now would read all that follows, while the
    // output will be readable by others only once it is complete.
    EXPECT_EQ(tempInfo.st_mode & 077, 0u) << "temporary file mode " << std::oct << tempInfo.st_mode;
    EXPECT_TRUE(WIFSIGNALED(nStatus) && WTERMSIG(nStatus) == c.nSignal)
        << strsignal(c.nSignal) << ": wait status " << nStatus;
    EXPECT_EQ(EntryNames(dir.Path()), (std::set<std::string>{"big.qzv", "big.txt"}))
        << strsignal(c.nSignal);
    EXPECT_EQ(ReadFile("big.qzv"), "old") << strsignal(c.nSignal);
  }
}

}  // namespace
