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

#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "os/status.h"
#include "scratch_dir.h"

namespace fs = std::filesystem;

namespace {

// Exit status, standard output and standard error of a run.
using SRun = std::tuple<int, std::string, std::string>;

// Runs the command in-process; a broken stdout fails every write to it.
SRun RunRotfile(std::vector<const char*> args, bool bBrokenStdout = false) {
  args.insert(args.begin(), "rotfile");
  std::ostringstream out;
  std::ostringstream err;
  if (bBrokenStdout) out.setstate(std::ios::badbit);
  const int nStatus = RotfileMain(static_cast<int>(args.size()), args.data(), out, err);
  return {nStatus, out.str(), err.str()};
}

const SRun kDone = {0, "", ""};

constexpr char kUsage[] =
    "\nOptions:\n----------------------------------\n\nEncrypt an ascii text file to .qzv file\n\n"
    "   rotfile <filename>\n\nDecrypt an .qzv file to ._zv ascii text file\n\n"
    "   rotfile <filename.qzv>\n";

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
  std::fstream file("big.txt", std::ios::binary | std::ios::in | std::ios::out);
  for (const SPlant& p : kPlants) file.seekp(p.nAt) << p.strIn;
  ASSERT_TRUE(file.flush());
  file.close();  // Windows opens no file that another handle may write.
#ifndef _WIN32
  // A date past 2038 does not fit a 32-bit time_t either.
  const timespec after2038[2] = {{std::int64_t{1} << 32, 0}, {std::int64_t{1} << 32, 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, "big.txt", after2038, 0), 0);
#endif
  ASSERT_EQ(RunRotfile({"big.txt"}), kDone);

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

    ASSERT_EQ(RunRotfile({"notes.txt"}), kDone);
    EXPECT_EQ(Snapshot(dir.Path())["notes.qzv"], "234") << c.nInput;
    EXPECT_EQ(fs::status("notes.qzv").permissions(), fs::perms(c.nExpected)) << c.nInput;
    EXPECT_EQ(Snapshot(dir.Path())["victim"],
              c.pszExisting == std::string_view("file") ? "" : "precious");
  }
  umask(nSavedUmask);
}
#endif

// An input name whose output name is too long for any common file system.
const std::string kLongName(253, 'n');

struct SCase {
  std::vector<const char*> args;
  SRun expected;
  const char* pszOut = nullptr;  // The file written, if any: the args hold "abc\r\nabc".
  bool bBrokenStdout = false;
};

// Runs the command for each case in a directory that holds every kind of
// trouble, under a file-size limit below the size of the inputs there (so a
// failure found only after the conversion would show as "File too large"),
// and expects its output, and the directory as it was but for the file it
// writes.
void ExpectRuns(std::initializer_list<SCase> cases) {
  for (const SCase& c : cases) {
    CScratchDir dir;
    fs::create_directories("busy.qzv/inside");
    fs::create_directory("dir.qzv");
    for (const std::string& strName :
         {std::string("busy.txt"), std::string("big.txt"), kLongName}) {
      WriteFile(strName, std::string(100000, 'x'));
    }
#ifndef _WIN32
    mkfifo("fifo", 0644);
    // A regular file whose first read fails: this process's unmapped page 0
    // (Linux's /proc).
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
    if (c.pszOut != nullptr || c.args.size() > 1) {
      for (const char* pszArg : c.args) WriteFile(pszArg, "abc\r\nabc");
    }
    auto expected = Snapshot(dir.Path());
    if (c.pszOut != nullptr) expected[fs::path(c.pszOut).lexically_normal().string()] = "234\n234";
#ifndef _WIN32
    setrlimit(RLIMIT_FSIZE, &small);
#endif
    EXPECT_EQ(RunRotfile(c.args, c.bBrokenStdout), c.expected) << testing::PrintToString(c.args);
#ifndef _WIN32
    setrlimit(RLIMIT_FSIZE, &saved);
    chmod("locked", 0755);  // For the scratch directory's removal.
#endif
    EXPECT_EQ(Snapshot(dir.Path()), expected) << testing::PrintToString(c.args);
  }
}

// No argument prints the usage text, two or more do nothing, and one names
// the input, whose last four characters choose the direction.
TEST(RotfileMainTest, TheArgumentsDecideWhatIsDone) {
  ExpectRuns({
      {{}, {0, kUsage, ""}},
      {{}, {1, "", "rotfile: standard output: write error\n"}, nullptr, true},
      // clang-format off
      {{"a.txt", "b.qzv"}, kDone},              {{"a.txt", "a.txt", "a.txt"}, kDone},
      {{"qzv"}, kDone, "qzv.qzv"},              {{".qzv"}, kDone, "._zv"},
      {{"NOTES.QZV"}, kDone, "NOTES._zv"},      {{"Notes.QzV"}, kDone, "Notes._zv"},
      {{"notes.qzvx"}, kDone, "notes.qzv"},     {{"notes._zv"}, kDone, "notes.qzv"},
      {{"x.qzv.txt"}, kDone, "x.qzv.qzv"},      {{"-n"}, kDone, "-n.qzv"},
      {{"dir.qzv/x"}, kDone, "dir.qzv/x.qzv"},
#ifdef _WIN32
      {{"dir.qzv\\x.QZV"}, kDone, "dir.qzv/x._zv"},
#endif
      // clang-format on
  });
}

// Exit 1, one line on stderr, the directory as it was. On Windows the
// system's words differ between versions, languages and Wine, so the line is
// built from the error code the failure must carry.
SRun Failure(const std::string& strMessage) { return {1, "", "rotfile: " + strMessage + "\n"}; }
#ifdef _WIN32
SRun Failure(const char* pszFile, unsigned long nError) {
  return Failure(CStatus::FromWindowsError(pszFile, nError).Message());
}
#endif

TEST(RotfileMainTest, FailuresReportTheFileAndLeaveTheDirectoryAsItWas) {
  ExpectRuns({
#ifdef _WIN32
      {{""}, Failure("", ERROR_PATH_NOT_FOUND)},
      {{"dir.qzv"}, Failure("dir.qzv: is a directory")},
      {{"NUL"}, Failure("NUL: not a regular file")},
      {{"busy.txt"}, Failure("busy.qzv: is a directory")},
      {{"no\nsuch\x1b[31m"}, Failure("no\nsuch\x1b[31m", ERROR_INVALID_NAME)},
#else
      {{""}, Failure(": No such file or directory")},
      {{"dir.qzv"}, Failure("dir.qzv: Is a directory")},
      {{"fifo"}, Failure("fifo: not a regular file")},
#ifdef __linux__
      // The C libraries word this one apart ("I/O error" in musl).
      {{"mem.txt"}, Failure(CStatus::FromErrno("mem.txt", EIO).Message())},
#endif
      {{"busy.txt"}, Failure("busy.qzv: Is a directory")},
      {{"big.txt"}, Failure("big.qzv: File too large")},
      // musl says "Filename too long".
      {{kLongName.c_str()},
       Failure(CStatus::FromErrno(kLongName + ".qzv", ENAMETOOLONG).Message())},
      // Control characters and bytes that do not print are quoted; UTF-8 is not.
      {{"no\nsuch\x1b[31m"}, Failure("$'no\\nsuch\\033[31m': No such file or directory")},
      {{"it's\\\xff\xc2\x9b\xe2\x82"},
       Failure("$'it\\'s\\\\\\377\\302\\233\\342\\202': No such file or directory")},
      {{"na\xc3\xafve \xe2\x82\xac"},
       Failure("na\xc3\xafve \xe2\x82\xac: No such file or directory")},
#endif
  });
}

// Permission bits as POSIX has them; they do not bind root, so CI runs the
// suite once more as an ordinary user.
#ifndef _WIN32
TEST(RotfileMainTest, PermissionFailuresReportTheFileAndLeaveTheDirectoryAsItWas) {
  if (geteuid() == 0) GTEST_SKIP() << "running as root, whom file permissions do not bind";
  ExpectRuns({
      {{"blocked.qzv"}, Failure("blocked.qzv: Permission denied")},
      {{"locked/notes.txt"}, Failure("locked/notes.qzv: Permission denied")},
  });
}
#endif

}  // namespace
