#include "app/rotfile_main.h"

#include <gtest/gtest.h>
#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "os/status.h"
#include "restricted_system.h"
#include "scratch_dir.h"

namespace fs = std::filesystem;

namespace {

// Exit status, standard output and standard error of a run.
using SRun = std::tuple<int, std::string, std::string>;

// Keeps what is written to it; broken, it takes nothing.
struct SStringSink final : CTextSink {
  std::string strText;
  bool bBroken = false;

  bool Write(std::string_view strMore) override {
    if (!bBroken) strText += strMore;
    return !bBroken;
  }
};

// Runs the command in-process; a broken stdout fails every write to it.
SRun RunRotfile(std::vector<const char*> args, bool bBrokenStdout = false) {
  args.insert(args.begin(), "rotfile");
  SStringSink out;
  SStringSink err;
  out.bBroken = bBrokenStdout;
  const int nStatus = RotfileMain(static_cast<int>(args.size()), args.data(), out, err);
  return {nStatus, out.strText, err.strText};
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
  std::error_code error;
  // The input is sparse, the output is not: it needs its 5 GiB.
  if ((fs::space(".", error).available >> 30) < 5) GTEST_SKIP() << "TMPDIR has under 5 GiB free";
  WriteFile("big.txt", "");
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

// An input name whose output name is too long for any common file system.
const std::string kLongName(253, 'n');

// A directory path of 4080 bytes: a name in it fits the longest path there
// is, but a temporary name (22 bytes) would not.
const std::string kDeepDir = [] {
  std::string strDir;
  for (int i = 0; i < 16; ++i) strDir += std::string(254, 'd') + "/";
  return strDir;
}();
const std::string kDeepInput = kDeepDir + "a.txt";
const std::string kDeepOutput = kDeepDir + "a.qzv";

struct SCase {
  std::vector<const char*> args;
  SRun expected;
  const char* pszOut = nullptr;  // The file written, if any: "234\n234".
  bool bBrokenStdout = false;
  std::string strIn = "abc\r\nabc";  // What the args hold when a file is written.
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
    // An input that is its own output, as hard links of one file.
    WriteFile("h.txt", "l1\r\nl2\x1atail\n");
    fs::create_hard_link("h.txt", "h.qzv");
    // An output the user made read-only (on Windows, by its attribute).
    constexpr auto kWrite =
        fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
    WriteFile("ro.txt", "abc\r\nabc");
    WriteFile("ro.qzv", "old");
    fs::permissions("ro.qzv", kWrite, fs::perm_options::remove);
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
    // A link to a directory at an output name is replaced like any link.
    fs::create_directory_symlink("busy.qzv", "dirlink.qzv");
    // Names that look like options, of things that are there.
    fs::create_directory("-d");
    fs::create_symlink("nowhere", "--dangling");
    fs::create_directories(kDeepDir);
    // One more, whose names must be quoted.
    WriteFile("t\tx.txt", "abc");
    fs::create_hard_link("t\tx.txt", "t\tx.qzv");
    // Inputs that are their outputs through a link at the output name; and
    // where that can be made, a directory that takes new files and lets
    // none be replaced.
    fs::create_directory("sub");
    for (const char* pszName :
         {"s.txt", "sub/s.txt", "sub/new.txt", "sub/old.txt", "sub/old.qzv"}) {
      WriteFile(pszName, "abc");
    }
    fs::create_symlink("s.txt", "s.qzv");
    fs::create_symlink("s.txt", "sub/s.qzv");
    MakeAppendOnly("sub", true);
    rlimit saved;
    getrlimit(RLIMIT_FSIZE, &saved);
    const rlimit small = {4096, saved.rlim_max};
#endif
    if (c.pszOut != nullptr || c.args.size() > 1) {
      for (const char* pszArg : c.args) WriteFile(Utf8Path(pszArg), c.strIn);
    }
    auto expected = Snapshot();
    if (c.pszOut != nullptr) expected[Utf8Name(Utf8Path(c.pszOut).lexically_normal())] = "234\n234";
#ifndef _WIN32
    setrlimit(RLIMIT_FSIZE, &small);
#endif
    EXPECT_EQ(RunRotfile(c.args, c.bBrokenStdout), c.expected) << testing::PrintToString(c.args);
#ifndef _WIN32
    setrlimit(RLIMIT_FSIZE, &saved);
    chmod("locked", 0755);  // For the scratch directory's removal.
    MakeAppendOnly("sub", false);
#endif
    // For the scratch directory's removal, on Windows.
    fs::permissions("ro.qzv", fs::perms::owner_write, fs::perm_options::add);
    EXPECT_EQ(Snapshot(), expected) << testing::PrintToString(c.args);
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
      // clang-format on
      // What follows a Ctrl-Z is not converted, but the user is told.
      {{"cut.txt"},
       {0, "",
        "rotfile: cut.txt: warning: the text ends at a Ctrl-Z at byte 9; the 1,233 bytes after it "
        "were not converted\n"},
       "cut.qzv",
       false,
       "abc\r\nabc\x1a" + std::string(1233, 'z')},
  // clang-format off
#ifndef _WIN32
      {{"dirlink.txt"}, kDone, "dirlink.qzv"},
      {{kDeepInput.c_str()}, kDone, kDeepOutput.c_str()},
#endif
#ifdef _WIN32
      {{"dir.qzv\\x.QZV"}, kDone, "dir.qzv/x._zv"},
#endif
      // clang-format on
  });
}

// Exit 1, one line on stderr, the directory as it was. On Windows the
// system's words differ between versions, languages and Wine, so the reason
// is built from the error code the failure must carry.
SRun Failure(const std::string& strMessage) { return {1, "", "rotfile: " + strMessage + "\n"}; }
#ifdef _WIN32
SRun Failure(const std::string& strShownName, unsigned long nError,
             const std::string& strNote = "") {
  // The message of a one-letter name, which shows as itself, less that name.
  return Failure(strShownName + CStatus::FromWindowsError("x", nError).Message().substr(1) +
                 strNote);
}
#endif
SRun NoSuchFile(const std::string& strName, const std::string& strNote = "") {
#ifdef _WIN32
  return Failure(strName, ERROR_FILE_NOT_FOUND, strNote);
#else
  return Failure(strName + ": No such file or directory" + strNote);
#endif
}

// What a missing file whose name looks like an option adds to the message,
// with the version read from the package's declaration.
const std::string kNoOptions = " (rotfile " ROTFILE_DECLARED_VERSION
                               " takes no options; run it without arguments for its usage)";

TEST(RotfileMainTest, FailuresReportTheFileAndLeaveTheDirectoryAsItWas) {
  ExpectRuns({
      {{"h.txt"}, Failure("h.qzv: is the same file as h.txt")},
      {{"--help"}, NoSuchFile("--help", kNoOptions)},
#ifdef _WIN32
      {{"/?"}, Failure("/?", ERROR_INVALID_NAME, kNoOptions)},
      {{""}, Failure("''", ERROR_PATH_NOT_FOUND)},
      {{"dir.qzv"}, Failure("dir.qzv: is a directory")},
      {{"ro.txt"}, Failure("ro.qzv: is read-only: not replaced")},
      {{"NUL"}, Failure("NUL: not a regular file")},
      {{"busy.txt"}, Failure("busy.qzv: is a directory")},
      {{"no\nsuch\x1b[31m"}, Failure("$'no\\nsuch\\033[31m'", ERROR_INVALID_NAME)},
      // A lone surrogate, as UTF-8 would hold one if it could: opening U+FFFD
      // instead would be another file.
      {{"\xed\xa0\x80.txt"}, Failure("$'\\355\\240\\200.txt'", ERROR_NO_UNICODE_TRANSLATION)},
#else
      {{""}, Failure("'': No such file or directory")},
      {{"s.txt"}, Failure("s.qzv: is the same file as s.txt")},
      {{"sub/s.txt"}, Failure("sub/s.qzv: is the same file as sub/s.txt")},
      {{"t\tx.txt"}, Failure("$'t\\tx.qzv': is the same file as $'t\\tx.txt'")},
      {{"dir.qzv"}, Failure("dir.qzv: Is a directory")},
      {{"fifo"}, Failure("fifo: not a regular file")},
      {{"-d"}, Failure("-d: Is a directory")},
      {{"--dangling"}, NoSuchFile("--dangling")},
      {{"/no/such.txt"}, NoSuchFile("/no/such.txt")},
#ifdef __linux__
      // The C libraries word this one apart ("I/O error" in musl).
      {{"mem.txt"}, Failure(CStatus::FromErrno("mem.txt", EIO).Message())},
#endif
      {{"busy.txt"}, Failure("busy.qzv: Is a directory")},
      {{"big.txt"}, Failure("big.qzv: File too large")},
      geteuid() == 0 ? SCase{{"ro.txt"}, kDone, "ro.qzv"}
                     : SCase{{"ro.txt"}, Failure("ro.qzv: is read-only: not replaced")},
      // musl says "Filename too long".
      {{kLongName.c_str()},
       Failure(CStatus::FromErrno(kLongName + ".qzv", ENAMETOOLONG).Message())},
      // A name that could mislead is quoted (more in QuotedNameTest).
      {{"no\nsuch\x1b[31m"}, Failure("$'no\\nsuch\\033[31m': No such file or directory")},
#endif
  });
}

// Any name a user can have is the one opened and the one shown, in whatever
// script; the last four characters decide as ever.
TEST(RotfileMainTest, NamesInEveryScriptAreOpenedAndShownAsTyped) {
  ExpectRuns({
      {{"日本語.txt"}, kDone, "日本語.qzv"},
      {{"한국어 파일.QZV"}, kDone, "한국어 파일._zv"},
      {{"Ωmega ☃.txt"}, kDone, "Ωmega ☃.qzv"},
      {{"emoji😀.qzv"}, kDone, "emoji😀._zv"},
      {{"cafe\u0301"}, kDone, "cafe\u0301.qzv"},
      {{"😀 gone.txt"}, NoSuchFile("😀 gone.txt")},
  });
}

#ifdef _WIN32
// A file that is replaced hands on its hidden and system attributes; a new
// output has neither. Wine keeps them where the file system takes extended
// attributes.
TEST(RotfileMainTest, AReplacedFileHandsOnItsHiddenAndSystemAttributes) {
  constexpr DWORD kHandedOn = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
  for (const DWORD nBefore :
       {INVALID_FILE_ATTRIBUTES, DWORD{FILE_ATTRIBUTE_NORMAL}, DWORD{FILE_ATTRIBUTE_HIDDEN},
        DWORD{FILE_ATTRIBUTE_SYSTEM}, kHandedOn}) {
    CScratchDir dir;
    WriteFile("notes.txt", "abc");
    if (nBefore != INVALID_FILE_ATTRIBUTES) {
      WriteFile("notes.qzv", "old");
      SetFileAttributesW(L"notes.qzv", nBefore);
      if ((GetFileAttributesW(L"notes.qzv") & kHandedOn) != (nBefore & kHandedOn)) {
        GTEST_SKIP() << "the temporary folder's file system keeps no hidden or system attribute";
      }
    }
    EXPECT_EQ(RunRotfile({"notes.txt"}), kDone);
    EXPECT_EQ(GetFileAttributesW(L"notes.qzv") & kHandedOn,
              nBefore == INVALID_FILE_ATTRIBUTES ? 0 : nBefore & kHandedOn)
        << nBefore;
  }
}
#endif

// An append-only directory takes a new output, where it is linked into place
// in one step, but lets no file be replaced: that is refused before any
// work, and nothing is left.
TEST(RootOnlyTest, AnAppendOnlyDirectoryTakesANewOutputButNoReplacement) {
  if (!CanMakeAppendOnly()) {
    GTEST_SKIP() << "runs only as root, who alone can make a directory append-only, and where "
                    "TMPDIR's file system keeps the attribute";
  }
  const SRun refused = Failure("sub/new.qzv: Operation not permitted");
  ExpectRuns({
      {{"sub/new.txt"},
       kUnnamedOutputs ? kDone : refused,
       kUnnamedOutputs ? "sub/new.qzv" : nullptr},
      {{"sub/old.txt"}, Failure("sub/old.qzv: Operation not permitted")},
  });
}

// Permission bits as POSIX has them; they do not bind root, so CI runs the
// suite once more as an ordinary user. The suite's name tells whoever sees it
// skipped why: ctest lists a skipped test by name alone.
#ifndef _WIN32
TEST(NonRootOnlyTest, PermissionFailuresReportTheFileAndLeaveTheDirectoryAsItWas) {
  if (geteuid() == 0) {
    GTEST_SKIP() << "runs only as an ordinary user: file permissions do not bind root";
  }
  ExpectRuns({
      {{"blocked.qzv"}, Failure("blocked.qzv: Permission denied")},
      {{"locked/notes.txt"}, Failure("locked/notes.qzv: Permission denied")},
  });
}

// Runs the command on pszArg in a child process on the system eWay (made
// while still root), as the user pw (the effective user only, the real one
// staying root, if bRealRoot), also in group nGroup, under umask 022, where
// no access control list can be given if bListsRefused; returns whether it
// gave expected.
bool RunsAs(EWay eWay, const passwd& pw, gid_t nGroup, const char* pszArg, const SRun& expected,
            bool bListsRefused, bool bRealRoot) {
  std::fflush(stdout);  // Else the child would write it again.
  const pid_t nPid = fork();
  if (nPid == 0) {
    if (!Restrict(eWay) || setgroups(1, &nGroup) != 0 || setgid(pw.pw_gid) != 0 ||
        setreuid(bRealRoot ? 0 : pw.pw_uid, pw.pw_uid) != 0 ||
        (bListsRefused && !RefuseAccessLists())) {
      _exit(2);
    }
    umask(022);
    const SRun run = RunRotfile({pszArg});
    std::cerr << std::get<2>(run);
    _exit(run == expected ? 0 : 1);
  }
  int nStatus = 0;
  waitpid(nPid, &nStatus, 0);
  return WIFEXITED(nStatus) && WEXITSTATUS(nStatus) == 0;
}

// What is in a directory before the user converts notes.txt there: the
// directory's and the input's modes, and what stands at the output name.
struct SPlanting {
  mode_t nDir, nInput;
  const char* pszExisting;  // "", "link", "hardlink", or the owner of a file: "own" or "root".
  mode_t nMode;
  gid_t nGroup;
  const char* pszList;  // setfacl's entries for the existing file; "d:" ones for the directory.
};

// Plants p in the working directory for the user nUser of group nUserGroup;
// the files and links planted are the user's but for "root"'s.
void Plant(const SPlanting& p, uid_t nUser, gid_t nUserGroup) {
  chmod(".", p.nDir);
  WriteFile("notes.txt", "abc");
  WriteFile("victim", "precious");
  const std::string_view strExisting = p.pszExisting;
  if (strExisting == "link") fs::create_symlink("victim", "notes.qzv");
  if (strExisting == "hardlink") fs::create_hard_link("victim", "notes.qzv");
  if (strExisting == "own" || strExisting == "root") WriteFile("notes.qzv", "planted");
  chmod("notes.txt", p.nInput);
  chmod(strExisting == "link" ? "victim" : "notes.qzv", p.nMode);
  ASSERT_EQ(chown("notes.txt", nUser, nUserGroup) | chown("victim", nUser, nUserGroup), 0);
  if (!strExisting.empty()) {
    ASSERT_EQ(lchown("notes.qzv", strExisting == "root" ? 0 : nUser, p.nGroup), 0);
  }
  if (*p.pszList != '\0') {
    const char* pszTarget = std::string_view(p.pszList).starts_with("d:") ? "." : "notes.qzv";
    ASSERT_EQ(std::system(("setfacl -m " + std::string(p.pszList) + " " + pszTarget).c_str()), 0);
  }
}

// Who may see the output. The user (nobody, also in group 4242) converts
// notes.txt in a directory, maybe with a default access control list, where
// notes.qzv is missing, a link to a file of the user's (replaced, never
// followed), a second hard link of one, or a file of the user's own or of
// root's, which only root can plant. A file of the user's own that no other
// name shares hands on its mode, group and access control list, if the user
// may give a file to that group; otherwise the output gets what any new file
// created there with the input's read and write bits gets: so it does too
// where the access control list cannot be given. Set-user-ID, set-group-ID
// and sticky bits are never handed on. A read-only output is refused as
// the effective user finds it, while the real user is root, and looked for
// in its own directory when the user works in another; a link to a
// read-only file is replaced. Each case runs on a system that makes files
// without a name, and on one that does not.
TEST(RootOnlyTest, OnlyTheUsersOwnFileHandsOnItsModeGroupAndAccessList) {
  if (geteuid() != 0) GTEST_SKIP() << "runs only as root, who alone can plant files of other users";
  const passwd* pNobody = getpwnam("nobody");
  ASSERT_NE(pNobody, nullptr);
  const gid_t nOwn = pNobody->pw_gid;
  constexpr gid_t kOther = 4242;
  constexpr char kList[] = "user::rw-\nuser:2003:r--\ngroup::---\nmask::r--\nother::---\n\n";
  struct {
    SPlanting planting;
    SRun expected;
    std::pair<mode_t, gid_t> after;  // The output's mode and group.
    const char* pszListAfter;        // What getfacl says of the output, if more than its mode.
    bool bListsRefused = false;      // No access control list can be given (a full disk).
    bool bRealRoot = false;          // The user is only the effective one.
    bool bAway = false;              // The user works in a subdirectory: "../notes.txt".
  } const kCases[] = {
      // clang-format off
      {{0777, 0600, "", 0, 0, ""}, kDone, {0600, nOwn}, ""},        {{0777, 0777, "", 0, 0, ""}, kDone, {0644, nOwn}, ""},
      {{0777, 0644, "", 0, 0, "d:g::-,d:o::-"}, kDone, {0600, nOwn}, ""},
      {{0777, 0600, "link", 0644, 0, ""}, kDone, {0600, nOwn}, ""}, {{0777, 0644, "link", 0600, kOther, ""}, kDone, {0644, nOwn}, ""},
      {{0777, 0600, "hardlink", 0664, kOther, ""}, kDone, {0600, nOwn}, ""},
      {{0777, 0644, "own", 0640, nOwn, ""}, kDone, {0640, nOwn}, ""},
      {{0777, 0644, "own", 0640, kOther, ""}, kDone, {0640, kOther}, ""},
      {{0777, 0644, "own", 0640, nOwn, "u:2003:r,g::-,m::r"}, kDone, {0640, nOwn}, kList},
      {{0777, 0644, "own", 0640, kOther, "u:2003:r,g::-,m::r"}, kDone, {0644, nOwn}, "", true},
      {{0777, 0644, "own", 07640, kOther, ""}, kDone, {0640, kOther}, ""},
      {{0777, 0644, "own", 0640, nOwn, "d:u:2003:r"}, kDone, {0640, nOwn}, ""},
      {{0777, 0644, "own", 0444, nOwn, ""}, Failure("notes.qzv: is read-only: not replaced"), {0444, nOwn}, ""},
      {{0777, 0644, "own", 0444, nOwn, ""}, Failure("notes.qzv: is read-only: not replaced"), {0444, nOwn}, "", false, true},
      {{0777, 0644, "own", 0444, nOwn, ""}, Failure("../notes.qzv: is read-only: not replaced"), {0444, nOwn}, "", false, false, true},
      {{0777, 0600, "link", 0444, 0, ""}, kDone, {0600, nOwn}, ""},
      {{0777, 0644, "own", 0640, 0, ""}, kDone, {0644, nOwn}, ""},
      {{01777, 0600, "own", 0640, nOwn, ""}, kDone, {0640, nOwn}, ""},
      {{0777, 0600, "root", 0666, kOther, ""}, kDone, {0600, nOwn}, ""},
      {{01777, 0600, "root", 0666, kOther, ""}, Failure("notes.qzv: owned by another user in a sticky directory"), {0666, kOther}, ""},
      // clang-format on
  };
  for (EWay eWay : {EWay::kAsIs, EWay::kNamedFiles}) {
    for (const auto& c : kCases) {
      if (!CanRun(eWay) || (c.bListsRefused && !CanFilterCalls())) continue;
      const std::string strCase = testing::PrintToString(std::make_tuple(
          c.planting.pszExisting, c.planting.nMode, c.planting.nGroup, c.planting.pszList,
          c.bListsRefused, c.bRealRoot, c.bAway, static_cast<int>(eWay)));
      CScratchDir dir;
      Plant(c.planting, pNobody->pw_uid, nOwn);
      fs::create_directory("away");
      fs::current_path(c.bAway ? "away" : ".");
      EXPECT_TRUE(RunsAs(eWay, *pNobody, kOther, c.bAway ? "../notes.txt" : "notes.txt", c.expected,
                         c.bListsRefused, c.bRealRoot))
          << strCase;
      fs::current_path(c.bAway ? ".." : ".");
      fs::remove("away");  // Gone before the directory is looked at.
      struct stat info = {};
      stat("notes.qzv", &info);
      EXPECT_EQ(std::make_pair(info.st_mode & 07777, info.st_gid), c.after) << strCase;
      EXPECT_EQ(Snapshot(), (std::map<std::string, std::string>{
                                {"notes.txt", "abc"},
                                {"notes.qzv", std::get<0>(c.expected) == 0 ? "234" : "planted"},
                                {"victim", "precious"}}))
          << strCase;
      ASSERT_EQ(std::system("getfacl -cn --skip-base notes.qzv > list 2>&1"), 0);
      EXPECT_EQ(ReadFile("list"), c.pszListAfter) << strCase;
    }
  }
}

// A read-only file system is said as such, to root and to a user alike,
// whatever the mode of an output there.
TEST(RootOnlyTest, AReadOnlyFileSystemIsSaidAsSuchToEveryone) {
  if (geteuid() != 0 || !CanRun(EWay::kReadOnly)) {
    GTEST_SKIP() << "runs only as root where a directory can be mounted again: not in a chroot";
  }
  const uid_t nNobody = getpwnam("nobody")->pw_uid;
  for (const passwd user : {*getpwuid(0), *getpwuid(nNobody)}) {
    for (const auto& [pszExisting, nMode] :
         {std::pair<const char*, mode_t>{"", 0}, {"own", 0644}, {"own", 0444}}) {
      CScratchDir dir;
      Plant({0777, 0644, pszExisting, nMode, user.pw_gid, ""}, user.pw_uid, user.pw_gid);
      EXPECT_TRUE(RunsAs(EWay::kReadOnly, user, user.pw_gid, "notes.txt",
                         Failure("notes.qzv: Read-only file system"), false, false))
          << user.pw_uid << " " << pszExisting << " " << std::oct << nMode;
    }
  }
}
#endif

}  // namespace
