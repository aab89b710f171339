// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
#include "filesystems/FolderFinder.h"

#include <algorithm>
#include <cstring>

#include "filesystems/Bytes.h"

namespace snapsalvager::filesystems {
namespace {

bool AllSlots(std::span<const uint8_t> sector, bool (*plausible)(std::span<const uint8_t>)) {
  for (size_t at = 0; at + 32 <= sector.size(); at += 32) {
    if (!plausible(sector.subspan(at, 32))) return false;
  }
  return true;
}

}  // namespace

FolderStart LooksLikeFolderStart(std::span<const uint8_t> s) {
  if (s.size() < 96) return FolderStart::None;
  if (s[0] == '.') {
    if (std::memcmp(s.data(), ".          ", 11) == 0 && (s[11] & attributes::kDirectory) &&
        std::memcmp(s.data() + 32, "..         ", 11) == 0 && (s[43] & attributes::kDirectory)) {
      return FolderStart::Fat;
    }
    return FolderStart::None;
  }
  // exFAT root: volume label (0x83, or 0x03 when none) then bitmap 0x81, or bitmap first.
  if (s[0] == 0x81 || ((s[0] == 0x83 || s[0] == 0x03) && s[32] == 0x81)) {
    const size_t bitmap = s[0] == 0x81 ? 0 : 32;
    if (U32(s, bitmap + 20) >= 2 && U64(s, bitmap + 24) != 0 && AllSlots(s, PlausibleExfatSlot)) {
      return FolderStart::ExfatRoot;
    }
    return FolderStart::None;
  }
  // A folder's next cluster may begin inside an entry set its previous one started: its
  // first whole set follows that set's last stream or name entries (17 at most).
  size_t at = 0;
  while ((s[at] & 0x7E) == 0x40 && at < 17 * 32 && at + 128 <= s.size()) at += 32;
  const auto t = s.subspan(at);
  if ((t[0] & 0x7F) == 0x05 && (t[32] & 0x7F) == 0x40 && t[1] >= 2 && t[1] <= 18 &&
      (t[64] & 0x7F) == 0x41 && ((t[0] ^ t[32]) & 0x80) == 0) {
    return ReadExfatEntries(t.first(std::min<size_t>(t.size(), (size_t{t[1]} + 1) * 32))).empty()
               ? FolderStart::None
               : FolderStart::Exfat;
  }
  return FolderStart::None;
}

FolderFinder::FolderFinder(uint32_t sectorSize, FolderFinderOptions options)
    : sector_size_(std::clamp<uint32_t>(sectorSize, 512, 4096)), limits_(options) {
  if (!limits_.FindVolume) watch_ = Watch::Done;
}

void FolderFinder::UseLiveVolume(const Geometry& geometry, std::span<const uint8_t> fat) {
  if (held_.empty()) watch_ = Watch::Done;
  live_ = geometry;
  fat_.emplace(geometry.Kind, fat, geometry.ClusterCount);
}

std::vector<std::pair<uint64_t, uint64_t>> FolderFinder::LiveRuns(uint32_t cluster, bool contiguous,
                                                                  uint64_t length) const {
  std::vector<std::pair<uint64_t, uint64_t>> runs;
  if (!live_ || !fat_ || live_->ClusterBytes() == 0) return runs;
  const uint64_t clusterBytes = live_->ClusterBytes();
  // Chains are followed only as far as the bytes still allowed: hostile chains cost no more.
  const uint64_t allowed = std::min(limits_.MaxExpectedBytes, limits_.MaxExpectedTotal - expected_total_);
  const size_t maxClusters = static_cast<size_t>(allowed / clusterBytes);
  std::vector<uint32_t> clusters;
  if (contiguous) {
    const uint64_t count = std::min<uint64_t>((length + clusterBytes - 1) / clusterBytes, maxClusters);
    for (uint64_t k = 0; k < count; ++k) clusters.push_back(static_cast<uint32_t>(cluster + k));
  } else {
    clusters = fat_->Follow(cluster, maxClusters).Clusters;
  }
  for (uint32_t c : clusters) {
    const auto at = live_->ClusterOffset(c);
    if (!at) break;
    if (!runs.empty() && runs.back().first + runs.back().second == *at) {
      runs.back().second += clusterBytes;
    } else {
      runs.emplace_back(*at, clusterBytes);
    }
  }
  return runs;
}

void FolderFinder::ExpectRoot() {
  if (!live_) return;
  if (live_->Kind == FsKind::Fat12 || live_->Kind == FsKind::Fat16) {
    ExpectFolder({{live_->RootOffset, live_->RootBytes}}, false, true, 0);
  } else {
    ExpectFolder(LiveRuns(live_->RootCluster, false, 0), live_->Kind == FsKind::Exfat, true, live_->RootCluster);
  }
}

void FolderFinder::ExpectFolder(const std::vector<std::pair<uint64_t, uint64_t>>& runs, bool exfat, bool root,
                                uint32_t cluster) {
  if (runs.empty() || pending_.size() >= limits_.MaxFolders) return;
  Pending pending;
  pending.Folder.Offset = runs.front().first;
  pending.Folder.Exfat = exfat;
  pending.Folder.Root = root;
  pending.Folder.SelfCluster = cluster;
  uint64_t total = 0;
  for (const auto& [offset, length] : runs) {
    if (length == 0 || total >= limits_.MaxExpectedBytes || expected_total_ + total >= limits_.MaxExpectedTotal) break;
    // A run that overlaps one already expected (a loop, a cross-linked folder) is left out.
    auto next = pieces_.lower_bound(offset);
    if (next != pieces_.end() && next->first < offset + length) continue;
    if (next != pieces_.begin() && std::prev(next)->first + std::prev(next)->second.Length > offset) continue;
    Piece piece;
    piece.Length = std::min({length, limits_.MaxExpectedBytes - total, limits_.MaxExpectedTotal - expected_total_ - total});
    piece.Pending = pending_.size();
    piece.Index = pending.Pieces.size();
    total += piece.Length;
    pieces_.emplace(offset, std::move(piece));
    pending.Pieces.emplace_back();
  }
  expected_total_ += total;
  pending.Missing = pending.Pieces.size();
  if (pending.Missing != 0) pending_.push_back(std::move(pending));
}

bool FolderFinder::FeedExpected(uint64_t offset, std::span<const uint8_t> sector) {
  auto it = pieces_.upper_bound(offset);
  if (it == pieces_.begin()) return false;
  --it;
  Piece& piece = it->second;
  if (offset >= it->first + piece.Length) return false;
  Pending& pending = pending_[piece.Pending];
  if (!pending.Closed && offset == it->first + piece.Bytes.size()) {
    const size_t take = static_cast<size_t>(std::min<uint64_t>(piece.Length - piece.Bytes.size(), sector.size()));
    piece.Bytes.insert(piece.Bytes.end(), sector.begin(), sector.begin() + take);
    if (piece.Bytes.size() == piece.Length) {
      pending.Pieces[piece.Index] = std::move(piece.Bytes);
      piece.Bytes.clear();
      piece.Length = 0;  // done: its sectors no longer count as expected
      if (--pending.Missing == 0) ClosePending(pending);
    }
  }
  return true;
}

void FolderFinder::ClosePending(Pending& pending) {
  pending.Closed = true;
  std::vector<uint8_t> bytes;
  for (auto& piece : pending.Pieces) {
    bytes.insert(bytes.end(), piece.begin(), piece.end());
    std::vector<uint8_t>().swap(piece);
  }
  if (!bytes.empty()) Close(std::move(pending.Folder), bytes);
}

void FolderFinder::Feed(uint64_t offset, std::span<const uint8_t> bytes) {
  for (size_t at = 0; at + sector_size_ <= bytes.size(); at += sector_size_) {
    FeedSector(offset + at, bytes.subspan(at, sector_size_));
  }
}

void FolderFinder::FeedSector(uint64_t offset, std::span<const uint8_t> sector) {
  if (watch_ != Watch::Done && Hold(offset, sector)) return;
  Process(offset, sector);
}

bool FolderFinder::Hold(uint64_t offset, std::span<const uint8_t> sector) {
  if (watch_ == Watch::Volume && held_.empty() && offset < volume_start_) return false;
  if (offset != held_offset_ + held_.size()) {
    // A gap (an unreadable sector skipped): the volume is not sought further.
    StopWatching();
    return false;
  }
  held_.insert(held_.end(), sector.begin(), sector.end());
  const size_t tableBytes = 34 * size_t{sector_size_};
  if (watch_ == Watch::Table) {
    if (held_.size() < tableBytes) return true;
    const auto starts = PartitionOffsets(std::span(held_).first(tableBytes), sector_size_);
    if (starts.empty()) {
      StopWatching();
      return true;
    }
    volume_start_ = std::find(starts.begin(), starts.end(), 0) != starts.end() ? 0 : starts.front();
    watch_ = Watch::Volume;
    // What lies before the volume passes on now.
    const size_t before = static_cast<size_t>(std::min<uint64_t>(volume_start_ - held_offset_, held_.size()));
    std::vector<uint8_t> passed(held_.begin(), held_.begin() + before);
    held_.erase(held_.begin(), held_.begin() + before);
    const uint64_t passedAt = held_offset_;
    held_offset_ = held_.empty() ? volume_start_ : held_offset_ + before;
    for (size_t at = 0; at < passed.size(); at += sector_size_) {
      Process(passedAt + at, std::span(passed).subspan(at, sector_size_));
    }
  }
  constexpr size_t kVolumeHead = 64 * 1024;  // reaches the exFAT backup boot sector at 4 KiB sectors
  if (held_.size() < kVolumeHead) return true;
  if (!live_) {
    const auto g = ReadVolume(held_, volume_start_);
    if (!g || g->FatOffset < volume_start_ || g->FatOffset + g->FatBytes - volume_start_ > limits_.MaxVolumeHead) {
      StopWatching();
      return true;
    }
    live_ = g;
  }
  const uint64_t fatEnd = live_->FatOffset + live_->FatBytes;
  if (held_offset_ + held_.size() < fatEnd) return true;
  fat_bytes_.assign(held_.begin() + (live_->FatOffset - held_offset_), held_.begin() + (fatEnd - held_offset_));
  const Geometry g = *live_;
  UseLiveVolume(g, fat_bytes_);
  ExpectRoot();
  StopWatching();
  return true;
}

void FolderFinder::StopWatching() {
  watch_ = Watch::Done;
  if (live_ && !fat_) live_.reset();  // a boot sector read, but its FAT never arrived whole
  const std::vector<uint8_t> held = std::move(held_);
  held_.clear();
  for (size_t at = 0; at + sector_size_ <= held.size(); at += sector_size_) {
    Process(held_offset_ + at, std::span(held).subspan(at, sector_size_));
  }
}

void FolderFinder::Process(uint64_t offset, std::span<const uint8_t> sector) {
  position_ = offset + sector.size();
  if (!pieces_.empty() && FeedExpected(offset, sector)) {
    if (found_.Active) {
      found_.Active = false;
      Close(std::move(found_.Folder), found_.Bytes);
    }
    return;
  }
  const FolderStart start = LooksLikeFolderStart(sector);
  if (found_.Active) {
    const bool contiguous = offset == found_.Folder.Offset + found_.Bytes.size();
    const bool plausible = found_.Folder.Exfat ? AllSlots(sector, PlausibleExfatSlot)
                                               : AllSlots(sector, PlausibleFatSlot);
    // With the live layout, a folder found by content ends with its cluster: the next one
    // may be another folder, and exFAT folders have no mark that tells.
    const bool clusterEnds = live_ && live_->ClusterAt(offset).has_value();
    // A plausible sector right after an open folder continues it, unless it starts another:
    // a FAT "." or an exFAT root, or entries after an empty sector (a folder's entries are
    // packed from its start).
    const bool another = start == FolderStart::Fat || start == FolderStart::ExfatRoot ||
                         (start == FolderStart::Exfat && found_.LastSectorEmpty);
    if (contiguous && plausible && !clusterEnds && !another &&
        found_.Bytes.size() + sector.size() <= limits_.MaxFolderBytes) {
      found_.Bytes.insert(found_.Bytes.end(), sector.begin(), sector.end());
      found_.LastSectorEmpty = std::all_of(sector.begin(), sector.end(), [](uint8_t b) { return b == 0; });
      return;
    }
    found_.Active = false;
    Close(std::move(found_.Folder), found_.Bytes);
  }
  if (start == FolderStart::None || folders_.size() >= limits_.MaxFolders) return;
  if (start == FolderStart::Fat && live_ && fat_) {
    // A live FAT folder: its "." names its cluster; when the layout agrees, read its chain.
    const uint32_t self = (static_cast<uint32_t>(U16(sector, 20)) << 16) | U16(sector, 26);
    if (live_->ClusterOffset(self) == offset && pending_.size() < limits_.MaxFolders) {
      ExpectFolder(LiveRuns(self, false, 0), false, false, self);
      if (FeedExpected(offset, sector)) return;
    }
  }
  found_ = Open{};
  found_.Active = true;
  found_.Folder.Offset = offset;
  found_.Folder.Exfat = start != FolderStart::Fat;
  found_.Folder.Root = start == FolderStart::ExfatRoot;
  found_.Bytes.assign(sector.begin(), sector.end());
}

void FolderFinder::Close(FoundFolder folder, std::span<const uint8_t> bytes) {
  folder.Length = bytes.size();
  std::vector<DirEntry> entries = folder.Exfat ? ReadExfatEntries(bytes) : ReadFatEntries(bytes);
  if (found_.Bytes.data() == bytes.data()) std::vector<uint8_t>().swap(found_.Bytes);
  if (folder.SelfCluster == 0 && live_) folder.SelfCluster = live_->ClusterAt(folder.Offset).value_or(0);
  for (auto& e : entries) {
    if (e.IsDot()) {
      if (!e.Deleted && e.Position == 0 && e.Name == "." && folder.SelfCluster == 0) {
        folder.SelfCluster = e.FirstCluster;
      }
      if (!e.Deleted && e.Position == 32 && e.Name == "..") {
        folder.ParentCluster = e.FirstCluster;
        folder.HasParentEntry = true;
      }
      continue;
    }
    if (entry_count_ >= limits_.MaxEntries) break;
    // The live sub-folders this one lists are read whole when they pass.
    if (live_ && !e.Deleted && e.IsDirectory() && e.FirstCluster >= 2) {
      const auto at = live_->ClusterOffset(e.FirstCluster);
      if (at && *at >= position_ && !pieces_.count(*at) && pending_.size() < limits_.MaxFolders) {
        ExpectFolder(LiveRuns(e.FirstCluster, e.Contiguous, e.DataLength), e.Exfat, false, e.FirstCluster);
      }
    }
    ++entry_count_;
    folder.Entries.push_back(std::move(e));
  }
  if (folders_.size() < limits_.MaxFolders) folders_.push_back(std::move(folder));
}

void FolderFinder::Finish() {
  if (watch_ != Watch::Done) StopWatching();  // a card shorter than its head
  if (found_.Active) {
    found_.Active = false;
    Close(std::move(found_.Folder), found_.Bytes);
  }
  // Expected folders some of whose runs never passed: what did pass is read.
  for (auto& [offset, piece] : pieces_) {
    if (!piece.Bytes.empty() && !pending_[piece.Pending].Closed) {
      pending_[piece.Pending].Pieces[piece.Index] = std::move(piece.Bytes);
    }
  }
  pieces_.clear();
  for (auto& pending : pending_) {
    if (!pending.Closed) ClosePending(pending);
  }
  std::sort(folders_.begin(), folders_.end(),
            [](const FoundFolder& a, const FoundFolder& b) { return a.Offset < b.Offset; });
}

}  // namespace snapsalvager::filesystems
