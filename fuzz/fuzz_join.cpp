// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// Fuzzes the search for a split photo's second piece. The first four bytes pick the cluster
// size and residue, where the first piece broke off and one claimed run; the rest is the card,
// read through a reader that copies only from it. The contract is checked on every join: the
// pieces lie on the card as said, the second past the first, outside the claimed run, and
// the photo's bytes are the card's.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "carving/SplitPhotos.h"

using namespace snapsalvager;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  constexpr uint64_t kSector = 512;
  if (size < 4 + kSector) return 0;
  std::vector<uint8_t> card(data + 4, data + size);
  card.resize((card.size() + kSector - 1) / kSector * kSector, 0);
  const uint64_t sectors = card.size() / kSector;
  const TSectorReader read = [&card, sectors](uint64_t sector, uint32_t count, uint8_t* out) {
    if (sector >= sectors || count > sectors - sector) return false;
    std::memcpy(out, card.data() + sector * kSector, count * kSector);
    return true;
  };

  TJoinSearch search;
  search.Read = read;
  search.EndSector = sectors;
  search.Clusters.Sectors = 1u << (data[0] % 4);
  search.Clusters.Residue = data[1] % search.Clusters.Sectors;
  const uint64_t claimedAt = data[3] % sectors;
  search.Claimed.push_back({claimedAt, claimedAt + 1 + data[0] / 16});
  const TPhotoBreak brk{0, (1 + data[2] % sectors) * kSector};
  if (const auto photo = FindSecondPiece(search, brk)) {
    const uint64_t secondEnd = photo->SecondSector + (photo->SecondBytes + kSector - 1) / kSector;
    if (photo->Bytes.size() != photo->FirstBytes + photo->SecondBytes) __builtin_trap();
    if (photo->FirstBytes > brk.BreakOffset || photo->SecondSector * kSector < photo->FirstBytes) __builtin_trap();
    if (secondEnd > sectors || (photo->SecondSector < claimedAt + 1 + data[0] / 16 && secondEnd > claimedAt)) __builtin_trap();
    if (std::memcmp(photo->Bytes.data(), card.data(), photo->FirstBytes) != 0) __builtin_trap();
    if (std::memcmp(photo->Bytes.data() + photo->FirstBytes, card.data() + photo->SecondSector * kSector,
                    photo->SecondBytes) != 0) {
      __builtin_trap();
    }
  }
  std::vector<uint64_t> starts;
  for (size_t i = 0; i + 1 < size && starts.size() < 16; i += 97) starts.push_back(data[i] * 8u + data[i + 1] % 8);
  (void)CardClusterGeometry(read, 0, starts);
  return 0;
}
