// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// Deep scan against the carving rule on generated camera cards whose contents are known:
// recall of the files lying whole on the card, bytes written per byte of the files
// recovered, and scan time. Prints one row per card and mode, then the totals.
//
//   DeepScanBench [work-folder [card-MiB]]   (defaults: a folder under the system's temp
//                                            folder, 256 MiB cards)
// The damaged cards of the tests (files over older files, size-0 boxes, false headers) and
// reused cards with photos in two pieces are measured first; they need no tools.
// DEEP_BENCH_KEEP_CARDS=1 keeps the card images (to run another tool, say PhotoRec, on them);
// DEEP_BENCH_ONLY=full (camera, quick-formatted, nearly-empty, damaged, fragmented) measures one
// card kind alone.
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "BenchCard.h"
#include "fixtures/DamagedCards.h"
#include "session/ScanThread.h"
#include "metadata/PhotoSummary.h"
#include "card/LinuxDrives.h"
#include "session/ScanOptions.h"

namespace {

namespace fs = std::filesystem;
using namespace snapsalvager;
using Bytes = std::vector<uint8_t>;

Bytes ReadFile(const fs::path& path, bool scrambled) {
  std::ifstream in(path, std::ios::binary);
  Bytes bytes((std::istreambuf_iterator<char>(in)), {});
  if (scrambled) {
    for (size_t i = 0; i < bytes.size() && i < 512; ++i) bytes[i] ^= 0xD3;
  }
  return bytes;
}

class TQuiet : public TScanEvents {
 public:
  void SetProgressPosition(uint64_t) override {}
  void SetProgressMaximum(uint64_t) override {}
  void StepProgress() override {}
  void SetLabelText(TScanLabel, const std::string&) override {}
  void AddFoundFile(const std::string&, const std::string&, int64_t) override {}
  void Finish(const std::string& text) override { error = text; }
  std::string error;
};

struct TFigures {
  size_t Whole = 0, Files = 0;
  uint64_t Written = 0, RecoveredBytes = 0;
  double Seconds = 0;
  double CpuSeconds = 0;  // of the whole process: steadier than the clock on a busy machine
  std::vector<std::string> Missed;
};

// Scans the image with every kind sought and returns what it found, the temporary files
// left in temp.
TFigures Scan(const benchcard::Card& card, bool deep, const fs::path& temp) {
  fs::remove_all(temp);
  fs::create_directories(temp);
  const char letter = LinuxDrives::AttachImage(card.Image.string());
  TQuiet events;
  TFoundFileList found;
  TDigitalReadThread scan(events, [](const std::function<void()>& call) { call(); }, found);
  scan.Drive.Letter = letter;
  scan.Drive.DriveNumber = static_cast<uint8_t>(letter - 'A' + 1);
  scan.Drive.SectorCount = static_cast<uint32_t>(fs::file_size(card.Image) / 512);
  scan.Drive.SectorSize = 512;
  scan.Card = DriveSectors(scan.Drive.DriveNumber);
  scan.TempFolder = temp.string() + "/";
  scan.Inputs = MakeRecogniserInputs("Generic Digital Camera", true, true, true, "ALL");
  scan.DescribeFile = DescribeFoundFile;
  scan.DeepScan = deep;
  const auto start = std::chrono::steady_clock::now();
  const std::clock_t cpuStart = std::clock();
  scan.Start();
  scan.WaitFor(3600 * 1000);
  TFigures f;
  f.Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  f.CpuSeconds = static_cast<double>(std::clock() - cpuStart) / CLOCKS_PER_SEC;
  if (!events.error.empty()) std::fprintf(stderr, "scan error: %s\n", events.error.c_str());

  // A file is recovered whole when some found file begins with all of its bytes; each
  // found file counts once (a full card holds the same shots many times).
  std::multimap<std::string, Bytes> byHead;
  for (size_t i = 0; i < found.Count(); ++i) {
    f.Written += static_cast<uint64_t>(found[i].Size);
    Bytes bytes = ReadFile(found[i].TempFile, true);
    std::string head(bytes.begin(), bytes.begin() + std::min<size_t>(64, bytes.size()));
    byHead.emplace(head, std::move(bytes));
  }
  for (const benchcard::File& file : card.Files) {
    ++f.Files;
    const Bytes original = ReadFile(file.Path, false);
    const std::string head(original.begin(), original.begin() + std::min<size_t>(64, original.size()));
    auto [from, to] = byHead.equal_range(head);
    bool whole = false;
    for (auto it = from; it != to; ++it) {
      whole = it->second.size() >= original.size() &&
              std::equal(original.begin(), original.end(), it->second.begin());
      if (whole) {
        byHead.erase(it);
        break;
      }
    }
    if (whole) {
      ++f.Whole;
      f.RecoveredBytes += original.size();
    } else {
      f.Missed.push_back(file.Path.filename().string());
    }
  }
  LinuxDrives::DetachAll();
  fs::remove_all(temp);
  return f;
}

void Print(const char* card, const char* mode, const TFigures& f) {
  std::printf("%-16s %-8s recall %3zu/%-3zu = %.3f   written %8.1f MB / recovered %7.1f MB = %6.2f   %7.2f s  cpu %6.2f s\n",
              card, mode, f.Whole, f.Files, f.Files ? double(f.Whole) / double(f.Files) : 0.0,
              double(f.Written) / 1e6, double(f.RecoveredBytes) / 1e6,
              f.RecoveredBytes ? double(f.Written) / double(f.RecoveredBytes) : 0.0, f.Seconds,
              f.CpuSeconds);
  std::string missed;
  for (const std::string& name : f.Missed) missed += " " + name;
  if (!missed.empty()) std::printf("%-16s %-8s not whole:%s\n", card, mode, missed.c_str());
}

void Add(TFigures& total, const TFigures& f) {
  total.Whole += f.Whole;
  total.Files += f.Files;
  total.Written += f.Written;
  total.RecoveredBytes += f.RecoveredBytes;
  total.Seconds += f.Seconds;
  total.CpuSeconds += f.CpuSeconds;
}

// The damaged cards as image files with their whole files beside them (the card that
// needs a file-size limit is left out: the benchmark writes without one).
std::vector<benchcard::Card> DamagedCards(const fs::path& dir) {
  std::vector<benchcard::Card> cards;
  for (const snapsalvager::fixtures::DamagedCard& damaged : snapsalvager::fixtures::DamagedCards()) {
    if (damaged.FileSizeLimit != 0) continue;
    benchcard::Card card;
    card.Image = dir / ("damaged-" + damaged.Name + ".img");
    damaged.Image.writeTo(card.Image);
    const fs::path media = dir / ("damaged-" + damaged.Name);
    fs::create_directories(media);
    for (const snapsalvager::fixtures::PlacedFile& file : damaged.Whole) {
      benchcard::File f;
      f.Path = media / file.Name;
      std::ofstream(f.Path, std::ios::binary)
          .write(reinterpret_cast<const char*>(file.Bytes.data()), static_cast<std::streamsize>(file.Bytes.size()));
      card.Files.push_back(f);
    }
    cards.push_back(std::move(card));
  }
  return cards;
}

// Reused FAT32 cards whose photos lie in two pieces (the test builder's, larger): the files
// to find are the whole ones and every split photo as the camera wrote it.
std::vector<benchcard::Card> FragmentedCards(const fs::path& dir, int photos) {
  std::vector<benchcard::Card> cards;
  for (uint32_t cluster : {4096u, 32768u, 65536u}) {
    for (bool restart : {false, true}) {
      const snapsalvager::fixtures::FragmentedCard fragmented =
          snapsalvager::fixtures::MakeFragmentedCard(cluster, restart, photos, 7);
      benchcard::Card card;
      card.Image = dir / (fragmented.Name + ".img");
      fragmented.Image.writeTo(card.Image);
      const fs::path media = dir / fragmented.Name;
      fs::create_directories(media);
      auto keep = [&](const std::string& name, const Bytes& bytes) {
        benchcard::File f;
        f.Path = media / name;
        std::ofstream(f.Path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        card.Files.push_back(f);
      };
      for (const auto& file : fragmented.Whole) keep(file.Name, file.Bytes);
      for (size_t i = 0; i < fragmented.Split.size(); ++i) {
        keep("split-" + std::to_string(i) + "-" + fragmented.Split[i].Gap, fragmented.Split[i].Bytes);
      }
      cards.push_back(std::move(card));
    }
  }
  return cards;
}

// Both modes on one card, the rule first (which also brings the image into the page cache).
void Measure(const benchcard::Card& card, const char* name, const fs::path& dir, TFigures totals[2]) {
  for (int deep = 0; deep < 2; ++deep) {
    if (deep == 0) Scan(card, false, dir / "TmpFiles");
    const TFigures f = Scan(card, deep == 1, dir / "TmpFiles");
    Print(name, deep ? "deep" : "default", f);
    Add(totals[deep], f);
  }
}

}  // namespace

int main(int argc, char** argv) {
  const fs::path dir = argc > 1 ? fs::path(argv[1]) : fs::temp_directory_path() / "snapsalvager-deep-bench";
  fs::create_directories(dir);
  const uint32_t sizeMiB = argc > 2 ? static_cast<uint32_t>(std::max(64, std::atoi(argv[2]))) : 256;
  const char* only = std::getenv("DEEP_BENCH_ONLY");  // one card kind, by name
  TFigures damaged[2];
  if (only == nullptr || std::string(only) == "damaged") {
    for (const benchcard::Card& card : DamagedCards(dir)) Measure(card, "damaged", dir, damaged);
    Print("damaged cards", "default", damaged[0]);
    Print("damaged cards", "deep", damaged[1]);
  }
  if (only == nullptr || std::string(only) == "fragmented") {
    TFigures fragmented[2];
    for (const benchcard::Card& card : FragmentedCards(dir, 48)) {
      Measure(card, card.Image.stem().c_str(), dir, fragmented);
      fs::remove(card.Image);
    }
    Print("fragmented", "default", fragmented[0]);
    Print("fragmented", "deep", fragmented[1]);
  }
  if (!benchcard::ToolsAvailable()) {
    std::fprintf(stderr, "DeepScanBench needs ffmpeg, mkfs.fat and mtools for the camera cards\n");
    return 0;
  }
  TFigures totals[2];
  for (benchcard::Kind kind :
       {benchcard::Kind::Camera, benchcard::Kind::QuickFormatted, benchcard::Kind::NearlyEmpty,
        benchcard::Kind::Full}) {
    if (only != nullptr && std::string(only) != benchcard::Name(kind)) continue;
    const benchcard::Card card = benchcard::Make(dir, kind, sizeMiB);
    Measure(card, benchcard::Name(kind), dir, totals);
    if (std::getenv("DEEP_BENCH_KEEP_CARDS") == nullptr) fs::remove(card.Image);
  }
  Print("all cards", "default", totals[0]);
  Print("all cards", "deep", totals[1]);
  std::printf("deep / default scan time: %.2f, cpu time: %.2f\n",
              totals[0].Seconds > 0 ? totals[1].Seconds / totals[0].Seconds : 0.0,
              totals[0].CpuSeconds > 0 ? totals[1].CpuSeconds / totals[0].CpuSeconds : 0.0);
  return 0;
}
