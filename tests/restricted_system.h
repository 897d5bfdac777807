#ifndef ROTFILE_TESTS_RESTRICTED_SYSTEM_H_
#define ROTFILE_TESTS_RESTRICTED_SYSTEM_H_

// The system as a test makes it for rotfile: without files that have no
// name, without /proc, or with an append-only directory. Each takes what
// Linux offers, and some take root.
#ifdef __linux__
#include <fcntl.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <iterator>
#include <string>

#include "scratch_dir.h"

// Whether outputs are made without a name until they are complete, as the
// Linux build does, but for the one that tries the portable way.
#if defined(__linux__) && !defined(ROTFILE_PORTABLE_FILES)
inline constexpr bool kUnnamedOutputs = true;
#else
inline constexpr bool kUnnamedOutputs = false;
#endif

// Makes the directory dir append-only, or no longer so; returns whether that
// could be done: it takes root, Linux's chattr, and a file system that keeps
// the attribute.
inline bool MakeAppendOnly([[maybe_unused]] const std::string& strDir, [[maybe_unused]] bool bOn) {
#ifdef __linux__
  const std::string strCommand = std::string("chattr ") + (bOn ? "+a " : "-a ") + strDir;
  return std::system((strCommand + " 2>/dev/null").c_str()) == 0;
#else
  return false;
#endif
}

// Whether a directory can be made append-only here.
inline bool CanMakeAppendOnly() {
  static const bool bCan = [] {
    const CScratchDir dir;
    return MakeAppendOnly(".", true) && MakeAppendOnly(".", false);
  }();
  return bCan;
}

// The system rotfile runs on: as it is, one that makes no file without a
// name (O_TMPFILE fails as on a file system without it), or one without
// /proc.
enum class EWay { kAsIs, kNamedFiles, kNoProc };

#ifdef __linux__
// Filters every later system call of this process through filter, which
// needs no privilege once new ones are given up.
template <std::size_t N>
bool FilterCalls(sock_filter (&filter)[N]) {
  const sock_fprog program = {N, filter};
  return prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 &&
         prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) == 0;
}

// Makes every later open with O_TMPFILE fail with EOPNOTSUPP. The flag is
// looked for in the low half of openat's third argument (little-endian).
inline bool RefuseUnnamedFiles() {
  constexpr unsigned kTmpfileOnly = O_TMPFILE & ~O_DIRECTORY;
  sock_filter filter[] = {
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_openat, 0, 3),
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, args[2])),
      BPF_JUMP(BPF_JMP | BPF_JSET | BPF_K, kTmpfileOnly, 0, 1),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | EOPNOTSUPP),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
  };
  return FilterCalls(filter);
}

// Makes every later fsetxattr fail with ENOSPC, as on a full file system:
// no access control list can be given.
inline bool RefuseAccessLists() {
  sock_filter filter[] = {
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_fsetxattr, 0, 1),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | ENOSPC),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
  };
  return FilterCalls(filter);
}

// Hides /proc under an empty file system, for this process alone.
inline bool HideProc() {
  return unshare(CLONE_NEWNS) == 0 &&
         mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
         mount("none", "/proc", "tmpfs", 0, nullptr) == 0;
}

// Whether /proc can be hidden here from a program that does without it:
// that takes root and a root directory that is a mount point (a plain chroot
// has none); the sanitizers' runtime reads /proc.
inline bool CanHideProc() {
#ifdef __SANITIZE_ADDRESS__
  return false;
#endif
  static const bool bCan = [] {
    const pid_t nPid = fork();
    if (nPid == 0) _exit(HideProc() ? 0 : 1);
    int nStatus = 1;
    waitpid(nPid, &nStatus, 0);
    return WIFEXITED(nStatus) && WEXITSTATUS(nStatus) == 0;
  }();
  return bCan;
}
#endif

// Whether this test can run rotfile on the system eWay: an emulator filters
// no calls.
inline bool CanRun(EWay eWay) {
#ifdef __linux__
  const bool bNative = *ROTFILE_EMULATOR == '\0';
  return eWay == EWay::kAsIs || (bNative && (eWay == EWay::kNamedFiles || CanHideProc()));
#else
  return eWay == EWay::kAsIs;
#endif
}

// Makes this process, and what it starts, see the system eWay; returns
// whether it could. REQUIRES: CanRun(eWay).
inline bool Restrict([[maybe_unused]] EWay eWay) {
#ifdef __linux__
  return eWay == EWay::kAsIs || (eWay == EWay::kNamedFiles ? RefuseUnnamedFiles() : HideProc());
#else
  return true;
#endif
}

#endif  // ROTFILE_TESTS_RESTRICTED_SYSTEM_H_
