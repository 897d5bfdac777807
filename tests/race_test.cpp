#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>
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

}  // namespace
