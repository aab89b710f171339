// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// The image and map recorder of a scan.
#include "card/CardImageWriter.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <stdexcept>

namespace snapsalvager {
namespace {

// The map is stored again at most this often while the scan runs (after the image's data is
// on disk), so a scan that dies loses at most these seconds of the record.
constexpr uint64_t kMapIntervalMs = 5000;

uint64_t NowMs() {
  using namespace std::chrono;
  return static_cast<uint64_t>(
      duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

std::string Hex(uint64_t value) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%08" PRIX64, value);
  return text;
}

bool WriteAll(int fd, const char* data, size_t length) {
  while (length > 0) {
    const ssize_t n = ::write(fd, data, length);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    length -= static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

std::filesystem::path TCardImageWriter::MapPathOf(const std::filesystem::path& imagePath) {
  std::filesystem::path map = imagePath;
  map += ".map";
  return map;
}

TCardImageWriter::TCardImageWriter(const std::filesystem::path& imagePath, uint64_t cardBytes)
    : imagePath_(imagePath), mapPath_(MapPathOf(imagePath)), size_(cardBytes) {
  // The map is made first, both with O_EXCL: an existing file stops it before anything is
  // written, and a failed image leaves no map of the user's behind.
  const int map = ::open(mapPath_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (map < 0) {
    throw std::runtime_error("Cannot create the map file \"" + mapPath_.string() + "\". " +
                             std::strerror(errno));
  }
  ::close(map);
  fd_ = ::open(imagePath_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd_ < 0 || ::ftruncate(fd_, static_cast<off_t>(size_)) != 0) {
    const int error = errno;
    if (fd_ >= 0) {
      ::close(fd_);
      ::unlink(imagePath_.c_str());
    }
    ::unlink(mapPath_.c_str());
    throw std::runtime_error("Cannot create the card image \"" + imagePath_.string() + "\". " +
                             std::strerror(error));
  }
  if (size_ > 0) areas_[0] = {size_, '?'};
  lastStore_ = NowMs();
  if (!StoreMap()) {
    const std::string error = error_;
    ::close(fd_);
    ::unlink(imagePath_.c_str());
    ::unlink(mapPath_.c_str());
    throw std::runtime_error(error);
  }
}

TCardImageWriter::~TCardImageWriter() {
  Finish();
  if (fd_ >= 0) ::close(fd_);
}

void TCardImageWriter::Fail(const std::string& what) {
  if (error_.empty()) error_ = what + ": " + std::strerror(errno);
}

void TCardImageWriter::Read(uint64_t offset, const void* data, size_t length) {
  if (finished_ || !error_.empty() || offset >= size_) return;
  length = static_cast<size_t>(std::min<uint64_t>(length, size_ - offset));
  const auto* bytes = static_cast<const uint8_t*>(data);
  size_t done = 0;
  while (done < length) {
    const ssize_t n = ::pwrite(fd_, bytes + done, length - done, static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = EIO;
      Fail("Cannot write the card image \"" + imagePath_.string() + "\"");
      return;
    }
    done += static_cast<size_t>(n);
  }
  Mark(offset, offset + length, '+');
  position_ = offset + length;
  if (NowMs() - lastStore_ >= kMapIntervalMs) {
    // The data the map calls read must be on disk before the map says so.
    if (::fdatasync(fd_) != 0) {
      Fail("Cannot write the card image \"" + imagePath_.string() + "\"");
      return;
    }
    StoreMap();
    lastStore_ = NowMs();
  }
}

void TCardImageWriter::Unreadable(uint64_t offset, size_t length) {
  if (finished_ || offset >= size_) return;
  const uint64_t end = offset + std::min<uint64_t>(length, size_ - offset);
  // What was once read stays read: a later failure of the same sector takes nothing away.
  for (uint64_t at = offset; at < end;) {
    auto it = std::prev(areas_.upper_bound(at));
    const uint64_t areaEnd = std::min(end, it->second.first);
    if (it->second.second != '+') Mark(at, areaEnd, '-');
    at = areaEnd;
  }
  position_ = end;
}

// Cuts the area holding at in two there, so at starts an area.
void TCardImageWriter::Split(uint64_t at) {
  auto it = areas_.upper_bound(at);
  if (it == areas_.begin()) return;
  --it;
  if (it->first < at && at < it->second.first) {
    const auto tail = it->second;
    it->second.first = at;
    areas_.emplace(at, tail);
  }
}

void TCardImageWriter::Mark(uint64_t begin, uint64_t end, char status) {
  if (begin >= end) return;
  Split(begin);
  Split(end);
  areas_.erase(areas_.lower_bound(begin), areas_.lower_bound(end));
  auto it = areas_.emplace(begin, std::make_pair(end, status)).first;
  // Neighbours of the same status become one area, so the map stays as short as the card's
  // damage allows.
  auto next = std::next(it);
  if (next != areas_.end() && next->second.second == status) {
    it->second.first = next->second.first;
    areas_.erase(next);
  }
  if (it != areas_.begin()) {
    auto prev = std::prev(it);
    if (prev->second.second == status) {
      prev->second.first = it->second.first;
      areas_.erase(it);
    }
  }
}

std::string TCardImageWriter::MapText() const {
  bool complete = true;
  for (const auto& area : areas_) complete = complete && area.second.second != '?';
  std::string text = "# Mapfile. Created by Snapsalvager " SNAPSALVAGER_VERSION
                     " while scanning the card\n"
                     "# current_pos  current_status  current_pass\n";
  text += Hex(position_) + (complete ? "     +               1\n" : "     ?               1\n");
  text += "#      pos        size  status\n";
  for (const auto& [start, area] : areas_) {
    text += Hex(start) + "  " + Hex(area.first - start) + "  " + area.second + "\n";
  }
  return text;
}

// Written beside the map and renamed over it: a crash leaves the old map or the new one.
bool TCardImageWriter::StoreMap() {
  std::filesystem::path temporary = mapPath_;
  temporary += ".new";
  const std::string text = MapText();
  const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC,
                        0644);
  const bool written = fd >= 0 && WriteAll(fd, text.data(), text.size()) && ::fsync(fd) == 0;
  if (fd >= 0) ::close(fd);
  if (!written || ::rename(temporary.c_str(), mapPath_.c_str()) != 0) {
    Fail("Cannot write the map file \"" + mapPath_.string() + "\"");
    ::unlink(temporary.c_str());
    return false;
  }
  return true;
}

bool TCardImageWriter::Finish() {
  if (finished_) return error_.empty();
  finished_ = true;
  if (fd_ >= 0 && error_.empty() && ::fsync(fd_) != 0)
    Fail("Cannot write the card image \"" + imagePath_.string() + "\"");
  StoreMap();
  return error_.empty();
}

}  // namespace snapsalvager
