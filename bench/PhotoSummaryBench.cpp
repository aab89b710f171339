// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// The photo summary of one carved camera photo, as the scan computes it for every JPEG: a
// 12-megapixel photo (a few MB, MakerNote, thumbnail, GPS) in its temporary file, read with
// the page cache warm. Goal: under 100 us per photo.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "fixtures/Jpegs.h"
#include "fixtures/Photos.h"
#include "metadata/ExifReader.h"
#include "metadata/PhotoSummary.h"

namespace fs = std::filesystem;

namespace {

// Made once per process; empty when exiftool is missing.
const fs::path& CameraTempFile() {
  static const fs::path file = []() -> fs::path {
    const fs::path dir = fs::temp_directory_path() / ("summary-bench-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    fixtures::PhotoSpec want;
    want.Width = 4000;
    want.Height = 3000;
    want.Texture = 12;
    want.MakerNoteBytes = 32 * 1024;  // Nikon and Sony write notes of this order
    const fs::path photo = dir / "photo.jpg", temp = dir / "Temporary_v5_File0001_JPG.~QX";
    std::string error;
    if (!fixtures::MakeExifPhoto(want, photo, &error)) {
      std::fprintf(stderr, "cannot make the photo: %s\n", error.c_str());
      return {};
    }
    fixtures::WriteTemporaryFile(temp, fixtures::ReadWholeFile(photo));
    fs::remove(photo);
    std::fprintf(stderr, "camera photo: %ju bytes\n", static_cast<uintmax_t>(fs::file_size(temp)));
    return temp;
  }();
  return file;
}

void BM_GetPhotoSummary(benchmark::State& state) {
  const fs::path& file = CameraTempFile();
  if (file.empty()) {
    state.SkipWithError("exiftool is not installed");
    return;
  }
  const std::string expected = snapsalvager::GetPhotoSummary(file);
  if (expected == "N/A") {
    state.SkipWithError("the photo has no readable Exif block");
    return;
  }
  for (auto _ : state) {
    std::string summary = snapsalvager::GetPhotoSummary(file);
    benchmark::DoNotOptimize(summary);
  }
  state.SetLabel(expected);
}
BENCHMARK(BM_GetPhotoSummary)->Unit(benchmark::kMicrosecond);

void BM_ReadExifTags(benchmark::State& state) {
  const fs::path& file = CameraTempFile();
  if (file.empty()) {
    state.SkipWithError("exiftool is not installed");
    return;
  }
  for (auto _ : state) {
    std::vector<std::string> lines;
    benchmark::DoNotOptimize(snapsalvager::ReadExifTags(file, lines));
  }
}
BENCHMARK(BM_ReadExifTags)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::error_code ec;
  if (!CameraTempFile().empty()) fs::remove_all(CameraTempFile().parent_path(), ec);
  return 0;
}
