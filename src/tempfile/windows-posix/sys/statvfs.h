// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// statvfs's free-space answer from GetDiskFreeSpaceExW (PosixOnWindows.cpp).
#pragma once
#include <cstdint>

struct statvfs {
  uint64_t f_bavail = 0;  // blocks free to this user
  uint64_t f_frsize = 0;  // bytes per block
};
int statvfs(const char* path, struct statvfs* info);
int statvfs(const wchar_t* path, struct statvfs* info);
