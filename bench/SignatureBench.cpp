// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// Cost of DetectFileHeader per sector: on sectors that start no file (the common case, run
// for every sector of a card) and on a realistic mix of a photo card.
#include <benchmark/benchmark.h>

#include <random>
#include <string>
#include <vector>

#include "carving/Signatures.h"
#include "fixtures/CardImage.h"

namespace {

using namespace snapsalvager;

constexpr uint32_t BatchSectors = 200;  // one scan batch

TRecogniserInputs Inputs(int kind) {
  TRecogniserInputs in;
  in.ChosenVideoExt = "MOV";
  switch (kind) {
    case 0:  // a Canon camera, photos and videos
      for (auto t : {"JPG", "CRW", "CR2", "MOV", "AVI"}) in.Enable(t);
      in.IsCanonCamera = true;
      break;
    case 1:  // a Nikon camera with photos, videos and audio
      for (auto t :
           {"JPG", "NEF", "MOV", "AVI", "MP4", "3GP", "MTS", "MPG", "ASF", "WAV", "MP3", "AMR"})
        in.Enable(t);
      break;
    default:  // every type
      in.FileTypeEnabled.fill(true);
      break;
  }
  return in;
}

const char* InputsName(int kind) {
  return kind == 0 ? "canon" : kind == 1 ? "nikon_all_kinds" : "every_type";
}

void Run(benchmark::State& state, const std::vector<uint8_t>& batch, int kind) {
  TSignatureRecogniser recogniser(Inputs(kind));
  std::string type;
  int64_t found = 0;
  for (auto _ : state) {
    for (uint32_t s = 0; s < BatchSectors; ++s)
      found += recogniser.DetectFileHeader(batch.data() + s * 512, type);
    benchmark::DoNotOptimize(found);
  }
  state.SetItemsProcessed(state.iterations() * BatchSectors);
  // Seconds per sector (printed with an SI prefix, "n" for nanoseconds).
  state.counters["per_sector"] =
      benchmark::Counter(static_cast<double>(state.iterations()) * BatchSectors,
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  state.SetLabel(InputsName(kind));
}

// Compressed photo data: bytes with no structure.
void BM_DetectNonHeaderNoise(benchmark::State& state) {
  fixtures::CardImage card(BatchSectors);
  card.noise(11);
  Run(state, card.bytes(), static_cast<int>(state.range(0)));
}
BENCHMARK(BM_DetectNonHeaderNoise)->Arg(0)->Arg(1)->Arg(2);

// Unused space of a card: zero sectors, which share their first bytes with the ISO media
// and MPEG patterns.
void BM_DetectNonHeaderZero(benchmark::State& state) {
  Run(state, std::vector<uint8_t>(BatchSectors * 512, 0), static_cast<int>(state.range(0)));
}
BENCHMARK(BM_DetectNonHeaderZero)->Arg(0)->Arg(1)->Arg(2);

// A photo card: mostly photo data, some free space (zeros and FF), a header every few
// hundred sectors (JPEG photos, raw files, a video).
void BM_DetectRealisticMix(benchmark::State& state) {
  constexpr uint32_t Sectors = 20 * BatchSectors;
  fixtures::CardImage card(Sectors);
  card.noise(5);
  std::mt19937 rng(7);
  const char* headers[] = {"JPG", "JPG", "JPG", "CR2", "CRW", "MOV"};
  for (uint32_t s = 0; s < Sectors; ++s) {
    const uint32_t r = rng() % 1000;
    if (r < 80)
      card.place(s, std::vector<uint8_t>(512, 0));
    else if (r < 100)
      card.place(s, std::vector<uint8_t>(512, 0xFF));
    else if (r < 103)
      card.header(s, headers[rng() % 6]);
  }
  TSignatureRecogniser recogniser(Inputs(static_cast<int>(state.range(0))));
  std::string type;
  int64_t found = 0;
  const uint8_t* data = card.bytes().data();
  for (auto _ : state) {
    recogniser.ResetSignatureState();
    for (uint32_t s = 0; s < Sectors; ++s)
      found += recogniser.DetectFileHeader(data + uint64_t{s} * 512, type);
    benchmark::DoNotOptimize(found);
  }
  state.SetItemsProcessed(state.iterations() * Sectors);
  state.counters["per_sector"] =
      benchmark::Counter(static_cast<double>(state.iterations()) * Sectors,
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  state.SetLabel(InputsName(static_cast<int>(state.range(0))));
}
BENCHMARK(BM_DetectRealisticMix)->Arg(0)->Arg(1)->Arg(2);

// The deep scan's extra recognitions (brand, JPEG without APPn, transport stream sync) on
// what a card mostly holds: they run only in a deep scan, after the table said no.
void BM_DeepRecognitionNonHeader(benchmark::State& state) {
  fixtures::CardImage card(BatchSectors);
  card.noise(11);
  std::vector<uint8_t> batch = card.bytes();
  if (state.range(0) == 1) std::fill(batch.begin(), batch.end(), 0);
  int64_t found = 0;
  for (auto _ : state) {
    for (uint32_t s = 1; s < BatchSectors; ++s) {
      const uint8_t* sector = batch.data() + s * 512;
      found += !BrandType(sector, 512).empty() + !DetectDeepHeader(sector, sector - 512, 512).empty();
    }
    benchmark::DoNotOptimize(found);
  }
  state.counters["per_sector"] =
      benchmark::Counter(static_cast<double>(state.iterations()) * (BatchSectors - 1),
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  state.SetLabel(state.range(0) == 1 ? "zero" : "noise");
}
BENCHMARK(BM_DeepRecognitionNonHeader)->Arg(0)->Arg(1);

}  // namespace

BENCHMARK_MAIN();
