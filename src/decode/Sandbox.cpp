// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// The seccomp filter is written by hand as classic BPF: an architecture check, then one small
// block per allowed call, some with an argument check; anything unlisted stops the process.
#include "decode/Sandbox.h"

#include <fcntl.h>
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sched.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstddef>
#include <cstring>
#include <vector>

namespace snapsalvager::decode {
namespace {

#if defined(__x86_64__)
constexpr uint32_t kArch = AUDIT_ARCH_X86_64;
#elif defined(__aarch64__)
constexpr uint32_t kArch = AUDIT_ARCH_AARCH64;
#else
#error "the decode helper's sandbox knows x86-64 and arm64"
#endif

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_UNDEFINED__)
#define SNAPSALVAGER_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(undefined_behavior_sanitizer)
#define SNAPSALVAGER_SANITIZED 1
#endif
#endif

#ifdef SNAPSALVAGER_SANITIZED
// The sanitizers' runtime reads /proc and more when it reports; a refused call must not hide
// its report behind a kill, and it needs the address space it reserves.
constexpr uint32_t kUnlisted = SECCOMP_RET_ERRNO | ENOSYS;
constexpr bool kLimitAddressSpace = false;
#else
constexpr uint32_t kUnlisted = SECCOMP_RET_KILL_PROCESS;
constexpr bool kLimitAddressSpace = true;
#endif
constexpr uint32_t kAllow = SECCOMP_RET_ALLOW;
constexpr uint32_t kRefuse = SECCOMP_RET_ERRNO | EPERM;
constexpr uint32_t kNoAccess = SECCOMP_RET_ERRNO | EACCES;

constexpr uint32_t ArgLow(int i) { return static_cast<uint32_t>(offsetof(seccomp_data, args) + 8 * i); }

class TFilter {
 public:
  TFilter() {
    Load(offsetof(seccomp_data, arch));
    code_.push_back(BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, kArch, 1, 0));
    code_.push_back(BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_KILL_PROCESS));
    Load(offsetof(seccomp_data, nr));
#if defined(__x86_64__)
    // x32 calls carry this bit and would slip past the numbers below.
    code_.push_back(BPF_JUMP(BPF_JMP | BPF_JGE | BPF_K, 0x40000000, 0, 1));
    code_.push_back(BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_KILL_PROCESS));
#endif
  }

  void Answer(long nr, uint32_t action) {
    code_.push_back(BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, static_cast<uint32_t>(nr), 0, 1));
    code_.push_back(BPF_STMT(BPF_RET | BPF_K, action));
  }
  void Allow(long nr) { Answer(nr, kAllow); }

  // Allowed when argument arg equals one of values; otherwise refused.
  void AllowIfArgIn(long nr, int arg, std::vector<uint32_t> values) {
    const auto n = static_cast<uint8_t>(values.size());
    code_.push_back(BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, static_cast<uint32_t>(nr), 0, static_cast<uint8_t>(n + 3)));
    Load(ArgLow(arg));
    for (uint8_t i = 0; i < n; ++i) {
      code_.push_back(BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, values[i], static_cast<uint8_t>(n - i), 0));
    }
    code_.push_back(BPF_STMT(BPF_RET | BPF_K, kRefuse));
    code_.push_back(BPF_STMT(BPF_RET | BPF_K, kAllow));
  }
  // Allowed when (argument & mask) is zero (clear) or not zero (!clear); otherwise refused.
  void AllowIfBits(long nr, int arg, uint32_t mask, bool clear) {
    code_.push_back(BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, static_cast<uint32_t>(nr), 0, 4));
    Load(ArgLow(arg));
    const uint8_t skip = 1, stay = 0;
    code_.push_back(BPF_JUMP(BPF_JMP | BPF_JSET | BPF_K, mask, clear ? stay : skip, clear ? skip : stay));
    code_.push_back(BPF_STMT(BPF_RET | BPF_K, kRefuse));
    code_.push_back(BPF_STMT(BPF_RET | BPF_K, kAllow));
  }

  bool Install() {
    code_.push_back(BPF_STMT(BPF_RET | BPF_K, kUnlisted));
    sock_fprog program{static_cast<unsigned short>(code_.size()), code_.data()};
    return ::prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program, 0, 0) == 0;
  }

 private:
  void Load(uint32_t offset) { code_.push_back(BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offset)); }
  std::vector<sock_filter> code_;
};

bool SetLimit(int resource, rlim_t soft, rlim_t hard) {
  const rlimit limit{soft, hard};
  return ::setrlimit(resource, &limit) == 0;
}

}  // namespace

bool EnterSandbox(const TSandboxLimits& limits, std::string* error) {
  auto fail = [error](const char* what) {
    if (error) *error = std::string(what) + ": " + std::strerror(errno);
    return false;
  };
  // Files the helper inherited beyond the standard three are not its business.
  for (int fd = 3; fd < 1024; ++fd) ::close(fd);
  if (!SetLimit(RLIMIT_CORE, 0, 0)) return fail("core limit");
  if (!SetLimit(RLIMIT_FSIZE, 0, 0)) return fail("file size limit");
  if (!SetLimit(RLIMIT_NOFILE, static_cast<rlim_t>(limits.OpenFiles), static_cast<rlim_t>(limits.OpenFiles))) {
    return fail("open files limit");
  }
  if (kLimitAddressSpace && limits.MemoryBytes > 0 &&
      !SetLimit(RLIMIT_AS, static_cast<rlim_t>(limits.MemoryBytes), static_cast<rlim_t>(limits.MemoryBytes))) {
    return fail("memory limit");
  }
  // The per-file budget is set before each file (LimitCpuForNextFile); the hard limit is the
  // helper's whole life, after which its client starts another.
  if (!SetLimit(RLIMIT_CPU, 60, 4 * 3600)) return fail("CPU limit");
  if (::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0) return fail("no new privileges");
  if (::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0) != 0) return fail("not dumpable");

  TFilter f;
  // Reading what it is handed, answering on standard output (and errors on standard error).
  f.Allow(SYS_read);
  f.Allow(SYS_pread64);
  f.Allow(SYS_readv);
  f.Allow(SYS_lseek);
  f.Allow(SYS_close);
  f.Allow(SYS_fstat);
  f.AllowIfBits(SYS_newfstatat, 3, AT_EMPTY_PATH, false);  // glibc's fstat; no path looked up
  f.AllowIfArgIn(SYS_recvmsg, 0, {STDIN_FILENO});
  f.AllowIfArgIn(SYS_sendto, 0, {STDOUT_FILENO});
  f.AllowIfArgIn(SYS_write, 0, {STDOUT_FILENO, STDERR_FILENO});
  f.AllowIfArgIn(SYS_writev, 0, {STDOUT_FILENO, STDERR_FILENO});
  // Memory, never executable.
  f.AllowIfBits(SYS_mmap, 2, PROT_EXEC, true);
  f.AllowIfBits(SYS_mprotect, 2, PROT_EXEC, true);
  f.Allow(SYS_munmap);
  f.Allow(SYS_mremap);
  f.Allow(SYS_brk);
  f.Allow(SYS_madvise);
  // Threads some decoders start inside the process (they share this filter); no new process.
  f.AllowIfBits(SYS_clone, 0, CLONE_THREAD, false);
  f.Answer(SYS_clone3, SECCOMP_RET_ERRNO | ENOSYS);  // its flags lie in memory: glibc falls back to clone
  f.Allow(SYS_futex);
  f.Allow(SYS_set_robust_list);
  f.Allow(SYS_rseq);
  f.Allow(SYS_sched_yield);
  f.Allow(SYS_sched_getaffinity);
  // Time, limits and its own signals (abort raises SIGABRT at itself).
  f.Allow(SYS_clock_gettime);
  f.Allow(SYS_gettimeofday);
  f.Allow(SYS_nanosleep);
  f.Allow(SYS_clock_nanosleep);
  f.Allow(SYS_getrusage);
  f.AllowIfArgIn(SYS_prlimit64, 0, {0});
  f.Allow(SYS_getpid);
  f.Allow(SYS_gettid);
  f.AllowIfArgIn(SYS_tgkill, 0, {static_cast<uint32_t>(::getpid())});
  f.Allow(SYS_rt_sigaction);
  f.Allow(SYS_rt_sigprocmask);
  f.Allow(SYS_rt_sigreturn);
  f.Allow(SYS_sigaltstack);
  f.Allow(SYS_getrandom);
  f.Allow(SYS_exit);
  f.Allow(SYS_exit_group);
  // Probes libraries make and survive being refused: files, terminals, the network.
  f.Answer(SYS_openat, kNoAccess);
#ifdef SYS_open
  f.Answer(SYS_open, kNoAccess);
#endif
  f.Answer(SYS_ioctl, SECCOMP_RET_ERRNO | ENOTTY);
  f.Answer(SYS_socket, kNoAccess);
  f.Answer(SYS_sysinfo, kRefuse);
  if (!f.Install()) return fail("system call filter");
  return true;
}

bool LimitCpuForNextFile(int seconds) {
  rusage used{};
  if (::getrusage(RUSAGE_SELF, &used) != 0) return false;
  rlimit limit{};
  if (::getrlimit(RLIMIT_CPU, &limit) != 0) return false;
  const rlim_t spent = static_cast<rlim_t>(used.ru_utime.tv_sec + used.ru_stime.tv_sec + 1);
  limit.rlim_cur = std::min<rlim_t>(limit.rlim_max, spent + static_cast<rlim_t>(seconds));
  return ::setrlimit(RLIMIT_CPU, &limit) == 0;
}

}  // namespace snapsalvager::decode
