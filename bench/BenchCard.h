// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// Camera cards whose contents are known, for the deep-scan benchmark: a FAT32 image made
// with mkfs.fat and mtools, holding photos and clips of every kind a camera or phone writes
// (ffmpeg-made AVI with MJPEG, MOV, MP4, 3GP, MTS 188/192, MPG, ASF/WMV, WAV, MP3, and AMR).
//
//   auto card = benchcard::Make(dir, benchcard::Kind::QuickFormatted);
//   for (auto& f : card.Files) ... f.Path (the original), f.Deleted
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace benchcard {

enum class Kind {
  Camera,          // two rounds of shooting, some files deleted
  QuickFormatted,  // the same, then a quick format: only the boot sector and FATs are new
  NearlyEmpty,     // a few clips at the start of an empty card
  Full,            // the two rounds copied again and again until the card is 85 % full
};

struct File {
  std::filesystem::path Path;  // the original bytes
  std::string Ext;             // the type a scan should give it
  bool Deleted = false;
};

struct Card {
  std::filesystem::path Image;
  std::vector<File> Files;  // every file lies whole (unfragmented, not overwritten)
};

// True when ffmpeg, mkfs.fat and mtools can be run.
bool ToolsAvailable();

// Builds dir/<kind>.img from media made once in dir/media. sizeMiB >= 64.
Card Make(const std::filesystem::path& dir, Kind kind, uint32_t sizeMiB = 256);

const char* Name(Kind kind);

}  // namespace benchcard
