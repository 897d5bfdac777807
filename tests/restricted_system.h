#ifndef ROTFILE_TESTS_RESTRICTED_SYSTEM_H_
#define ROTFILE_TESTS_RESTRICTED_SYSTEM_H_

// The system as a test makes it for rotfile: without files that have no
// name, without /proc, with an append-only directory, read-only, or with each
// open held until the test lets it go on. Each takes what Linux offers, and some take
// root.
#ifdef __linux__
#include <fcntl.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <poll.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/uio.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <functional>
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
// name (O_TMPFILE fails as on a file system without it), one without /proc,
// or one where the working directory's file system is mounted read-only.
enum class EWay { kAsIs, kNamedFiles, kNoProc, kReadOnly };

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

// Holds every later openat until a listener lets it go on, and writes the
// listener's descriptor number to nFd; returns whether it could. Root may
// do so without PR_SET_NO_NEW_PRIVS.
inline bool HoldOpens(int nFd) {
  sock_filter filter[] = {
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_openat, 0, 1),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_USER_NOTIF),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
  };
  const sock_fprog program = {std::size(filter), filter};
  const int nListener = static_cast<int>(
      syscall(SYS_seccomp, SECCOMP_SET_MODE_FILTER, SECCOMP_FILTER_FLAG_NEW_LISTENER, &program));
  return nListener >= 0 && write(nFd, &nListener, sizeof nListener) == sizeof nListener;
}

// Lets every open held by HoldOpens in the process nPid go on, until that
// process ends (it is left to be waited for) or ten seconds have passed (it
// is killed). The listener's number is read from nFd, which is then written
// a byte that lets the process go on. An open of strName (the name as the
// call was given it) first calls onOpen with its flags.
inline void AnswerHeldOpens(pid_t nPid, int nFd, const std::string& strName,
                            const std::function<void(std::uint64_t)>& onOpen) {
  int nListener = -1;
  if (read(nFd, &nListener, sizeof nListener) == sizeof nListener) {
    const int nPidFd = static_cast<int>(syscall(SYS_pidfd_open, nPid, 0));
    nListener = static_cast<int>(syscall(SYS_pidfd_getfd, nPidFd, nListener, 0));
    close(nPidFd);
  }
  send(nFd, "g", 1, MSG_NOSIGNAL);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  siginfo_t ended = {};
  while (waitid(P_PID, nPid, &ended, WEXITED | WNOHANG | WNOWAIT) == 0 && ended.si_pid == 0 &&
         std::chrono::steady_clock::now() < deadline) {
    pollfd ready = {nListener, POLLIN, 0};
    seccomp_notif held = {};
    if (poll(&ready, 1, 10) <= 0 || (ready.revents & POLLIN) == 0 ||
        ioctl(nListener, SECCOMP_IOCTL_NOTIF_RECV, &held) != 0) {
      continue;
    }
    std::string strHeld(strName.size() + 1, '\0');
    const iovec local = {strHeld.data(), strHeld.size()};
    // NOLINTNEXTLINE(performance-no-int-to-ptr): an address in the other process.
    const iovec remote = {reinterpret_cast<void*>(static_cast<std::uintptr_t>(held.data.args[1])),
                          strHeld.size()};
    if (process_vm_readv(nPid, &local, 1, &remote, 1, 0) > 0 && strHeld == strName + '\0') {
      onOpen(held.data.args[2]);
    }
    seccomp_notif_resp answer = {held.id, 0, 0, SECCOMP_USER_NOTIF_FLAG_CONTINUE};
    ioctl(nListener, SECCOMP_IOCTL_NOTIF_SEND, &answer);
  }
  kill(nPid, SIGKILL);
  close(nListener);
}

// Hides /proc under an empty file system, for this process alone.
inline bool HideProc() {
  return unshare(CLONE_NEWNS) == 0 &&
         mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
         mount("none", "/proc", "tmpfs", 0, nullptr) == 0;
}

// Mounts the working directory again, read-only, where this process alone
// sees it, and enters it there.
inline bool MountWorkingDirectoryReadOnly() {
  const std::filesystem::path here = std::filesystem::current_path();
  return unshare(CLONE_NEWNS) == 0 &&
         mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
         mount(here.c_str(), here.c_str(), nullptr, MS_BIND, nullptr) == 0 &&
         mount(nullptr, here.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) == 0 &&
         chdir(here.c_str()) == 0;
}

// Whether a child of this process can change its mounts as change does: that
// takes root and a root directory that is a mount point (a plain chroot has
// none).
inline bool CanInChild(bool (*change)()) {
  const pid_t nPid = fork();
  if (nPid == 0) _exit(change() ? 0 : 1);
  int nStatus = 1;
  waitpid(nPid, &nStatus, 0);
  return WIFEXITED(nStatus) && WEXITSTATUS(nStatus) == 0;
}

// Whether /proc can be hidden here from a program that does without it; the
// sanitizers' runtime reads /proc.
inline bool CanHideProc() {
#ifdef __SANITIZE_ADDRESS__
  return false;
#endif
  static const bool bCan = CanInChild(HideProc);
  return bCan;
}
#endif

// Whether the calls of the rotfile this test runs can be filtered: Linux's
// seccomp, which an emulator does not pass on.
inline bool CanFilterCalls() {
#ifdef __linux__
  return *ROTFILE_EMULATOR == '\0';
#else
  return false;
#endif
}

// Whether this test can run rotfile on the system eWay.
inline bool CanRun(EWay eWay) {
#ifdef __linux__
  if (eWay == EWay::kReadOnly) {
    static const bool bCanMountReadOnly = CanInChild(MountWorkingDirectoryReadOnly);
    return bCanMountReadOnly;
  }
  return eWay == EWay::kAsIs || (CanFilterCalls() && (eWay == EWay::kNamedFiles || CanHideProc()));
#else
  return eWay == EWay::kAsIs;
#endif
}

// Makes this process, and what it starts, see the system eWay; returns
// whether it could. REQUIRES: CanRun(eWay).
inline bool Restrict([[maybe_unused]] EWay eWay) {
#ifdef __linux__
  if (eWay == EWay::kReadOnly) return MountWorkingDirectoryReadOnly();
  return eWay == EWay::kAsIs || (eWay == EWay::kNamedFiles ? RefuseUnnamedFiles() : HideProc());
#else
  return true;
#endif
}

#endif  // ROTFILE_TESTS_RESTRICTED_SYSTEM_H_
