#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "rotfile_process.h"
#include "scratch_dir.h"

namespace {

struct SJob {
  std::string strIn, strOut, strText, strConverted;
};

// Run i converts a file of one repeated letter; letters 'a' to 'p' become
// '2' to 'A', so every run's output is told apart from every other's.
SJob MakeJob(int i, const std::string& strIn, const std::string& strOut, std::size_t nSize) {
  return {strIn, strOut, std::string(nSize, static_cast<char>('a' + i)),
          std::string(nSize, static_cast<char>('2' + i))};
}

// Starts every job, lets them all go at the same moment, waits for all, and
// expects each to succeed.
void RunAllAtOnce(const std::vector<SJob>& jobs) {
  for (const SJob& job : jobs) WriteFile(job.strIn, job.strText);
  int gate[2];
  ASSERT_EQ(pipe(gate), 0);
  std::vector<pid_t> pids;
  pids.reserve(jobs.size());
  for (const SJob& job : jobs) pids.push_back(StartRotfile(job.strIn.c_str(), gate[0]));
  const std::string strGo(jobs.size(), 'g');
  EXPECT_EQ(write(gate[1], strGo.data(), strGo.size()), static_cast<ssize_t>(strGo.size()));
  close(gate[0]);
  close(gate[1]);
  for (std::size_t i = 0; i < pids.size(); ++i) {
    ASSERT_GT(pids[i], 0) << jobs[i].strIn;
    const int nStatus = WaitForExit(pids[i]);
    EXPECT_TRUE(WIFEXITED(nStatus) && WEXITSTATUS(nStatus) == 0)
        << jobs[i].strIn << ": wait status " << nStatus;
  }
}

TEST(RaceTest, SimultaneousRunsOnDifferentFilesAreAllExact) {
  CScratchDir dir;
  std::vector<SJob> jobs;
  std::set<std::string> expected;
  for (int i = 0; i < 16; ++i) {
    const std::string strStem = "file" + std::to_string(i);
    jobs.push_back(MakeJob(i, strStem + ".txt", strStem + ".qzv", 300000));
    expected.insert({jobs.back().strIn, jobs.back().strOut});
  }
  RunAllAtOnce(jobs);
  for (const SJob& job : jobs) EXPECT_TRUE(ReadFile(job.strOut) == job.strConverted) << job.strOut;
  EXPECT_EQ(EntryNames(dir.Path()), expected);
}

TEST(RaceTest, RunsWritingTheSameOutputLeaveOneWholeConversion) {
  CScratchDir dir;
  std::vector<SJob> jobs;
  std::set<std::string> expected = {"same.qzv"};
  // "same.a", "same.b", ... all have the output name "same.qzv".
  for (int i = 0; i < 6; ++i) {
    jobs.push_back(
        MakeJob(i, "same." + std::string(1, static_cast<char>('a' + i)), "same.qzv", 4 << 20));
    expected.insert(jobs.back().strIn);
  }
  RunAllAtOnce(jobs);
  const std::string strResult = ReadFile("same.qzv");
  bool bWhole = false;
  for (const SJob& job : jobs) bWhole = bWhole || strResult == job.strConverted;
  EXPECT_TRUE(bWhole) << "same.qzv is not one run's conversion (" << strResult.size() << " bytes)";
  EXPECT_EQ(EntryNames(dir.Path()), expected);
}

// A file server (Samba, NFS) holds a lease on the input: the open waits until
// the holder lets go, as cat's does, instead of failing at once.
TEST(RaceTest, InputUnderALeaseIsReadOnceTheLeaseIsGivenUp) {
  CScratchDir dir;
  WriteFile("leased.txt", "abc");
  const int nFd = open("leased.txt", O_RDWR);
  ASSERT_GE(nFd, 0);
  // The holder is told of a break by SIGIO, whose default would end the test.
  struct sigaction ignore = {}, saved;
  ignore.sa_handler = SIG_IGN;
  sigaction(SIGIO, &ignore, &saved);
  if (fcntl(nFd, F_SETLEASE, F_WRLCK) != 0) {
    close(nFd);
    sigaction(SIGIO, &saved, nullptr);
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
  const int nStatus = WaitForExit(nPid);
  sigaction(SIGIO, &saved, nullptr);

  EXPECT_TRUE(WIFEXITED(nStatus) && WEXITSTATUS(nStatus) == 0) << "wait status " << nStatus;
  EXPECT_EQ(ReadFile("leased.qzv"), "234");
}

}  // namespace
