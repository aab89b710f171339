// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// Windows has no file-size limit: the tests that set one skip.
#pragma once
#include <cerrno>

#define RLIMIT_FSIZE 1
using rlim_t = unsigned long long;
struct rlimit {
  rlim_t rlim_cur = 0;
  rlim_t rlim_max = 0;
};
inline int getrlimit(int, struct rlimit*) {
  errno = ENOSYS;
  return -1;
}
inline int setrlimit(int, const struct rlimit*) {
  errno = ENOSYS;
  return -1;
}
