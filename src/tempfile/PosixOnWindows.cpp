// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// The POSIX calls of windows-posix/PosixOnWindows.h, over the Windows API. Paths go
// through the wide-character calls: a UTF-8 std::string is converted, a std::filesystem
// path already is UTF-16.
#include <sys/statvfs.h>

#include <cerrno>
#include <cstring>
#include <string>

#include <windows.h>

namespace {

std::wstring Wide(const char* utf8) {
  const int n = ::MultiByteToWideChar(CP_UTF8, 0, utf8, -1, nullptr, 0);
  if (n <= 0) return {};
  std::wstring out(static_cast<size_t>(n), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, utf8, -1, out.data(), n);
  out.resize(static_cast<size_t>(n - 1));
  return out;
}

int ErrnoOf(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE: return ENOENT;
    case ERROR_ALREADY_EXISTS:
    case ERROR_FILE_EXISTS: return EEXIST;
    case ERROR_NOT_SAME_DEVICE: return EXDEV;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION: return EACCES;
    case ERROR_WRITE_PROTECT: return EROFS;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return ENOSPC;
    case ERROR_NOT_READY: return ENXIO;
    case ERROR_INVALID_PARAMETER:
    case ERROR_INVALID_NAME: return EINVAL;
    default: return EIO;
  }
}

int Failed(DWORD error) {
  errno = ErrnoOf(error);
  return -1;
}

HANDLE HandleOf(int fd) { return reinterpret_cast<HANDLE>(::_get_osfhandle(fd)); }

int Move(const std::wstring& from, const std::wstring& to, DWORD flags) {
  if (from.empty() || to.empty()) {
    errno = ENOENT;
    return -1;
  }
  return ::MoveFileExW(from.c_str(), to.c_str(), flags) ? 0 : Failed(::GetLastError());
}

}  // namespace

ssize_t pread(int fd, void* buffer, size_t count, int64_t offset) {
  const HANDLE handle = HandleOf(fd);
  if (handle == INVALID_HANDLE_VALUE || offset < 0) {
    errno = EBADF;
    return -1;
  }
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(static_cast<uint64_t>(offset));
  at.OffsetHigh = static_cast<DWORD>(static_cast<uint64_t>(offset) >> 32);
  DWORD got = 0;
  const DWORD asked = count > 0x40000000 ? 0x40000000 : static_cast<DWORD>(count);
  if (!::ReadFile(handle, buffer, asked, &got, &at)) {
    const DWORD error = ::GetLastError();
    if (error == ERROR_HANDLE_EOF) return 0;
    return Failed(error);
  }
  return static_cast<ssize_t>(got);
}

ssize_t pwrite(int fd, const void* buffer, size_t count, int64_t offset) {
  const HANDLE handle = HandleOf(fd);
  if (handle == INVALID_HANDLE_VALUE || offset < 0) {
    errno = EBADF;
    return -1;
  }
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(static_cast<uint64_t>(offset));
  at.OffsetHigh = static_cast<DWORD>(static_cast<uint64_t>(offset) >> 32);
  DWORD put = 0;
  const DWORD asked = count > 0x40000000 ? 0x40000000 : static_cast<DWORD>(count);
  if (!::WriteFile(handle, buffer, asked, &put, &at)) return Failed(::GetLastError());
  return static_cast<ssize_t>(put);
}

int fsync(int fd) {
  const HANDLE handle = HandleOf(fd);
  if (handle == INVALID_HANDLE_VALUE) {
    errno = EBADF;
    return -1;
  }
  return ::FlushFileBuffers(handle) ? 0 : Failed(::GetLastError());
}

int fdatasync(int fd) { return fsync(fd); }

// Windows keeps no such advice: the card's reads just go through the cache.
int posix_fadvise(int, int64_t, int64_t, int) { return 0; }

unsigned geteuid() {
  HANDLE token = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) return 1000;
  TOKEN_ELEVATION elevation{};
  DWORD size = 0;
  const bool elevated = ::GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size) &&
                        elevation.TokenIsElevated != 0;
  ::CloseHandle(token);
  return elevated ? 0 : 1000;
}

// O_NOFOLLOW: the name itself is opened (FILE_FLAG_OPEN_REPARSE_POINT), and a link or a
// junction there (a name surrogate) is refused before anything is truncated or written. A
// reparse point that is the file itself (a cloud placeholder, a deduplicated file) is a file.
static int OpenNotFollowing(const wchar_t* path, int flags) {
  const int access = flags & (_O_RDONLY | _O_WRONLY | _O_RDWR);
  const DWORD desired = access == _O_RDWR ? GENERIC_READ | GENERIC_WRITE
                        : access == _O_WRONLY ? GENERIC_WRITE : GENERIC_READ;
  const DWORD disposition = (flags & _O_CREAT) ? ((flags & _O_EXCL) ? CREATE_NEW : OPEN_ALWAYS) : OPEN_EXISTING;
  const HANDLE handle = ::CreateFileW(path, desired, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, disposition,
                                      FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return Failed(::GetLastError());
  FILE_ATTRIBUTE_TAG_INFO tag{};
  if (!::GetFileInformationByHandleEx(handle, FileAttributeTagInfo, &tag, sizeof tag)) {
    const DWORD error = ::GetLastError();
    ::CloseHandle(handle);
    return Failed(error);
  }
  if ((tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) && IsReparseTagNameSurrogate(tag.ReparseTag)) {
    ::CloseHandle(handle);
    errno = ELOOP;
    return -1;
  }
  if ((flags & _O_TRUNC) && !::SetEndOfFile(handle)) {
    const DWORD error = ::GetLastError();
    ::CloseHandle(handle);
    return Failed(error);
  }
  const int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(handle), flags & (_O_APPEND | _O_RDONLY | _O_NOINHERIT));
  if (fd < 0) ::CloseHandle(handle);
  return fd;
}

int open(const wchar_t* path, int flags, int mode) {
  if (flags & O_NOFOLLOW) return OpenNotFollowing(path, flags & ~O_NOFOLLOW);
  return ::_wopen(path, flags, mode & (_S_IREAD | _S_IWRITE) ? mode : _S_IREAD | _S_IWRITE);
}

int open(const char* path, int flags, int mode) { return open(Wide(path).c_str(), flags, mode); }

int mkdir(const wchar_t* path, int) { return ::_wmkdir(path); }
int mkdir(const char* path, int mode) { return mkdir(Wide(path).c_str(), mode); }
int unlink(const wchar_t* path) { return ::_wunlink(path); }
int stat(const wchar_t* path, struct stat* info) { return ::_wstat64(path, info); }

int rename(const wchar_t* from, const wchar_t* to) {
  return Move(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
}

int renameat2(int, const wchar_t* from, int, const wchar_t* to, unsigned flags) {
  // Without MOVEFILE_REPLACE_EXISTING the move fails when the target exists: nothing is
  // ever replaced. Without MOVEFILE_COPY_ALLOWED another volume fails with EXDEV.
  return Move(from, to, (flags & RENAME_NOREPLACE) ? MOVEFILE_WRITE_THROUGH
                                                    : MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
}

int link(const wchar_t* from, const wchar_t* to) {
  if (::CreateHardLinkW(to, from, nullptr)) return 0;
  const DWORD error = ::GetLastError();
  if (error == ERROR_INVALID_FUNCTION || error == ERROR_NOT_SUPPORTED) {
    errno = EPERM;
    return -1;
  }
  return Failed(error);
}

int link(const char* from, const char* to) { return link(Wide(from).c_str(), Wide(to).c_str()); }

int renameat2(int, const char* from, int, const char* to, unsigned flags) {
  return renameat2(AT_FDCWD, Wide(from).c_str(), AT_FDCWD, Wide(to).c_str(), flags);
}

int statvfs(const wchar_t* path, struct statvfs* info) {
  ULARGE_INTEGER available{};
  if (!::GetDiskFreeSpaceExW(path, &available, nullptr, nullptr)) return Failed(::GetLastError());
  info->f_bavail = available.QuadPart;
  info->f_frsize = 1;
  return 0;
}

int statvfs(const char* path, struct statvfs* info) { return statvfs(Wide(path).c_str(), info); }
