// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// The descriptor-level reads and writes that the restore of one temporary file and the batch
// save share: whole reads and writes, the head of a temporary file in either state, the copy
// in the making. The session's own; the front ends use SaveFiles.h.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <string>

namespace snapsalvager::fileio {

std::string SystemError(int error);

// Throws std::runtime_error: what, the path and the system's text for error.
[[noreturn]] void Fail(const std::string& what, const std::filesystem::path& path, int error);

// Closes a descriptor when it goes out of scope.
class TFd {
 public:
  explicit TFd(int fd) : fd_(fd) {}
  ~TFd() {
    if (fd_ >= 0) ::close(fd_);
  }
  TFd(const TFd&) = delete;
  TFd& operator=(const TFd&) = delete;
  int get() const { return fd_; }
  // Closes now and reports the error a deferred write may have left.
  int Close() {
    int result = ::close(fd_);
    fd_ = -1;
    return result == 0 ? 0 : errno;
  }

 private:
  int fd_;
};

// Reads up to length bytes at offset; got tells how many (fewer at the end of the file).
// False on a read error (errno tells it).
bool ReadFully(int fd, char* data, size_t length, off_t offset, size_t& got);
// Writes all length bytes at offset; false on an error (errno tells it, ENOSPC for a write
// that wrote nothing).
bool WriteFully(int fd, const char* data, size_t length, off_t offset);

// The copy in the making, hidden beside its final name: a crash during a copy never leaves
// a partial file under a name the user takes for a recovered photo. A leftover of an earlier
// crash is the program's own and is overwritten.
std::filesystem::path PartialCopyOf(const std::filesystem::path& to);

// The first bytes of a file, up to the head's length.
std::string ReadHead(const std::filesystem::path& path);
// Writes head over the start of the file and makes it durable before anything else happens.
void WriteHead(const std::filesystem::path& path, const std::string& head);

// The plain head of a temporary file: from its journal when a save was under way (the
// file's own head may then be in either state), else the file's head unscrambled.
std::string PlainHeadOf(const std::filesystem::path& tempPath, bool& fromJournal);

// Whether the file at path holds exactly head followed by the bytes of temp past the head.
bool HoldsSameBytes(const std::filesystem::path& path, const std::string& head,
                    const std::filesystem::path& temp);

// head scrambled (or unscrambled: the XOR is its own inverse).
std::string Scrambled(std::string head);
// Whether anything, a dangling link included, has this name.
bool Exists(const std::filesystem::path& path);
std::string UpperCase(std::string text);

}  // namespace snapsalvager::fileio
