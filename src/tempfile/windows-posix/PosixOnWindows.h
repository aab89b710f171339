// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// The few POSIX calls the shared file code makes that Windows (mingw-w64) lacks, or has
// with other rules, made from Windows calls. Included first into every Windows compilation
// unit, so the code shared with Linux stays as it is. No <windows.h> here: its macros
// (GetDriveType, DRIVE_REMOVABLE, min, max) would collide with the system's own names.
#pragma once
#ifdef _WIN32

#include <errno.h>
#include <fcntl.h>
#include <io.h>
#include <signal.h>
#include <stdint.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#ifdef __cplusplus
#include <cstdio>

// Not inherited is Windows' close-on-exec; and every file here is bytes, never text.
#define O_CLOEXEC (_O_BINARY | _O_NOINHERIT)
// A bit of its own that _wopen never sees: open() then refuses a symbolic link or a junction
// under the name (ELOOP), as O_NOFOLLOW does on Linux.
#define O_NOFOLLOW 0x1000000
#define O_DIRECTORY 0
#define EDQUOT ENOSPC
#define SIGPIPE 13
#define SIGXFSZ 25
#define AT_FDCWD (-100)
#define RENAME_NOREPLACE 1u
#define POSIX_FADV_DONTNEED 4

// sigaction as far as the programs use it: a handler for Ctrl-C (the console's SIGINT).
struct sigaction {
  void (*sa_handler)(int) = nullptr;
  int sa_mask = 0;
  int sa_flags = 0;
};
inline int sigemptyset(int* set) {
  *set = 0;
  return 0;
}
inline int sigaction(int signal, const struct sigaction* action, struct sigaction*) {
  return ::signal(signal, action->sa_handler) == SIG_ERR ? -1 : 0;
}

// Positional reads and writes through the file's own handle: no shared file pointer moves
// under another thread.
ssize_t pread(int fd, void* buffer, size_t count, int64_t offset);
ssize_t pwrite(int fd, const void* buffer, size_t count, int64_t offset);
int fsync(int fd);
int fdatasync(int fd);
int posix_fadvise(int fd, int64_t offset, int64_t length, int advice);
// Windows flushes a whole volume only for an administrator: callers fall back to the file.
inline int syncfs(int) {
  errno = ENOSYS;
  return -1;
}
// 0 when the process runs elevated as an administrator (the token says so), else 1000.
unsigned geteuid();

// Paths: std::filesystem gives UTF-16 on Windows, and std::string holds UTF-8; both reach
// the wide-character calls, so any name works.
int open(const wchar_t* path, int flags, int mode = 0);
int open(const char* path, int flags, int mode);
int mkdir(const wchar_t* path, int mode);
int mkdir(const char* path, int mode);
int unlink(const wchar_t* path);
int stat(const wchar_t* path, struct stat* info);
// A hard link where the volume has them (NTFS); elsewhere EPERM, as Linux answers on FAT.
int link(const wchar_t* from, const wchar_t* to);
int link(const char* from, const char* to);
// rename as POSIX has it: an existing target is replaced, in one step.
int rename(const wchar_t* from, const wchar_t* to);
// RENAME_NOREPLACE through MoveFileExW without MOVEFILE_REPLACE_EXISTING: an existing
// target fails with EEXIST, another volume with EXDEV (the caller then copies).
int renameat2(int, const char* from, int, const char* to, unsigned flags);
int renameat2(int, const wchar_t* from, int, const wchar_t* to, unsigned flags);

#endif  // __cplusplus
#endif  // _WIN32
