// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// Windows has no mounting: every attempt is refused, and the tests that need a small file
// system skip.
#pragma once
#include <cerrno>

#define MNT_DETACH 2
template <typename Path>
inline int mount(const char*, const Path*, const char*, unsigned long, const void*) {
  errno = EPERM;
  return -1;
}
template <typename Path>
inline int umount2(const Path*, int) {
  errno = EINVAL;
  return -1;
}
