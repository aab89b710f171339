// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// The decoding half of filling a preview page: six 12-megapixel camera photos read back from
// their temporary files (bounded, head unscrambled), then decoded at one eighth scale. The
// whole page, window included, is timed by PreviewPageBench.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <thread>
#include <string>
#include <vector>

#include "fixtures/Jpegs.h"
#include "metadata/JpegDecode.h"

namespace fs = std::filesystem;

namespace {

// Six temporary files of camera photos, made once per process.
const std::vector<fs::path>& CameraTempFiles() {
  static const std::vector<fs::path> files = [] {
    const fs::path dir = fs::temp_directory_path() / ("preview-bench-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    std::vector<fs::path> paths;
    for (uint32_t i = 1; i <= 6; ++i) {
      const fs::path p = dir / ("Temporary_v5_File000" + std::to_string(i) + "_JPG.~QX");
      fixtures::WriteTemporaryFile(p, fixtures::CameraJpeg12MP(i));
      paths.push_back(p);
    }
    std::atexit([] {
      std::error_code ec;
      fs::remove_all(fs::temp_directory_path() / ("preview-bench-" + std::to_string(::getpid())), ec);
    });
    return paths;
  }();
  return files;
}

void BM_DecodeOneCameraPhotoAtOneEighth(benchmark::State& state) {
  const std::vector<uint8_t> bytes = snapsalvager::ReadPreviewBytes(CameraTempFiles()[0], true);
  for (auto _ : state) {
    auto picture = snapsalvager::DecodeJpeg(bytes.data(), bytes.size(), 8);
    benchmark::DoNotOptimize(picture.Pixels.data());
  }
  state.counters["file_MB"] = static_cast<double>(bytes.size()) / 1e6;
}
BENCHMARK(BM_DecodeOneCameraPhotoAtOneEighth)->Unit(benchmark::kMillisecond);

void BM_ReadAndDecodeSixCameraPhotos(benchmark::State& state) {
  const auto& files = CameraTempFiles();
  for (auto _ : state) {
    for (const fs::path& p : files) {
      snapsalvager::TJpegImage image;
      image.LoadFromBytes(snapsalvager::ReadPreviewBytes(p, true));
      auto picture = image.Decode(8);
      benchmark::DoNotOptimize(picture.Pixels.data());
    }
  }
}
BENCHMARK(BM_ReadAndDecodeSixCameraPhotos)->Unit(benchmark::kMillisecond);

// What the page fill runs: the six files of a page on as many threads as there are cores.
void BM_DecodePreviewPageOfSixCameraPhotos(benchmark::State& state) {
  const auto& files = CameraTempFiles();
  const unsigned threads = static_cast<unsigned>(state.range(0));
  for (auto _ : state) {
    auto results = snapsalvager::DecodePreviewFiles(files, true, 8, threads);
    benchmark::DoNotOptimize(results.data());
  }
}
BENCHMARK(BM_DecodePreviewPageOfSixCameraPhotos)
    ->Arg(1)
    ->Arg(2)
    ->Arg(std::max(1u, std::thread::hardware_concurrency()))
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
