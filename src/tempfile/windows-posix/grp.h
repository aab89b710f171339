// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// Windows has no Unix groups: no file names one.
#pragma once
#include <sys/types.h>

struct group {
  char* gr_name;
  unsigned gr_gid;
};
inline struct group* getgrgid(unsigned) { return nullptr; }
inline struct group* getgrnam(const char*) { return nullptr; }
