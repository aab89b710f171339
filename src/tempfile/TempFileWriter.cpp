// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// Writer of temporary files. The layout on disk is the carved bytes with the head
// scrambled (TempFileFormat.h); nothing else is added.
#include "tempfile/TempFileWriter.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <stdexcept>

namespace snapsalvager {

namespace {

// Carving appends one 512-byte sector at a time; collecting 1 MiB before touching the file
// keeps the scan from issuing one write call per sector.
constexpr size_t kFlushThreshold = 0x100000;

}  // namespace

TWriteSettings TempFileWriteSettings(const std::string& type) {
  return TWriteSettings{TempFileSizeCap(type), true, true};
}

TWriteFileStream::TWriteFileStream(const std::filesystem::path& path, const TWriteSettings& settings)
    : settings_(settings), path_(path) {
  // O_EXCL: a file already under the name may be the only copy of a photo found before
  // (kept temporary files are moved aside first); it is never rewritten. It also refuses a
  // link planted under the name, dangling or not.
  do {
    fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
  } while (fd_ < 0 && errno == EINTR);
  if (fd_ < 0) {
    const int err = errno;
    throw std::runtime_error("Cannot create file \"" + path.string() + "\". " +
                             std::strerror(err));
  }
}

TWriteFileStream::TWriteFileStream(const std::filesystem::path& path, const TWriteSettings& settings,
                                   int64_t written, int64_t stored)
    : settings_(settings), written_(written), stored_(stored), path_(path) {
  do {
    fd_ = ::open(path.c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC);
  } while (fd_ < 0 && errno == EINTR);
  struct stat info {};
  const bool fits = fd_ >= 0 && ::fstat(fd_, &info) == 0 && S_ISREG(info.st_mode) && info.st_size >= stored &&
                    ::ftruncate(fd_, static_cast<off_t>(stored)) == 0 &&
                    ::lseek(fd_, static_cast<off_t>(stored), SEEK_SET) == static_cast<off_t>(stored);
  if (!fits) {
    const int err = fd_ < 0 ? errno : EINVAL;
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    throw std::runtime_error("Cannot continue file \"" + path.string() + "\". " + std::strerror(err));
  }
}

TWriteFileStream::~TWriteFileStream() { Close(); }

bool TWriteFileStream::Flush() {
  if (fd_ >= 0 && !buffer_.empty()) {
    StoreDirect(buffer_.data(), static_cast<int32_t>(buffer_.size()));
    buffer_.clear();
  }
  return all_stored_;
}

int32_t TWriteFileStream::StoreDirect(const void* data, int32_t count) {
  if (fd_ < 0) {
    if (count > 0) all_stored_ = false;
    return 0;
  }
  const char* p = static_cast<const char*>(data);
  int32_t done = 0;
  // A regular file takes a write whole unless something is wrong; keep going after a
  // partial write so that the failure (ENOSPC, EIO) is seen and recorded.
  while (done < count) {
    const ssize_t n = ::write(fd_, p + done, static_cast<size_t>(count - done));
    if (n < 0) {
      if (errno == EINTR) continue;
      last_errno_ = errno;
      last_error_ = std::strerror(errno);
      all_stored_ = false;
      break;
    }
    if (n == 0) {
      last_errno_ = EIO;
      last_error_ = "The file took no more bytes";
      all_stored_ = false;
      break;
    }
    done += static_cast<int32_t>(n);
    stored_ += n;
  }
  return done;
}

int32_t TWriteFileStream::Write(const void* buffer, int32_t count) {
  if (count <= 0) return 0;
  const auto* bytes = static_cast<const uint8_t*>(buffer);

  // Only the first writes reach into the head: later ones are taken as they are.
  if (settings_.Scrambled && written_ < kTempHeadLength) {
    scrambled_.assign(bytes, bytes + count);
    ScrambleHead(scrambled_.data(), written_, count);
    bytes = scrambled_.data();
  }

  int32_t result = count;
  if (settings_.MaxSize > 0 && written_ >= settings_.MaxSize) {
    // Past the cap: accepted and counted, not stored.
  } else {
    // A write that crosses the cap keeps only the bytes below it, so the file never holds
    // more than the size reported for it.
    int32_t toStore = count;
    if (settings_.MaxSize > 0 && written_ + count > settings_.MaxSize)
      toStore = static_cast<int32_t>(settings_.MaxSize - written_);
    if (settings_.Buffered) {
      if (buffer_.capacity() < kFlushThreshold) buffer_.reserve(kFlushThreshold);
      buffer_.append(reinterpret_cast<const char*>(bytes), static_cast<size_t>(toStore));
      if (buffer_.size() >= kFlushThreshold) {
        StoreDirect(buffer_.data(), static_cast<int32_t>(buffer_.size()));
        buffer_.clear();
      }
    } else {
      const int32_t took = StoreDirect(bytes, toStore);
      if (took < toStore) result = took;
    }
  }
  written_ += count;
  return result;
}

int64_t TWriteFileStream::GetSize() const {
  if (settings_.MaxSize > 0 && written_ > settings_.MaxSize) return settings_.MaxSize;
  return written_;
}

void TWriteFileStream::Truncate(int64_t size) {
  if (size < 0 || size >= written_) return;
  const int64_t stored = settings_.MaxSize > 0 ? std::min(written_, settings_.MaxSize) : written_;
  const int64_t keep = settings_.MaxSize > 0 ? std::min(size, settings_.MaxSize) : size;
  const int64_t bufferStart = stored - static_cast<int64_t>(buffer_.size());
  if (keep >= bufferStart) {
    buffer_.resize(static_cast<size_t>(keep - bufferStart));
  } else {
    buffer_.clear();
    if (fd_ >= 0 && (::ftruncate(fd_, static_cast<off_t>(keep)) != 0 ||
                     ::lseek(fd_, static_cast<off_t>(keep), SEEK_SET) < 0)) {
      last_errno_ = errno;
      last_error_ = std::strerror(errno);
      all_stored_ = false;
    }
    stored_ = std::min(stored_, keep);
  }
  written_ = size;
}

bool TWriteFileStream::Close() {
  if (fd_ < 0) return all_stored_;
  if (settings_.Buffered && !buffer_.empty()) {
    // The buffered bytes were scrambled when they were first written: store them as they are.
    StoreDirect(buffer_.data(), static_cast<int32_t>(buffer_.size()));
    buffer_.clear();
  }
  buffer_.shrink_to_fit();
  scrambled_ = {};
  // close() can report a failed delayed write (network and some local file systems).
  if (::close(fd_) != 0 && errno != EINTR) {
    last_errno_ = errno;
    last_error_ = std::strerror(errno);
    all_stored_ = false;
  }
  fd_ = -1;
  return all_stored_;
}

}  // namespace snapsalvager
