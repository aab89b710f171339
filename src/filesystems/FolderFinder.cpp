#include "filesystems/FolderFinder.h"

#include <algorithm>
#include <cstring>

#include "filesystems/Bytes.h"

namespace snapsalvager::filesystems {
namespace {

constexpr uint64_t kMaxExpectedBytes = 64u << 20;  // a folder of 2 million entries

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
  if ((s[0] & 0x7F) == 0x05 && (s[32] & 0x7F) == 0x40 && s[1] >= 2 && s[1] <= 18 &&
      (s[64] & 0x7F) == 0x41 && ((s[0] ^ s[32]) & 0x80) == 0) {
    return ReadExfatEntries(s.first(std::min<size_t>(s.size(), (size_t{s[1]} + 1) * 32))).empty()
               ? FolderStart::None
               : FolderStart::Exfat;
  }
  return FolderStart::None;
}

FolderFinder::FolderFinder(uint32_t sectorSize, FolderFinderLimits limits)
    : sector_size_(std::clamp<uint32_t>(sectorSize, 512, 4096)), limits_(limits) {}

void FolderFinder::ExpectFolder(uint64_t offset, uint64_t length, bool exfat, bool root, uint32_t cluster) {
  if (length == 0 || expected_.size() >= limits_.MaxFolders) return;
  Open open;
  open.Folder.Offset = offset;
  open.Folder.Exfat = exfat;
  open.Folder.Root = root;
  open.Folder.SelfCluster = cluster;
  open.Wanted = std::min(length, kMaxExpectedBytes);
  open.Active = true;
  expected_.emplace(offset, std::move(open));
}

bool FolderFinder::CoveredByExpected(uint64_t offset) const {
  auto it = expected_.upper_bound(offset);
  if (it == expected_.begin()) return false;
  --it;
  return offset < it->first + it->second.Bytes.size() + it->second.Wanted;
}

void FolderFinder::Feed(uint64_t offset, std::span<const uint8_t> bytes) {
  for (size_t at = 0; at + sector_size_ <= bytes.size(); at += sector_size_) {
    FeedSector(offset + at, bytes.subspan(at, sector_size_));
  }
}

void FolderFinder::FeedSector(uint64_t offset, std::span<const uint8_t> sector) {
  if (!expected_.empty() && CoveredByExpected(offset)) {
    auto it = std::prev(expected_.upper_bound(offset));
    Open& open = it->second;
    if (open.Active && offset == open.Folder.Offset + open.Bytes.size()) {
      const size_t take = static_cast<size_t>(std::min<uint64_t>(open.Wanted, sector.size()));
      open.Bytes.insert(open.Bytes.end(), sector.begin(), sector.begin() + take);
      open.Wanted -= take;
      if (open.Wanted == 0) Close(open);
    }
    if (found_.Active) Close(found_);
    return;
  }
  const FolderStart start = LooksLikeFolderStart(sector);
  if (found_.Active) {
    const bool contiguous = offset == found_.Folder.Offset + found_.Bytes.size();
    const bool plausible = found_.Folder.Exfat ? AllSlots(sector, PlausibleExfatSlot)
                                               : AllSlots(sector, PlausibleFatSlot);
    // A FAT "." always starts a new folder; exFAT folders have no such mark, so a plausible
    // sector right after an open one continues it.
    if (contiguous && plausible && start != FolderStart::Fat && start != FolderStart::ExfatRoot &&
        found_.Bytes.size() + sector.size() <= limits_.MaxFolderBytes) {
      found_.Bytes.insert(found_.Bytes.end(), sector.begin(), sector.end());
      return;
    }
    Close(found_);
  }
  if (start == FolderStart::None || folders_.size() >= limits_.MaxFolders) return;
  found_ = Open{};
  found_.Active = true;
  found_.Folder.Offset = offset;
  found_.Folder.Exfat = start != FolderStart::Fat;
  found_.Folder.Root = start == FolderStart::ExfatRoot;
  found_.Bytes.assign(sector.begin(), sector.end());
}

void FolderFinder::Close(Open& open) {
  open.Active = false;
  FoundFolder folder = std::move(open.Folder);
  folder.Length = open.Bytes.size();
  std::vector<DirEntry> entries = folder.Exfat ? ReadExfatEntries(open.Bytes) : ReadFatEntries(open.Bytes);
  std::vector<uint8_t>().swap(open.Bytes);
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
    ++entry_count_;
    folder.Entries.push_back(std::move(e));
  }
  if (folders_.size() < limits_.MaxFolders) folders_.push_back(std::move(folder));
}

void FolderFinder::Finish() {
  if (found_.Active) Close(found_);
  for (auto& [offset, open] : expected_) {
    if (open.Active && !open.Bytes.empty()) Close(open);
  }
  std::sort(folders_.begin(), folders_.end(),
            [](const FoundFolder& a, const FoundFolder& b) { return a.Offset < b.Offset; });
}

}  // namespace snapsalvager::filesystems
