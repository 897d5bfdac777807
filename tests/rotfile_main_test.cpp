#include "app/rotfile_main.h"

#include <gtest/gtest.h>
#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "os/status.h"
#include "scratch_dir.h"

namespace fs = std::filesystem;

namespace {

struct SRun {
  int nStatus;
  std::string strOut, strErr;
  bool operator==(const SRun&) const = default;
  friend void PrintTo(const SRun& run, std::ostream* pOut) {
    *pOut << "status " << run.nStatus << ", out " << testing::PrintToString(run.strOut) << ", err "
          << testing::PrintToString(run.strErr);
  }
};

// Runs the command in-process; a broken stdout fails every write to it.
SRun RunRotfile(std::vector<const char*> args, bool bBrokenStdout = false) {
  args.insert(args.begin(), "rotfile");
  std::ostringstream out;
  std::ostringstream err;
  if (bBrokenStdout) out.setstate(std::ios::badbit);
  const int nStatus = RotfileMain(static_cast<int>(args.size()), args.data(), out, err);
  return {nStatus, out.str(), err.str()};
}

constexpr char kUsage[] =
    "\nOptions:\n----------------------------------\n\nEncrypt an ascii text file to .qzv file\n\n"
    "   rotfile <filename>\n\nDecrypt an .qzv file to ._zv ascii text file\n\n"
    "   rotfile <filename.qzv>\n";

// No argument prints the usage text, two or more do nothing, and one names
// the input, whose last four characters choose the direction.
TEST(RotfileMainTest, TheArgumentsDecideWhatIsDone) {
  struct {
    std::vector<const char*> args;
    const char* pszOut;  // The file written, if any.
    SRun expected = {0, "", ""};
    bool bBrokenStdout = false;
  } const kCases[] = {
      {{}, nullptr, {0, kUsage, ""}},
      {{}, nullptr, {1, "", "rotfile: standard output: write error\n"}, true},
      // clang-format off
      {{"a.txt", "b.qzv"}, nullptr},      {{"a.txt", "a.txt", "a.txt"}, nullptr},
      {{"qzv"}, "qzv.qzv"},               {{".qzv"}, "._zv"},
      {{"NOTES.QZV"}, "NOTES._zv"},       {{"Notes.QzV"}, "Notes._zv"},
      {{"notes.qzvx"}, "notes.qzv"},      {{"notes._zv"}, "notes.qzv"},
      {{"x.qzv.txt"}, "x.qzv.qzv"},       {{"-n"}, "-n.qzv"},
      {{"dir.qzv/x"}, "dir.qzv/x.qzv"},
#ifdef _WIN32
      {{"dir.qzv\\x.QZV"}, "dir.qzv/x._zv"},
#endif
      // clang-format on
  };
  for (const auto& c : kCases) {
    CScratchDir dir;
    fs::create_directory("dir.qzv");
    for (const char* pszArg : c.args) WriteFile(pszArg, "abc\r\nabc");
    auto expected = Snapshot(dir.Path());
    if (c.pszOut != nullptr) expected[fs::path(c.pszOut).lexically_normal().string()] = "234\n234";

    EXPECT_EQ(RunRotfile(c.args, c.bBrokenStdout), c.expected) << testing::PrintToString(c.args);
    EXPECT_EQ(Snapshot(dir.Path()), expected) << testing::PrintToString(c.args);
  }
}

constexpr std::streamoff kGiB = std::streamoff{1} << 30;

// Offsets past 2 GiB and 4 GiB overflow a signed and an unsigned 32-bit
// count; both marks fall on a chunk edge. Bytes are planted in a sparse file
// of zeros.
TEST(RotfileMainTest, ConvertsAFileOfFiveGibibytesExactly) {
  struct SPlant {
    std::streamoff nAt;  // Where the bytes go in the input.
    std::string strIn, strOut;
  } const kPlants[] = {
      {2 * kGiB - 1, "\r\n", "\n"}, {2 * kGiB + 5, "a\r\nb", "2\n3"},
      {4 * kGiB - 1, "\rN", "\r}"}, {4 * kGiB + 7, "\r\r\n", "\r\n"},
      {5 * kGiB - 1, "z", "K"},
  };
  CScratchDir dir;
  WriteFile("big.txt", "");
  std::error_code error;
  fs::resize_file("big.txt", 5 * kGiB, error);
  if (error) GTEST_SKIP() << "the file system cannot hold a sparse 5 GiB file: " << error.message();
  {
    std::fstream file("big.txt", std::ios::binary | std::ios::in | std::ios::out);
    for (const SPlant& p : kPlants) file.seekp(p.nAt) << p.strIn;
    ASSERT_TRUE(file.flush());
  }
#ifndef _WIN32
  // A date past 2038 does not fit a 32-bit time_t either.
  const timespec after2038[2] = {{std::int64_t{1} << 32, 0}, {std::int64_t{1} << 32, 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, "big.txt", after2038, 0), 0);
#endif
  ASSERT_EQ(RunRotfile({"big.txt"}), (SRun{0, "", ""}));

  // Each plant lands where the CRs dropped before it put it: a count that
  // wrapped at a mark would move it, or fail the run.
  std::ifstream output("big.qzv", std::ios::binary);
  std::streamoff nDropped = 0;
  for (const SPlant& p : kPlants) {
    std::string strGot(p.strOut.size(), '?');
    output.seekg(p.nAt - nDropped).read(strGot.data(), std::ssize(strGot));
    EXPECT_EQ(strGot, p.strOut) << "planted at " << p.nAt;
    nDropped += std::ssize(p.strIn) - std::ssize(p.strOut);
  }
  EXPECT_EQ(fs::file_size("big.qzv"), static_cast<std::uintmax_t>(5 * kGiB - nDropped));
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
    const char* pszExisting;  // "file", "link" (to a file) or "".
    mode_t nExisting, nExpected;
  } const kCases[] = {
      {0644, "file", 0640, 0640}, {0600, "", 0, 0600},        {0777, "", 0, 0644},
      {0600, "link", 0644, 0600}, {0644, "link", 0600, 0644},
  };
  const mode_t nSavedUmask = umask(022);
  for (const auto& c : kCases) {
    CScratchDir dir;
    WriteFile("notes.txt", "abc");
    chmod("notes.txt", c.nInput);
    WriteFile("victim", "precious");
    if (*c.pszExisting != '\0') chmod("victim", c.nExisting);
    if (c.pszExisting == std::string_view("link")) fs::create_symlink("victim", "notes.qzv");
    if (c.pszExisting == std::string_view("file")) fs::rename("victim", "notes.qzv");

    ASSERT_EQ(RunRotfile({"notes.txt"}).nStatus, 0);
    EXPECT_EQ(Snapshot(dir.Path())["notes.qzv"], "234") << c.nInput;
    EXPECT_EQ(fs::status("notes.qzv").permissions(), fs::perms(c.nExpected)) << c.nInput;
    EXPECT_EQ(Snapshot(dir.Path())["victim"],
              c.pszExisting == std::string_view("file") ? "" : "precious");
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

// An input name whose output name is too long for any common file system.
const std::string kLongName(253, 'n');

// Runs the command on each argument in a directory that holds every kind of
// trouble, under a file-size limit below the inputs' size (so that a failure
// found only after the conversion would show as "File too large"), and
// expects exit 1, the message alone, and the directory exactly as it was.
void ExpectFailuresLeaveTheDirectoryAsItWas(
    std::initializer_list<std::pair<std::string, std::string>> cases) {
  const std::string strBig(100000, 'x');
  for (const auto& [strArg, strMessage] : cases) {
    CScratchDir dir;
    fs::create_directory("subdir");
    fs::create_directories("busy.qzv/inside");
    for (const std::string& strName :
         {std::string("busy.txt"), std::string("big.txt"), kLongName}) {
      WriteFile(strName, strBig);
    }
#ifndef _WIN32
    mkfifo("fifo", 0644);
    // A regular file whose first read fails: this process's unmapped page 0.
    fs::create_symlink("/proc/self/mem", "mem.txt");
    WriteFile("blocked.qzv", "234");
    chmod("blocked.qzv", 0);
    fs::create_directory("locked");
    WriteFile("locked/notes.txt", "abc");
    chmod("locked", 0555);
    WriteFile("big.qzv", "old");
    rlimit saved;
    getrlimit(RLIMIT_FSIZE, &saved);
    const rlimit small = {4096, saved.rlim_max};
#endif
    const auto before = Snapshot(dir.Path());
#ifndef _WIN32
    setrlimit(RLIMIT_FSIZE, &small);
#endif
    EXPECT_EQ(RunRotfile({strArg.c_str()}), (SRun{1, "", strMessage})) << strArg;
#ifndef _WIN32
    setrlimit(RLIMIT_FSIZE, &saved);
#endif
    EXPECT_EQ(Snapshot(dir.Path()), before) << strArg;
  }
}

TEST(RotfileMainTest, FailuresReportTheFileAndLeaveTheDirectoryAsItWas) {
  ExpectFailuresLeaveTheDirectoryAsItWas({
#ifdef _WIN32
      {"", SystemMessage("", ERROR_PATH_NOT_FOUND)},
      {"subdir", "rotfile: subdir: is a directory\n"},
      {"NUL", "rotfile: NUL: not a regular file\n"},
      {"busy.txt", "rotfile: busy.qzv: is a directory\n"},
      {"no\nsuch\x1b[31m", SystemMessage("no\nsuch\x1b[31m", ERROR_INVALID_NAME)},
#else
      {"", "rotfile: : No such file or directory\n"},
      {"subdir", "rotfile: subdir: Is a directory\n"},
      {"fifo", "rotfile: fifo: not a regular file\n"},
      {"mem.txt", "rotfile: mem.txt: Input/output error\n"},
      {"busy.txt", "rotfile: busy.qzv: Is a directory\n"},
      {"big.txt", "rotfile: big.qzv: File too large\n"},
      {kLongName, "rotfile: " + kLongName + ".qzv: File name too long\n"},
      // Control characters and bytes that do not print are quoted; UTF-8 is not.
      {"no\nsuch\x1b[31m", "rotfile: $'no\\nsuch\\033[31m': No such file or directory\n"},
      {"it's\\\xff\xc2\x9b\xe2\x82",
       "rotfile: $'it\\'s\\\\\\377\\302\\233\\342\\202': No such file or directory\n"},
      {"na\xc3\xafve \xe2\x82\xac",
       "rotfile: na\xc3\xafve \xe2\x82\xac: No such file or directory\n"},
#endif
  });
}

// Permission bits as POSIX has them; they do not bind root, so CI runs the
// suite once more as an ordinary user.
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
