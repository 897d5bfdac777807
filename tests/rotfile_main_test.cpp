#include "app/rotfile_main.h"

#include <gtest/gtest.h>
#ifdef _WIN32
#include <windows.h>
#else
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "os/status.h"
#include "scratch_dir.h"

namespace fs = std::filesystem;

namespace {

struct SRun {
  int nStatus;
  std::string strOut;
  std::string strErr;
};

SRun RunRotfile(const std::vector<const char*>& args) {
  std::vector<const char*> argv = {"rotfile"};
  argv.insert(argv.end(), args.begin(), args.end());
  std::ostringstream out;
  std::ostringstream err;
  const int nStatus = RotfileMain(static_cast<int>(argv.size()), argv.data(), out, err);
  return {nStatus, out.str(), err.str()};
}

constexpr char kUsage[] =
    "\n"
    "Options:\n"
    "----------------------------------\n"
    "\n"
    "Encrypt an ascii text file to .qzv file\n"
    "\n"
    "   rotfile <filename>\n"
    "\n"
    "Decrypt an .qzv file to ._zv ascii text file\n"
    "\n"
    "   rotfile <filename.qzv>\n";

TEST(RotfileMainTest, NoArgumentPrintsTheUsageText) {
  CScratchDir dir;
  const SRun run = RunRotfile({});
  EXPECT_EQ(run.nStatus, 0);
  EXPECT_EQ(run.strOut, kUsage);
  EXPECT_EQ(run.strErr, "");
  EXPECT_TRUE(Snapshot(dir.Path()).empty());
}

TEST(RotfileMainTest, UsageThatCannotBeWrittenFails) {
  std::ostringstream out;
  out.setstate(std::ios::badbit);
  std::ostringstream err;
  const char* argv[] = {"rotfile"};
  EXPECT_EQ(RotfileMain(1, argv, out, err), 1);
  EXPECT_EQ(err.str(), "rotfile: standard output: write error\n");
}

TEST(RotfileMainTest, TwoOrMoreArgumentsDoNothing) {
  CScratchDir dir;
  WriteFile("a.txt", "abc");
  WriteFile("b.qzv", "234");
  for (const auto& args : {std::vector<const char*>{"a.txt", "b.qzv"},
                           std::vector<const char*>{"a.txt", "a.txt", "a.txt"},
                           std::vector<const char*>{"missing", "x"}}) {
    const SRun run = RunRotfile(args);
    EXPECT_EQ(run.nStatus, 0) << args[0];
    EXPECT_EQ(run.strOut + run.strErr, "") << args[0];
  }
  EXPECT_EQ(Snapshot(dir.Path()),
            (std::map<std::string, std::string>{{"a.txt", "abc"}, {"b.qzv", "234"}}));
}

TEST(RotfileMainTest, ChoosesDirectionAndOutputNameFromTheName) {
  struct {
    const char* pszIn;
    const char* pszOut;
  } const kCases[] = {
      {"qzv", "qzv.qzv"},
      {".qzv", "._zv"},
      {"notes.qzv", "notes._zv"},
      {"NOTES.QZV", "NOTES._zv"},
      {"Notes.QzV", "Notes._zv"},
      {"notes.qzvx", "notes.qzv"},
      {"notes._zv", "notes.qzv"},
      {"x.qzv.txt", "x.qzv.qzv"},
      {"-n", "-n.qzv"},
      {"old.dir/notes", "old.dir/notes.qzv"},
      {"dir.qzv/x.qzv", "dir.qzv/x._zv"},
#ifdef _WIN32
      {"old.dir\\notes", "old.dir/notes.qzv"},
      {"dir.qzv\\x.QZV", "dir.qzv/x._zv"},
      {"old.dir/..\\a.b", "a.qzv"},
#endif
  };
  for (const auto& c : kCases) {
    CScratchDir dir;
    fs::create_directory("old.dir");
    fs::create_directory("dir.qzv");
    WriteFile(c.pszIn, "abc\r\nabc");
    auto expected = Snapshot(dir.Path());
    expected[fs::path(c.pszOut).lexically_normal().string()] = "234\n234";

    const SRun run = RunRotfile({c.pszIn});
    EXPECT_EQ(run.nStatus, 0) << c.pszIn;
    EXPECT_EQ(run.strOut + run.strErr, "") << c.pszIn;
    EXPECT_EQ(Snapshot(dir.Path()), expected) << c.pszIn;
  }
}

// Mode bits and the umask are POSIX notions; a symbolic link on Windows
// needs a privilege that tests do not have.
#ifndef _WIN32
// A replaced file keeps its bits; a new output, or a link at the output name
// (replaced, never followed), gets the input's read and write bits less the
// umask.
TEST(RotfileMainTest, GivesTheOutputTheModeOfTheReplacedFileOrOfTheInput) {
  struct {
    mode_t nInput;
    const char* pszExisting;  // "file", "link" (to a file) or none.
    mode_t nExisting;
    mode_t nExpected;
  } const kCases[] = {
      {0644, "file", 0640, 0640}, {0600, nullptr, 0, 0600},   {0777, nullptr, 0, 0644},
      {0600, "link", 0600, 0600}, {0644, "link", 0600, 0644},
  };
  const mode_t nSavedUmask = umask(022);
  for (const auto& c : kCases) {
    CScratchDir dir;
    WriteFile("notes.txt", "abc");
    chmod("notes.txt", c.nInput);
    WriteFile("victim", "precious");
    if (c.pszExisting != nullptr) {
      chmod("victim", c.nExisting);
      if (std::string(c.pszExisting) == "link") fs::create_symlink("victim", "notes.qzv");
      if (std::string(c.pszExisting) == "file") fs::rename("victim", "notes.qzv");
    }
    ASSERT_EQ(RunRotfile({"notes.txt"}).nStatus, 0);
    EXPECT_FALSE(fs::is_symlink("notes.qzv"));
    EXPECT_EQ(ReadFile("notes.qzv"), "234");
    EXPECT_EQ(fs::status("notes.qzv").permissions(), fs::perms(c.nExpected)) << c.nInput;
    if (fs::exists("victim")) {
      EXPECT_EQ(ReadFile("victim"), "precious");
    }
  }
  umask(nSavedUmask);
}

#endif

#ifdef _WIN32
// The system's words differ between Windows versions, languages and Wine,
// so the expected line is built from the error code the failure must carry.
std::string SystemMessage(const char* pszFile, unsigned long nError) {
  return "rotfile: " + CStatus::FromWindowsError(pszFile, nError).Message() + "\n";
}
#endif

struct SFailure {
  std::string strArg;
  std::string strMessage;
};

// An input name whose output name is too long for any common file system.
const std::string kLongName(253, 'n');
// Bigger than the file-size limit under which the failures run, so that a
// failure found only after the conversion would show as "File too large".
const std::string kBigText(100000, 'x');

// Runs the command on each argument in a directory that holds every kind of
// trouble, and expects exit 1, the message alone, and the directory exactly
// as it was.
void ExpectFailuresLeaveTheDirectoryAsItWas(std::initializer_list<SFailure> cases) {
  for (const auto& c : cases) {
    CScratchDir dir;
    fs::create_directory("subdir");
    WriteFile("busy.txt", kBigText);
    fs::create_directories("busy.qzv/inside");
#ifndef _WIN32
    mkfifo("fifo", 0644);
    // A regular file whose first read fails: this process's unmapped page 0.
    fs::create_symlink("/proc/self/mem", "mem.txt");
    WriteFile("blocked.qzv", "234");
    chmod("blocked.qzv", 0);
    fs::create_directory("locked");
    WriteFile("locked/notes.txt", "abc");
    WriteFile("locked/notes.qzv", "old");
    chmod("locked", 0555);
    WriteFile("big.txt", kBigText);
    WriteFile("big.qzv", "old");
    WriteFile(kLongName, kBigText);
    rlimit saved;
    getrlimit(RLIMIT_FSIZE, &saved);
    rlimit small = saved;
    small.rlim_cur = 4096;
#endif
    const auto before = Snapshot(dir.Path());

#ifndef _WIN32
    setrlimit(RLIMIT_FSIZE, &small);
#endif
    const SRun run = RunRotfile({c.strArg.c_str()});
#ifndef _WIN32
    setrlimit(RLIMIT_FSIZE, &saved);
#endif
    EXPECT_EQ(run.nStatus, 1) << c.strArg;
    EXPECT_EQ(run.strOut, "") << c.strArg;
    EXPECT_EQ(run.strErr, c.strMessage) << c.strArg;
    EXPECT_EQ(Snapshot(dir.Path()), before) << c.strArg;
  }
}

TEST(RotfileMainTest, FailuresReportTheFileAndLeaveTheDirectoryAsItWas) {
  ExpectFailuresLeaveTheDirectoryAsItWas({
#ifdef _WIN32
      {"", SystemMessage("", ERROR_PATH_NOT_FOUND)},
      {"missing.txt", SystemMessage("missing.txt", ERROR_FILE_NOT_FOUND)},
      {"subdir", "rotfile: subdir: is a directory\n"},
      {"NUL", "rotfile: NUL: not a regular file\n"},
      {"busy.txt", "rotfile: busy.qzv: is a directory\n"},
      {"no\nsuch\x1b[31m", SystemMessage("no\nsuch\x1b[31m", ERROR_INVALID_NAME)},
#else
      {"", "rotfile: : No such file or directory\n"},
      {"missing.txt", "rotfile: missing.txt: No such file or directory\n"},
      {"subdir", "rotfile: subdir: Is a directory\n"},
      {"fifo", "rotfile: fifo: not a regular file\n"},
      {"mem.txt", "rotfile: mem.txt: Input/output error\n"},
      {"busy.txt", "rotfile: busy.qzv: Is a directory\n"},
      {"big.txt", "rotfile: big.qzv: File too large\n"},
      {kLongName, "rotfile: " + kLongName + ".qzv: File name too long\n"},
      {"no\nsuch\x1b[31m", "rotfile: $'no\\nsuch\\033[31m': No such file or directory\n"},
      {"it's\\\xff\xc2\x9b\xe2\x82",
       "rotfile: $'it\\'s\\\\\\377\\302\\233\\342\\202': No such file or directory\n"},
      {"na\xc3\xafve \xe2\x82\xac",
       "rotfile: na\xc3\xafve \xe2\x82\xac: No such file or directory\n"},
#endif
  });
}

// Permission bits as POSIX has them; they do not bind root.
#ifndef _WIN32
TEST(RotfileMainTest, PermissionFailuresReportTheFileAndLeaveTheDirectoryAsItWas) {
  if (geteuid() == 0) GTEST_SKIP() << "running as root, whom file permissions do not bind";
  ExpectFailuresLeaveTheDirectoryAsItWas({
      {"blocked.qzv", "rotfile: blocked.qzv: Permission denied\n"},
      {"locked/notes.txt", "rotfile: locked/notes.qzv: Permission denied\n"},
  });
}
#endif

}  // namespace
