// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// Fuzzes the FAT and exFAT reader over a card's bytes: partition table, boot sector, FAT
// chains, directory entries, folders found in one pass, their tree, the cluster layout
// guess, the match of found files and the DFXML report. The first byte picks how the bytes
// are fed (sector or chunk at a time). Checked on every input: names come out valid UTF-8,
// safe names stay safe, entries lie inside the bytes they were read from.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "filesystems/DfxmlReport.h"
#include "filesystems/FatTable.h"
#include "filesystems/OriginalNames.h"
#include "filesystems/SafeNames.h"
#include "filesystems/Text.h"
#include "filesystems/Volumes.h"

using namespace snapsalvager::filesystems;

namespace {

void CheckName(const std::string& name) {
  if (EncodeUtf8(DecodeUtf8(name)) != name) __builtin_trap();
  const std::string safe = SafeComponent(name);
  if (safe.empty() || safe == "." || safe == ".." || safe.size() > kMaxComponentBytes ||
      safe.find('/') != std::string::npos || safe.find('\\') != std::string::npos) {
    __builtin_trap();
  }
}

void CheckEntries(const std::vector<DirEntry>& entries, size_t size) {
  for (const auto& e : entries) {
    if (e.Position + 32 > size) __builtin_trap();
    CheckName(e.Name);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const size_t chunk = 512u << (data[0] % 4);  // bits 0-1: how much is fed at a time
  const std::span<const uint8_t> card(data + 1, size - 1);

  CheckEntries(ReadFatEntries(card), card.size());
  CheckEntries(ReadExfatEntries(card), card.size());
  for (size_t at = 0; at + 512 <= card.size(); at += 512) LooksLikeFolderStart(card.subspan(at, 512));

  const auto partitions = PartitionOffsets(card);
  std::optional<Geometry> volume = ReadVolume(card, 0);
  for (uint64_t p : partitions) {
    if (!volume && p < card.size()) volume = ReadVolume(card.subspan(p), p);
  }
  // Bit 2 of the first byte: the finder seeks the volume in the sectors itself.
  const bool findVolume = data[0] & 4;
  FolderFinder finder(512, {.MaxFolderBytes = 1u << 16, .MaxFolders = 256, .MaxEntries = 4096,
                            .MaxExpectedBytes = 1u << 20, .MaxExpectedTotal = 4u << 20,
                            .FindVolume = findVolume, .MaxVolumeHead = 1u << 20});
  std::span<const uint8_t> fat;
  if (volume && !findVolume) {
    if (volume->FatOffset < card.size()) {
      fat = card.subspan(volume->FatOffset, std::min<uint64_t>(volume->FatBytes, card.size() - volume->FatOffset));
    }
    finder.UseLiveVolume(*volume, fat);
    finder.ExpectRoot();
    const FatTable table(volume->Kind, fat, volume->ClusterCount);
    const Chain chain = table.Follow(volume->RootCluster, 1000);
    if (chain.Clusters.size() > 1000) __builtin_trap();
  }
  for (size_t at = 0; at < card.size(); at += chunk) {
    finder.Feed(at, card.subspan(at, std::min(chunk, card.size() - at)));
  }
  finder.Finish();
  if (findVolume && finder.Volume()) volume = finder.Volume();
  const auto& folders = finder.Folders();
  for (const auto& f : folders) {
    for (const auto& e : f.Entries) CheckName(e.Name);
  }

  std::vector<Geometry> volumes;
  if (volume) volumes.push_back(*volume);
  const auto candidates = CandidateLayouts(folders, volumes);
  std::vector<uint64_t> starts;
  for (size_t at = 0; at + 512 <= card.size(); at += 512) {
    if (card[at] == 0xFF && card[at + 1] == 0xD8) starts.push_back(at / 512);
  }
  const LayoutScore best = BestLayout(folders, candidates, starts);
  const auto entries = BuildTree(folders, best.Layout.ClusterBytes ? std::optional(best.Layout) : std::nullopt);
  std::vector<FoundStart> found;
  for (uint64_t s : starts) found.push_back({s, 4096, "JPG"});
  const auto match = MatchOriginalNames(found, entries, best.Layout);
  std::vector<ReportedFile> files;
  for (size_t i = 0; i < found.size(); ++i) {
    ReportedFile f;
    f.Filename = "File" + std::to_string(i) + ".JPG";
    if (match[i]) {
      if (*match[i] >= entries.size()) __builtin_trap();
      const NamedEntry& e = entries[*match[i]];
      f.Original = &e;
      f.Filename = SafeRelativePath(e.Folder, e.Entry.Name).string();
      for (const auto& folder : e.Folder) CheckName(folder);
      if (e.Folder.size() > kMaxFolderDepth) __builtin_trap();
    }
    files.push_back(f);
  }
  const std::string xml = DfxmlReport({"card", card.size(), 512, "0", ""}, files);
  if (EncodeUtf8(DecodeUtf8(xml)) != xml) __builtin_trap();
  return 0;
}
