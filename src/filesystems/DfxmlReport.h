// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// The report of a recovery as DFXML (report.xml): one fileobject per found file with its
// byte runs on the card (which reproduce it from a card image), its type, and its original
// name and dates when a directory entry named it. Returns the text; the caller writes it.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "filesystems/FolderTree.h"

namespace snapsalvager::filesystems {

struct ByteRun {
  uint64_t FileOffset = 0;  // where in the file
  uint64_t CardOffset = 0;  // where on the card (img_offset)
  uint64_t Length = 0;
};

struct ReportedFile {
  std::string Filename;          // as saved, relative to the destination ("DCIM/100CANON/IMG_0001.JPG")
  uint64_t Size = 0;
  std::string Type;              // the found type ("JPG")
  std::vector<ByteRun> Runs;
  const NamedEntry* Original = nullptr;  // the entry that named it, if any
};

struct ReportSource {
  std::string ImageFilename;     // the card as the user chose it ("/dev/sdb", "E:", a file)
  uint64_t ImageSize = 0;
  uint32_t SectorSize = 512;
  std::string ProgramVersion;
  std::string StartTime;         // ISO 8601, optional
};

// Text as XML character data or attribute value: escaped, invalid UTF-8 and characters XML
// 1.0 forbids replaced by U+FFFD.
std::string XmlEscaped(std::string_view untrusted);

std::string DfxmlReport(const ReportSource& source, std::span<const ReportedFile> files);

}  // namespace snapsalvager::filesystems
