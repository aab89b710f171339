// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
#include "filesystems/OriginalNames.h"

#include <algorithm>
#include <unordered_map>

namespace snapsalvager::filesystems {
namespace {

std::string UpperAscii(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return out;
}

// Spellings of one type: the found type's name and the extensions cameras give it.
std::string_view Canonical(std::string_view ext) {
  static const std::pair<std::string_view, std::string_view> kSame[] = {
      {"JPEG", "JPG"}, {"JPE", "JPG"}, {"TIFF", "TIF"}, {"MPEG", "MPG"}, {"M2TS", "MTS"},
      {"MPO", "JPG"},  {"THM", "JPG"}, {"HEIF", "HEIC"}, {"QT", "MOV"}, {"M4V", "MP4"},
  };
  for (const auto& [from, to] : kSame) {
    if (ext == from) return to;
  }
  return ext;
}

}  // namespace

bool ExtensionFits(std::string_view entryName, std::string_view foundExt) {
  const size_t dot = entryName.rfind('.');
  if (dot == std::string_view::npos || foundExt.empty()) return false;
  const std::string a = UpperAscii(entryName.substr(dot + 1)), b = UpperAscii(foundExt);
  return Canonical(a) == Canonical(b);
}

std::vector<std::optional<size_t>> MatchOriginalNames(std::span<const FoundStart> files,
                                                      std::span<const NamedEntry> entries,
                                                      const ClusterLayout& layout, uint32_t sectorSize) {
  std::vector<std::optional<size_t>> match(files.size());
  if (sectorSize == 0) return match;
  std::unordered_multimap<uint64_t, size_t> byStart;
  for (size_t i = 0; i < entries.size(); ++i) {
    const DirEntry& e = entries[i].Entry;
    if (e.IsDirectory() || e.Size == 0) continue;
    const auto offset = layout.Offset(e.FirstCluster);
    if (offset && *offset % sectorSize == 0) byStart.emplace(*offset / sectorSize, i);
  }
  std::vector<bool> used(entries.size(), false);
  for (size_t f = 0; f < files.size(); ++f) {
    const FoundStart& file = files[f];
    auto [from, to] = byStart.equal_range(file.StartSector);
    std::optional<size_t> best;
    int bestScore = 0;
    for (auto it = from; it != to; ++it) {
      const size_t i = it->second;
      if (used[i]) continue;
      const DirEntry& e = entries[i].Entry;
      // The carving runs to the next header, so a true size is at most the carved length;
      // a deep scan's exact end equals it.
      const bool typeFits = ExtensionFits(e.Name, file.Ext);
      const bool sizeFits = e.Size <= file.Length;
      if (!typeFits && !sizeFits) continue;
      const int score = (typeFits ? 8 : 0) + (sizeFits ? 4 : 0) + (e.Size == file.Length ? 2 : 0) +
                        (e.Deleted ? 0 : 1);
      if (score > bestScore ||
          (score == bestScore && best && entries[*best].Entry.Modified < e.Modified)) {
        best = i;
        bestScore = score;
      }
    }
    if (best) {
      match[f] = best;
      used[*best] = true;
    }
  }
  return match;
}

}  // namespace snapsalvager::filesystems
