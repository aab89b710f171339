// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// ReadSectors in 200-sector batches over a page-cached image file, against the plain pread
// loop it stands in for: the chunking and the drive lookup should cost next to nothing.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <vector>

#include "card/LinuxDrives.h"
#include "card/DriveReads.h"
#include "fixtures/CardImage.h"

namespace {

using namespace snapsalvager;

constexpr uint32_t ImageSectors = 64 * 2048;  // 64 MiB: stays in the page cache
constexpr uint16_t BatchSectors = 200;

std::filesystem::path ImageFile() {
  return std::filesystem::temp_directory_path() /
         ("snapsalvager-bench-" + std::to_string(::getpid()) + ".img");
}

// Written on first use; writing it leaves it in the page cache.
std::filesystem::path ImagePath() {
  static const std::filesystem::path path = [] {
    fixtures::CardImage card(ImageSectors);
    card.noise(9).writeTo(ImageFile());
    return ImageFile();
  }();
  return path;
}

void BM_ReadSectors(benchmark::State& state) {
  const char letter = LinuxDrives::AttachImage(ImagePath().string());
  const auto drive = static_cast<uint8_t>(letter - 'A' + 1);
  std::vector<uint8_t> buffer(BatchSectors * 512);
  uint32_t sector = 0;
  for (auto _ : state) {
    if (!ReadSectors(drive, sector, BatchSectors, buffer.data()))
      state.SkipWithError("read failed");
    benchmark::DoNotOptimize(buffer.data());
    sector = sector + 2 * BatchSectors > ImageSectors ? 0 : sector + BatchSectors;
  }
  CloseDrive();
  state.SetBytesProcessed(state.iterations() * BatchSectors * 512);
}
BENCHMARK(BM_ReadSectors);

void BM_PlainPread(benchmark::State& state) {
  const int fd = ::open(ImagePath().c_str(), O_RDONLY | O_CLOEXEC);
  std::vector<uint8_t> buffer(BatchSectors * 512);
  uint32_t sector = 0;
  for (auto _ : state) {
    if (::pread(fd, buffer.data(), buffer.size(), off_t{sector} * 512) !=
        static_cast<ssize_t>(buffer.size())) {
      state.SkipWithError("read failed");
    }
    benchmark::DoNotOptimize(buffer.data());
    sector = sector + 2 * BatchSectors > ImageSectors ? 0 : sector + BatchSectors;
  }
  ::close(fd);
  state.SetBytesProcessed(state.iterations() * BatchSectors * 512);
}
BENCHMARK(BM_PlainPread);

// The same two system calls per batch that ReadSectors makes (65,536 then 36,864 bytes):
// the difference to BM_ReadSectors is the cost of the layer itself.
void BM_PlainPreadInReadSectorsChunks(benchmark::State& state) {
  const int fd = ::open(ImagePath().c_str(), O_RDONLY | O_CLOEXEC);
  std::vector<uint8_t> buffer(BatchSectors * 512);
  uint32_t sector = 0;
  for (auto _ : state) {
    const off_t at = off_t{sector} * 512;
    if (::pread(fd, buffer.data(), 65536, at) != 65536 ||
        ::pread(fd, buffer.data() + 65536, 36864, at + 65536) != 36864) {
      state.SkipWithError("read failed");
    }
    benchmark::DoNotOptimize(buffer.data());
    sector = sector + 2 * BatchSectors > ImageSectors ? 0 : sector + BatchSectors;
  }
  ::close(fd);
  state.SetBytesProcessed(state.iterations() * BatchSectors * 512);
}
BENCHMARK(BM_PlainPreadInReadSectorsChunks);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::error_code ec;
  std::filesystem::remove(ImageFile(), ec);
  return 0;
}
