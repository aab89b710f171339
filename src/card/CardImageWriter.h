// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// A card image recorded while the card is scanned: every sector as it was read goes to the
// image at its own place, unreadable sectors stay zeros, and a map file in GNU ddrescue's
// mapfile format names what was read, what could not be and what was never tried, so later
// scans run on the image and ddrescue can retry the bad areas of the card.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <map>
#include <string>

#include "card/DriveReads.h"

namespace snapsalvager {

class TCardImageWriter final : public TCardReadRecorder {
 public:
  // Creates the image (cardBytes long, all zeros) and its map; neither may exist yet, as a
  // file of the user's is never replaced. Throws std::runtime_error when they cannot be made.
  TCardImageWriter(const std::filesystem::path& imagePath, uint64_t cardBytes);
  ~TCardImageWriter() override;
  TCardImageWriter(const TCardImageWriter&) = delete;
  TCardImageWriter& operator=(const TCardImageWriter&) = delete;

  // The map's name beside an image: the image's name with ".map" added.
  static std::filesystem::path MapPathOf(const std::filesystem::path& imagePath);

  void Read(uint64_t offset, const void* data, size_t length) override;
  void Unreadable(uint64_t offset, size_t length) override;

  // Stores the map a last time and flushes both files. False when a write failed (the image
  // is then incomplete); LastError tells why. Later calls do nothing and repeat the result.
  bool Finish();
  const std::string& LastError() const { return error_; }
  const std::filesystem::path& MapPath() const { return mapPath_; }

 private:
  void Mark(uint64_t begin, uint64_t end, char status);
  void Split(uint64_t at);
  std::string MapText() const;
  bool StoreMap();
  void Fail(const std::string& what);

  std::filesystem::path imagePath_;
  std::filesystem::path mapPath_;
  uint64_t size_;
  int fd_ = -1;
  // The areas by their start: end and ddrescue status ('?' not tried, '+' read, '-' bad).
  std::map<uint64_t, std::pair<uint64_t, char>> areas_;
  uint64_t position_ = 0;  // the end of the last read
  uint64_t lastStore_ = 0;
  bool finished_ = false;
  std::string error_;
};

}  // namespace snapsalvager
