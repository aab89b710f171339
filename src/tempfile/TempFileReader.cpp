// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// Reader of temporary files.
#include "tempfile/TempFileReader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <string>

namespace snapsalvager {

int64_t GetFileSizeByName(const std::filesystem::path& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return 0;
  return static_cast<int64_t>(st.st_size);
}

TPreviewFileStream::TPreviewFileStream(const std::filesystem::path& path, const TReadSettings& settings)
    : settings_(settings) {
  file_size_ = GetFileSizeByName(path);
  do {
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  } while (fd_ < 0 && errno == EINTR);
  int err = errno;
  if (fd_ >= 0) {
    // A folder opens on Linux but is no file to read.
    struct stat st {};
    if (::fstat(fd_, &st) != 0 || S_ISDIR(st.st_mode)) {
      err = S_ISDIR(st.st_mode) ? EISDIR : errno;
      ::close(fd_);
      fd_ = -1;
    }
  }
  if (fd_ < 0) {
    throw std::runtime_error("Cannot open file \"" + path.string() + "\". " +
                             std::strerror(err));
  }
}

TPreviewFileStream::~TPreviewFileStream() {
  if (fd_ >= 0) ::close(fd_);
}

int32_t TPreviewFileStream::Read(void* buffer, int32_t count) {
  if (count <= 0 || position_ < 0) return 0;
  auto* bytes = static_cast<uint8_t*>(buffer);
  const int64_t p = position_;
  int32_t got = 0;
  while (got < count) {
    const ssize_t n =
        ::pread(fd_, bytes + got, static_cast<size_t>(count - got), static_cast<off_t>(p + got));
    if (n < 0) {
      if (errno == EINTR) continue;
      break;  // an unreadable file reads as ending here
    }
    if (n == 0) break;
    got += static_cast<int32_t>(n);
  }
  position_ = p + got;
  // Only the bytes actually read are unscrambled: the rest of the caller's buffer is not ours.
  if (settings_.Scrambled) ScrambleHead(bytes, p, got);
  return got;
}

int64_t TPreviewFileStream::GetSize() const { return std::min(file_size_, settings_.MaxSize); }

int64_t TPreviewFileStream::Seek(int64_t offset, int origin) {
  int64_t target;
  switch (origin) {
    case SEEK_SET:
      target = offset;
      break;
    case SEEK_CUR:
      target = position_ + offset;
      break;
    case SEEK_END:
      target = (settings_.MaxSize > 0 && file_size_ > settings_.MaxSize ? settings_.MaxSize : file_size_) + offset;
      break;
    default:
      return -1;
  }
  if (target < 0) return -1;
  position_ = target;
  return position_;
}

int64_t TPreviewFileStream::Position() const { return position_; }

}  // namespace snapsalvager
