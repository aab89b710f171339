// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// Whole reads and writes of descriptors, and the heads of temporary files.
#include "session/FileIo.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <stdexcept>
#include <system_error>
#include <vector>

#include "tempfile/TempFileFormat.h"
#include "tempfile/Utf8Path.h"

namespace snapsalvager::fileio {

std::string SystemError(int error) { return std::generic_category().message(error); }

[[noreturn]] void Fail(const std::string& what, const std::filesystem::path& path, int error) {
  throw std::runtime_error(what + " " + path.string() + ": " + SystemError(error));
}

bool ReadFully(int fd, char* data, size_t length, off_t offset, size_t& got) {
  got = 0;
  while (got < length) {
    ssize_t n = ::pread(fd, data + got, length - got, offset + static_cast<off_t>(got));
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (n == 0) break;
    got += static_cast<size_t>(n);
  }
  return true;
}

bool WriteFully(int fd, const char* data, size_t length, off_t offset) {
  size_t done = 0;
  while (done < length) {
    ssize_t n = ::pwrite(fd, data + done, length - done, offset + static_cast<off_t>(done));
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (n == 0) {
      errno = ENOSPC;
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

std::filesystem::path PartialCopyOf(const std::filesystem::path& to) {
  return to.parent_path() / PathFromUtf8("." + Utf8Of(to.filename()) + ".partial");
}

std::string ReadHead(const std::filesystem::path& path) {
  TFd file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
  if (file.get() < 0) Fail("cannot open", path, errno);
  std::string head(kTempHeadLength, '\0');
  size_t length = 0;
  if (!ReadFully(file.get(), head.data(), head.size(), 0, length)) Fail("cannot read", path, errno);
  head.resize(length);
  return head;
}

void WriteHead(const std::filesystem::path& path, const std::string& head) {
  TFd file(::open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NOFOLLOW));
  if (file.get() < 0) Fail("cannot open", path, errno);
  if (!WriteFully(file.get(), head.data(), head.size(), 0)) Fail("cannot write", path, errno);
  if (::fsync(file.get()) != 0) Fail("cannot write", path, errno);
  if (int error = file.Close(); error != 0) Fail("cannot write", path, error);
}

std::string PlainHeadOf(const std::filesystem::path& tempPath, bool& fromJournal) {
  const std::filesystem::path journal = HeadJournalOf(tempPath);
  std::error_code ec;
  fromJournal = std::filesystem::exists(std::filesystem::symlink_status(journal, ec));
  if (!fromJournal) {
    std::string head = ReadHead(tempPath);
    ScrambleHead(head.data(), 0, static_cast<int64_t>(head.size()));
    return head;
  }
  const std::string head = ReadHead(journal);
  const uintmax_t size = std::filesystem::file_size(tempPath, ec);
  if (ec || head.size() != std::min<uintmax_t>(size, kTempHeadLength)) {
    throw std::runtime_error("the head journal " + journal.string() + " does not fit its temporary file");
  }
  return head;
}

bool HoldsSameBytes(const std::filesystem::path& path, const std::string& head,
                    const std::filesystem::path& temp) {
  TFd saved(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
  TFd source(::open(temp.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
  if (saved.get() < 0 || source.get() < 0) return false;
  std::vector<char> a(1 << 16), b(1 << 16);
  size_t got = 0;
  if (!ReadFully(saved.get(), a.data(), head.size(), 0, got) || got != head.size() ||
      std::memcmp(a.data(), head.data(), head.size()) != 0) {
    return false;
  }
  for (off_t offset = static_cast<off_t>(head.size());; offset += static_cast<off_t>(got)) {
    size_t other = 0;
    if (!ReadFully(saved.get(), a.data(), a.size(), offset, got) ||
        !ReadFully(source.get(), b.data(), b.size(), offset, other) || got != other) {
      return false;
    }
    if (got == 0) return true;
    if (std::memcmp(a.data(), b.data(), got) != 0) return false;
  }
}

std::string Scrambled(std::string head) {
  ScrambleHead(head.data(), 0, static_cast<int64_t>(head.size()));
  return head;
}

bool Exists(const std::filesystem::path& path) {
  std::error_code ec;
  return std::filesystem::exists(std::filesystem::symlink_status(path, ec));
}

std::string UpperCase(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return text;
}

}  // namespace snapsalvager::fileio
