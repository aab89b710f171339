// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// What the test programs use of POSIX beyond the programs' own needs, for the Windows build
// run under wine. Linux-only facilities (mounting a tmpfs, loop devices, groups) answer
// "not permitted" here, so the tests that need them take their own skip; the rest are the
// real thing over the C runtime.
#pragma once
#ifdef _WIN32
#ifdef __cplusplus

#include <PosixOnWindows.h>
#include <process.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

// A new folder under a unique name from the XXXXXX pattern, as mkdtemp makes it.
inline char* mkdtemp(char* pattern) {
  const size_t length = std::strlen(pattern);
  if (length < 6 || std::strcmp(pattern + length - 6, "XXXXXX") != 0) {
    errno = EINVAL;
    return nullptr;
  }
  static unsigned counter = 0;
  for (int attempt = 0; attempt < 1000; ++attempt) {
    unsigned value = static_cast<unsigned>(::_getpid()) * 7919u + ++counter * 104729u + static_cast<unsigned>(std::rand());
    for (size_t i = length - 6; i < length; ++i) {
      pattern[i] = "abcdefghijklmnopqrstuvwxyz0123456789"[value % 36];
      value /= 36;
    }
    if (::mkdir(pattern, 0700) == 0) return pattern;
    if (errno != EEXIST) return nullptr;
  }
  return nullptr;
}

inline int setenv(const char* name, const char* value, int overwrite) {
  if (!overwrite && std::getenv(name) != nullptr) return 0;
  return ::_putenv_s(name, value) == 0 ? 0 : -1;
}
inline int unsetenv(const char* name) { return ::_putenv_s(name, "") == 0 ? 0 : -1; }

inline int chown(const char*, unsigned, unsigned) {
  errno = EPERM;
  return -1;
}
inline int chown(const wchar_t*, unsigned, unsigned) {
  errno = EPERM;
  return -1;
}
inline int mknod(const char*, unsigned, unsigned) {
  errno = EPERM;
  return -1;
}
#define makedev(major, minor) ((static_cast<unsigned>(major) << 8) | static_cast<unsigned>(minor))

#endif  // __cplusplus
#endif  // _WIN32
