// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// The join search: for each break, the first piece is read back and decoded; then every
// cluster start past it, nearest first, that could continue the entropy-coded data is tried
// as the second piece until one decodes cleanly to the EOI.
#include "carving/SplitPhotos.h"

#include <algorithm>
#include <map>

#include "carving/JpegContinuation.h"
#include "formats/ByteReaders.h"

namespace snapsalvager {
namespace {

constexpr uint64_t kSector = 512;
// As the temporary files of photos: no photo is carved longer.
constexpr uint64_t kMaxPhotoBytes = 52428800;
constexpr uint32_t kChunkSectors = 2048;  // the card is read on in 1 MiB steps
// Where the break was seen by a stray marker or a restart marker out of turn, the foreign
// data may have begun a little earlier: cluster starts this far back are tried as the first
// piece's end (at least kMinBreakTries of them).
constexpr uint64_t kBreakLookBack = 64 * 1024;
constexpr uint64_t kMinBreakTries = 3;
// Bytes decoded per break, first pieces included: a gap full of another photo's data makes
// every cluster look right, and each try then decodes up to that photo's end (about 5 s).
constexpr uint64_t kDecodeBudget = 512ull << 20;
// Fewer bytes of 0x80 or more than this in a sector: text, zeros, a table, never entropy data.
constexpr int kMinHighBytes = 8;


// Card bytes from a base sector on, read when first needed; unreadable sectors are zeros,
// as the scan carves them.
class TCardWindow {
 public:
  TCardWindow(const TSectorReader& read, uint64_t base, uint64_t end)
      : read_(read), base_(base), end_(std::max(base, end)) {}

  // Whether the first bytes bytes are held, reading on when needed.
  bool Ensure(uint64_t bytes) noexcept {
    try {
      while (bytes_.size() < bytes) {
        const uint64_t next = base_ + bytes_.size() / kSector;
        if (next >= end_) return false;
        const uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(kChunkSectors, end_ - next));
        const size_t old = bytes_.size();
        bytes_.resize(old + n * kSector);
        if (!read_(next, n, bytes_.data() + old)) {
          for (uint32_t k = 0; k < n; ++k) {
            uint8_t* slot = bytes_.data() + old + k * kSector;
            if (!read_(next + k, 1, slot)) std::fill(slot, slot + kSector, 0);
          }
        }
      }
      return true;
    } catch (...) {
      return false;  // out of memory: the search ends here
    }
  }
  const uint8_t* At(uint64_t offset) const { return bytes_.data() + offset; }
  uint64_t Size() const { return bytes_.size(); }

 private:
  const TSectorReader& read_;
  uint64_t base_;
  uint64_t end_;
  std::vector<uint8_t> bytes_;
};

struct TPieceContext {
  TCardWindow* window;
  uint64_t start;   // the second piece's first byte in the window
  bool asked;       // the decoder read the whole first piece and wanted more
  uint64_t handed;  // bytes of the second piece handed to the decoder
};

bool ReadPiece(void* context, uint64_t offset, const uint8_t** data, size_t* size) {
  auto* piece = static_cast<TPieceContext*>(context);
  piece->asked = true;
  if (piece->window == nullptr) return false;
  const uint64_t at = piece->start + offset;
  if (!piece->window->Ensure(at + 1)) return false;
  *data = piece->window->At(at);
  *size = static_cast<size_t>(piece->window->Size() - at);
  piece->handed += *size;
  return true;
}

// The number the next restart marker after the first piece must carry, or -1 when the
// photo has none or the piece shows none of its scan's.
int ExpectedRestart(const std::vector<uint8_t>& first, uint64_t size, unsigned interval) {
  if (interval == 0) return -1;
  for (uint64_t k = size; k-- > 1;) {
    if (first[k - 1] != 0xFF) continue;
    const uint8_t m = first[k];
    if (m >= 0xD0 && m <= 0xD7) return (m - 0xD0 + 1) & 7;
    if (m == 0xDA) return 0;
  }
  return -1;
}

// Whether a sector could carry on a photo's entropy-coded data: no header, bytes of the
// kind, only stuffed bytes, restart markers (the expected one first) and the EOI.
bool CouldContinue(const uint8_t* s, int expectedRestart) {
  if (s[0] == 0xFF && s[1] == 0xD8) return false;
  int high = 0;
  bool restartSeen = false;
  for (uint64_t i = 0; i < kSector; ++i) {
    if (s[i] >= 0x80) ++high;
    if (s[i] != 0xFF || i + 1 == kSector) continue;
    const uint8_t m = s[i + 1];
    if (m == 0x00 || m == 0xFF) continue;
    if (m == 0xD9) return true;  // the photo ends here: what follows is none of its own
    if (m < 0xD0 || m > 0xD7) return false;
    if (expectedRestart >= 0 && !restartSeen && m - 0xD0 != expectedRestart) return false;
    restartSeen = true;
  }
  return high >= kMinHighBytes;
}

bool Claimed(const std::vector<TClaimedRun>& runs, uint64_t first, uint64_t end) {
  auto it = std::upper_bound(runs.begin(), runs.end(), first,
                             [](uint64_t s, const TClaimedRun& r) { return s < r.First; });
  if (it != runs.begin() && std::prev(it)->End > first) return true;
  return it != runs.end() && it->First < end;
}

std::optional<TClusterGeometry> FromBootSector(const uint8_t* s, uint64_t lba) {
  if (s[510] != 0x55 || s[511] != 0xAA || (s[0] != 0xEB && s[0] != 0xE9)) return std::nullopt;
  const uint32_t perCluster = s[13], reserved = Le16(s + 14), fats = s[16];
  const uint32_t fat = Le16(s + 22) != 0 ? Le16(s + 22) : Le32(s + 36);
  const bool powerOfTwo = perCluster != 0 && (perCluster & (perCluster - 1)) == 0;
  if (Le16(s + 11) != kSector || !powerOfTwo || reserved == 0 || fats == 0 || fats > 2 || fat == 0) {
    return std::nullopt;
  }
  const uint64_t data = lba + reserved + uint64_t{fats} * fat + (Le16(s + 17) * 32 + kSector - 1) / kSector;
  return TClusterGeometry{perCluster, static_cast<uint32_t>(data % perCluster)};
}

// The first piece's bytes from its first sector up to sector end.
bool ReadFirstPiece(const TSectorReader& read, uint64_t first, uint64_t end, std::vector<uint8_t>& bytes) {
  TCardWindow window(read, first, end);
  if (!window.Ensure((end - first) * kSector)) return false;
  bytes.assign(window.At(0), window.At(0) + (end - first) * kSector);
  return true;
}

// Tries the second pieces for a first piece of firstBytes; the photo when one joins.
std::optional<TJoinedPhoto> SearchGaps(const TJoinSearch& search, const TPhotoBreak& brk,
                                       const std::vector<uint8_t>& first, uint64_t firstBytes,
                                       int expected, uint64_t& decoded) {
  const uint64_t breakSector = brk.FirstSector + firstBytes / kSector;
  const uint64_t cluster = search.Clusters.Sectors;
  const uint64_t windowEnd = std::min(search.EndSector, breakSector + (kMaxGapBytes + kMaxPhotoBytes) / kSector);
  TCardWindow window(search.Read, breakSector, windowEnd);
  for (uint64_t gap = cluster; gap * kSector <= kMaxGapBytes; gap += cluster) {
    const uint64_t start = breakSector + gap;
    if (start >= search.EndSector || decoded >= kDecodeBudget) break;
    if (search.Stopped && search.Stopped()) break;
    if (Claimed(search.Claimed, start, start + 1)) continue;
    if (!window.Ensure((gap + 1) * kSector) || !CouldContinue(window.At(gap * kSector), expected)) continue;
    TPieceContext piece{&window, gap * kSector, false, 0};
    const TJoinDecode joined = DecodeJoined(first.data(), firstBytes, ReadPiece, &piece);
    decoded += firstBytes + piece.handed;
    if (joined.Verdict != TJoinVerdict::Clean) continue;
    const uint64_t secondEnd = start + (joined.SecondBytes + kSector - 1) / kSector;
    if (firstBytes + joined.SecondBytes > kMaxPhotoBytes || Claimed(search.Claimed, start, secondEnd)) continue;
    TJoinedPhoto photo;
    photo.FirstSector = brk.FirstSector;
    photo.FirstBytes = firstBytes;
    photo.SecondSector = start;
    photo.SecondBytes = joined.SecondBytes;
    photo.Bytes.assign(first.begin(), first.begin() + static_cast<ptrdiff_t>(firstBytes));
    photo.Bytes.insert(photo.Bytes.end(), window.At(gap * kSector), window.At(gap * kSector) + joined.SecondBytes);
    return photo;
  }
  return std::nullopt;
}

}  // namespace

TClusterGeometry CardClusterGeometry(const TSectorReader& read, uint64_t firstSector,
                                     const std::vector<uint64_t>& fileStarts) {
  uint8_t sector[kSector];
  if (read(firstSector, 1, sector)) {
    if (auto geometry = FromBootSector(sector, firstSector)) return *geometry;
    static constexpr uint8_t kFatTypes[] = {0x01, 0x04, 0x06, 0x0B, 0x0C, 0x0E};
    const uint8_t* entry = sector + 446;
    const uint64_t lba = Le32(entry + 8);
    const bool fat = std::find(std::begin(kFatTypes), std::end(kFatTypes), entry[4]) != std::end(kFatTypes);
    if (sector[510] == 0x55 && sector[511] == 0xAA && fat && lba != 0 && read(firstSector + lba, 1, sector)) {
      if (auto geometry = FromBootSector(sector, firstSector + lba)) return *geometry;
    }
  }
  // Files start at cluster starts: the largest cluster most starts agree on.
  constexpr size_t kMinStarts = 8;
  if (fileStarts.size() >= kMinStarts) {
    for (uint32_t cluster = 128; cluster >= 2; cluster /= 2) {
      std::map<uint32_t, size_t> residues;
      for (uint64_t s : fileStarts) ++residues[static_cast<uint32_t>(s % cluster)];
      const auto most = std::max_element(residues.begin(), residues.end(),
                                         [](const auto& a, const auto& b) { return a.second < b.second; });
      if (most->second * 10 >= fileStarts.size() * 9) return {cluster, most->first};
    }
  }
  return {};
}

std::vector<TClaimedRun> MergedRuns(std::vector<TClaimedRun> runs) {
  std::sort(runs.begin(), runs.end(), [](const TClaimedRun& a, const TClaimedRun& b) { return a.First < b.First; });
  std::vector<TClaimedRun> merged;
  for (const TClaimedRun& run : runs) {
    if (!merged.empty() && run.First <= merged.back().End) {
      merged.back().End = std::max(merged.back().End, run.End);
    } else {
      merged.push_back(run);
    }
  }
  return merged;
}

std::optional<TJoinedPhoto> FindSecondPiece(const TJoinSearch& search, const TPhotoBreak& brk) {
  const uint64_t cluster = std::max<uint32_t>(1, search.Clusters.Sectors);
  const uint64_t seen = brk.FirstSector + std::min(brk.BreakOffset, kMaxPhotoBytes) / kSector;
  if (!search.Read || seen <= brk.FirstSector || seen > search.EndSector) return std::nullopt;
  std::vector<uint8_t> first;
  if (!ReadFirstPiece(search.Read, brk.FirstSector, seen, first)) return std::nullopt;
  TJoinSearch aligned = search;
  aligned.Clusters.Sectors = static_cast<uint32_t>(cluster);
  // The cluster start at or before the sector where the break was seen, then earlier ones.
  const uint64_t back = (seen + cluster - search.Clusters.Residue % cluster) % cluster;
  if (back >= seen - brk.FirstSector) return std::nullopt;  // no cluster starts inside the photo
  uint64_t end = seen - back;
  uint64_t decoded = 0;
  const uint64_t tries = std::max(kMinBreakTries, kBreakLookBack / (cluster * kSector));
  uint64_t readable = UINT64_MAX;  // the decoder complained within this many bytes
  for (uint64_t t = 0; t < tries && end > brk.FirstSector; ++t, end -= std::min(end, cluster)) {
    if (search.Stopped && search.Stopped()) break;
    const uint64_t firstBytes = (end - brk.FirstSector) * kSector;
    if (firstBytes > readable) continue;  // holds what the decoder stumbled on
    // The first piece alone must decode without a complaint up to its last byte; one that
    // does not still holds foreign data.
    TPieceContext none{nullptr, 0, false, 0};
    const TJoinDecode alone = DecodeJoined(first.data(), firstBytes, ReadPiece, &none);
    decoded += firstBytes;
    if (alone.Verdict != TJoinVerdict::Broken) break;  // no photo to join, or a whole one
    if (!none.asked) {
      readable = alone.FirstRead;
      continue;
    }
    const int expected = ExpectedRestart(first, firstBytes, alone.RestartInterval);
    if (auto photo = SearchGaps(aligned, brk, first, firstBytes, expected, decoded)) return photo;
  }
  return std::nullopt;
}

}  // namespace snapsalvager
