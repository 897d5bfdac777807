#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <thread>

#include "rotfile_process.h"
#include "scratch_dir.h"

namespace fs = std::filesystem;

namespace {

// Returns true once a temporary file shows in dir, false after ten seconds.
bool AwaitTempFile(const fs::path& dir) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (std::chrono::steady_clock::now() < deadline) {
    for (const std::string& strName : EntryNames(dir)) {
      if (strName.starts_with(".rotfile-")) return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return false;
}

TEST(SignalTest, InterruptRemovesTheTemporaryFileKeepsTheOldOutputAndEndsBySignal) {
  for (int nSignal : {SIGINT, SIGTERM, SIGHUP}) {
    CScratchDir dir;
    // A sparse gigabyte costs no disk and is still being converted long
    // after the temporary file appears.
    WriteFile("big.txt", "");
    fs::resize_file("big.txt", std::uintmax_t{1} << 30);
    WriteFile("big.qzv", "old");

    const pid_t nPid = StartRotfile("big.txt");
    ASSERT_GT(nPid, 0);
    const bool bStarted = AwaitTempFile(dir.Path());
    kill(nPid, nSignal);
    const int nStatus = WaitForExit(nPid);

    ASSERT_TRUE(bStarted) << strsignal(nSignal);
    EXPECT_TRUE(WIFSIGNALED(nStatus) && WTERMSIG(nStatus) == nSignal)
        << strsignal(nSignal) << ": wait status " << nStatus;
    EXPECT_EQ(EntryNames(dir.Path()), (std::set<std::string>{"big.qzv", "big.txt"}))
        << strsignal(nSignal);
    EXPECT_EQ(ReadFile("big.qzv"), "old") << strsignal(nSignal);
  }
}

}  // namespace
