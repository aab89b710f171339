// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// The found-file list: one record per carved file that holds data, in card order. The names
// of recovered and temporary files come with the format.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "filesystems/FolderTree.h"
#include "tempfile/TempFileFormat.h"

namespace snapsalvager {

struct TFoundFile {
  std::string Name;  // File0001.JPG
  std::string Ext;   // JPG
  int64_t Size = 0;  // carved bytes as the writer reported them; above 0
  std::filesystem::path TempFile;
  std::string Info;  // photo summary for JPG, "N/A" otherwise
  bool Selected = true;
  // Where the file lies on the card: (byte offset in the file, card byte offset, length),
  // in file order; one run for a carved file, two for a joined photo.
  struct TCardRun {
    uint64_t FileOffset = 0;
    uint64_t CardOffset = 0;
    uint64_t Length = 0;
  };
  std::vector<TCardRun> CardRuns{};
  uint64_t StartSector = 0;  // the card sector of its header
  // This run carved it up to where the next file starts or the range ends: its own
  // structure did not place its end.
  bool EndOpen = false;
  // The directory entry that named the file on the card (name, folder, dates, recorded
  // size), when one survives; null otherwise.
  std::shared_ptr<const filesystems::NamedEntry> Original{};
};

// The relative path the file had on the card ("DCIM/100CANON/IMG_4711.JPG"), made safe to
// join to a destination folder; empty when no entry names the file.
std::filesystem::path OriginalPathOf(const TFoundFile& file);

// Owns its records; a record keeps its address until ClearFoundFiles.
class TFoundFileList {
 public:
  TFoundFile& Append(TFoundFile record);
  size_t Count() const { return records_.size(); }
  TFoundFile& operator[](size_t index) { return *records_.at(index); }
  const TFoundFile& operator[](size_t index) const { return *records_.at(index); }
  void SetSelected(size_t index, bool selected) { records_.at(index)->Selected = selected; }
  size_t CountSelected() const;
  void Clear() { records_.clear(); }

 private:
  std::vector<std::unique_ptr<TFoundFile>> records_;
};

void ClearFoundFiles(TFoundFileList& list);

}  // namespace snapsalvager
