// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// What the folder finder adds to the one pass over a card: photo data (the cheap test turns
// almost every sector away) and a FAT32 card's folders (entries parsed and kept).
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "filesystems/FolderFinder.h"
#include "fixtures/FatCards.h"

namespace {

using snapsalvager::filesystems::FolderFinder;

void FeedAll(benchmark::State& state, const std::vector<uint8_t>& bytes) {
  for (auto _ : state) {
    FolderFinder finder;
    for (size_t at = 0; at < bytes.size(); at += 1 << 20) {
      finder.Feed(at, std::span(bytes).subspan(at, std::min<size_t>(1 << 20, bytes.size() - at)));
    }
    finder.Finish();
    benchmark::DoNotOptimize(finder.Folders().data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes.size()));
}

void BM_PhotoData(benchmark::State& state) {
  std::vector<uint8_t> bytes(64u << 20);
  std::mt19937 rng(1);
  for (auto& b : bytes) b = static_cast<uint8_t>(rng());
  FeedAll(state, bytes);
}
BENCHMARK(BM_PhotoData)->Unit(benchmark::kMillisecond);

void BM_CardWithFolders(benchmark::State& state) {
  fixtures::FatCard card({.Kind = fixtures::FatCardKind::Fat32});
  std::vector<uint8_t> photo(20000, 0x5A);
  for (int folder = 100; folder < 110; ++folder) {
    for (int i = 0; i < 100; ++i) {
      card.AddFile("DCIM/" + std::to_string(folder) + "CANON/IMG_" + std::to_string(1000 + i) + ".JPG", photo);
    }
  }
  FeedAll(state, card.Image());
}
BENCHMARK(BM_CardWithFolders)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
