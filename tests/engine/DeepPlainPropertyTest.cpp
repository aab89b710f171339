// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// Deep scan never loses a file the header rule recovers: on random cards of whole and
// overwritten files of every kind the fixtures make, each file the plain carving holds from
// its first byte to its last is held so by the deep carving too. The carving loop runs on the
// card's bytes in memory (the scan thread adds nothing to where files start and end).
//
// DEEP_PROPERTY_SEEDS=n runs n seeds instead of the default 240 (a longer run by hand).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "carving/Carver.h"
#include "fixtures/DamagedCards.h"
#include "fixtures/Jpegs.h"
#include "fixtures/MediaBytes.h"
#include "session/ScanOptions.h"

namespace snapsalvager {
namespace {

using namespace mediabytes;
constexpr uint32_t kSector = 512;

// The carved files, unscrambled, in the order they were opened.
class TMemoryOutput final : public TCarverOutput {
 public:
  void OpenFile(const std::string&) override { files.emplace_back(); }
  void Write(const uint8_t* bytes, uint32_t size) override { files.back().insert(files.back().end(), bytes, bytes + size); }
  void Truncate(uint64_t length) override { files.back().resize(length); }
  void CloseFile(const std::string&) override {}
  std::vector<Bytes> files;
};

std::vector<Bytes> Carve(const Bytes& card, bool deep) {
  static const TRecogniserInputs inputs = MakeRecogniserInputs("Generic Digital Camera", true, true, true, "ALL");
  TMemoryOutput output;
  const uint64_t total = card.size() / kSector;
  TCarver carver(
      MakeCarvingRule(deep, inputs, kSector), kSector, 0, total, output,
      [&card](uint64_t q, uint8_t* out) {
        std::copy_n(card.begin() + q * kSector, kSector, out);
        return true;
      },
      [] { return false; });
  for (uint64_t p = 0; p < total; ++p) carver.Carve(card.data() + p * kSector, p, p % 64 == 63 || p == total - 1);
  carver.CloseOpenFile();
  return output.files;
}

// Every kind of file the fixtures build, small, varied by a salt.
struct TKind {
  const char* Name;
  Bytes (*Make)(uint32_t salt);
};
const std::vector<TKind>& Kinds() {
  static const std::vector<Bytes> photos = {::fixtures::EncodeJpeg(64, 48), ::fixtures::EncodeJpeg(120, 90),
                                            fixtures::ExifPhoto(96, 64, 600, 3), fixtures::ExifPhoto(160, 120, 900, 4)};
  static const std::vector<TKind> kinds = {
      {"jfif", [](uint32_t s) { return photos[s % 2]; }},
      {"exif", [](uint32_t s) { return photos[2 + s % 2]; }},
      {"wav", [](uint32_t s) { return Wav(2000 + s % 9000); }},
      {"wav-stale", [](uint32_t s) { return WavTone(6000 + s % 6000, s % 3 == 0 ? 1 : 3000); }},
      {"mov", [](uint32_t s) { return IsoMedia("qt  ", Filler(1000 + s % 12000, s)); }},
      {"mp4", [](uint32_t s) { return IsoMedia("isom", Filler(1000 + s % 12000, s)); }},
      {"mjpeg-mov", [](uint32_t s) { return IsoMedia("qt  ", Then(Filler(512 - 28), JpegFrame(3000 + s % 2000, s))); }},
      {"avi", [](uint32_t s) {
         std::vector<Bytes> frames = {Filler(2048 - 100 - 8 - 8)};
         for (uint32_t i = 0; i < 2 + s % 5; ++i) frames.push_back(JpegFrame(1536 - 8 - 136, i + s));
         return Avi(frames);
       }},
      {"asf", [](uint32_t s) { return Asf(3000 + s % 9000); }},
      {"mts", [](uint32_t s) { return TransportStream(20 + s % 40, true, static_cast<uint16_t>(0x1011 + s % 3)); }},
      {"ts", [](uint32_t s) { return TransportStream(20 + s % 40, false); }},
      {"mpg", [](uint32_t s) { return ProgramStream(2 + s % 6); }},
      {"m1v", [](uint32_t s) { return VideoElementaryStream(2 + s % 6); }},
      {"mp3", [](uint32_t s) { return Mp3(5 + s % 25); }},
      {"amr", [](uint32_t s) { return Amr(50 + s % 300); }},
      {"tiff", [](uint32_t s) { return Tiff(2048, 1000 + s % 4000); }},
  };
  return kinds;
}

struct TPlaced {
  std::string Name;
  mediabytes::Bytes Data;
  uint32_t Sector;
};

// A card of 160 to 320 noise sectors and 3 to 9 files at random sectors, later ones written
// over earlier ones; the files that still lie whole on it.
std::vector<TPlaced> RandomCard(uint32_t layout, Bytes& image) {
  std::mt19937 random(layout);
  const uint32_t sectors = 160 + random() % 161;
  fixtures::CardImage card(sectors);
  card.noise(layout);
  std::vector<TPlaced> placed;
  const int count = 3 + static_cast<int>(random() % 7);
  for (int i = 0; i < count; ++i) {
    const TKind& kind = Kinds()[random() % Kinds().size()];
    Bytes bytes = kind.Make(random());
    const uint32_t span = static_cast<uint32_t>((bytes.size() + kSector - 1) / kSector);
    if (span + 2 >= sectors) continue;
    const uint32_t at = 1 + random() % (sectors - span - 1);
    card.place(at, bytes);
    placed.push_back({kind.Name, std::move(bytes), at});
  }
  image = card.bytes();
  std::vector<TPlaced> whole;
  for (TPlaced& file : placed) {
    if (std::equal(file.Data.begin(), file.Data.end(), image.begin() + uint64_t{file.Sector} * kSector)) whole.push_back(file);
  }
  return whole;
}

// The whole files some carved file holds from its first byte.
std::vector<bool> HeldWhole(const std::vector<TPlaced>& whole, const std::vector<Bytes>& carved) {
  std::vector<bool> held;
  for (const TPlaced& file : whole) {
    held.push_back(std::any_of(carved.begin(), carved.end(), [&file](const Bytes& got) {
      return got.size() >= file.Data.size() && std::equal(file.Data.begin(), file.Data.end(), got.begin());
    }));
  }
  return held;
}

TEST(DeepPlainPropertyTest, DeepHoldsWholeEveryFileThePlainRuleHoldsWhole) {
  uint32_t seeds = 240;
  if (const char* env = std::getenv("DEEP_PROPERTY_SEEDS")) seeds = static_cast<uint32_t>(std::strtoul(env, nullptr, 10));
  int plainWhole = 0, deepWhole = 0, lost = 0;
  for (uint32_t layout = 1; layout <= seeds; ++layout) {
    Bytes image;
    const std::vector<TPlaced> whole = RandomCard(layout, image);
    const std::vector<bool> plain = HeldWhole(whole, Carve(image, false));
    const std::vector<Bytes> deepFiles = Carve(image, true);
    const std::vector<bool> deep = HeldWhole(whole, deepFiles);
    for (size_t i = 0; i < whole.size(); ++i) {
      plainWhole += plain[i];
      deepWhole += deep[i];
      if (plain[i] && !deep[i]) {
        ++lost;
        size_t held = 0;  // the most of it one deep file holds from its start
        for (const Bytes& got : deepFiles) {
          const size_t n = std::min(got.size(), whole[i].Data.size());
          held = std::max<size_t>(held, std::mismatch(got.begin(), got.begin() + n, whole[i].Data.begin()).first - got.begin());
        }
        std::string files;  // the whole files, to look at the card by hand
        for (const TPlaced& file : whole) files += " " + file.Name + "@" + std::to_string(file.Sector) + "+" + std::to_string(file.Data.size());
        ADD_FAILURE() << "card " << layout << ": deep lost the " << whole[i].Name << " at sector " << whole[i].Sector
                      << ", " << whole[i].Data.size() << " bytes; a deep file holds " << held << "; whole:" << files;
      }
    }
  }
  std::printf("whole files held: plain %d, deep %d, lost by deep %d, over %u cards\n", plainWhole, deepWhole, lost, seeds);
}


// Newer files over older containers, and sizes the data contradicts, as a user meets them:
// deep holds whole what the header rule holds whole, and starts a file at each older
// container's header.
TEST(DeepPlainPropertyTest, AHeaderInsideAContainerWinsUnlessTheContainerNamesIt) {
  struct TCase {
    const char* Name;
    std::vector<TPlaced> Files;  // in the order written; the first ones may be overwritten
    std::vector<std::string> Whole;   // held whole
    std::vector<std::string> Starts;  // a file starts at their first sector
    bool PlainFinds = true;           // the header rule knows these headers too
    std::vector<TPlaced> Parts = {};  // headers inside the files that deep starts no file at
  };
  Bytes zeroSizes = WavTone(20000);
  std::fill_n(zeroSizes.begin() + 4, 4, 0);
  std::fill_n(zeroSizes.begin() + 40, 4, 0);
  // An AVI whose RIFF and movi sizes stop after its first chunk: the recorder never came
  // back to write the final sizes.
  Bytes staleAvi = Avi({Filler(3000, 1), Filler(3000, 2), Filler(3000, 3)});
  for (const auto& [at, size] : {std::pair{4, 3100}, std::pair{92, 3012}}) {
    for (int i = 0; i < 4; ++i) staleAvi[at + i] = static_cast<uint8_t>(size >> (8 * i));
  }
  const Bytes photo = ::fixtures::EncodeJpeg(64, 48);
  const Bytes exifPhoto = fixtures::ExifPhoto(96, 64, 600, 3);
  const Bytes mp4 = IsoMedia("isom", Filler(30 * kSector));
  // Frame payloads at 2048 + 1536 k, the idx1 payload right after the last frame: all at
  // sector starts, 4 + 3 k sectors in.
  const auto avi = [](int frames) {
    std::vector<Bytes> chunks = {Filler(2048 - 100 - 8 - 8)};
    for (int i = 0; i < frames; ++i) chunks.push_back(JpegFrame(1536 - 8 - 136, i));
    return Avi(chunks);
  };
  const Bytes tiff = Tiff(2048, 1000);
  const Bytes frame = JpegFrame(3000);
  const std::vector<TCase> cases = {
      {"cr3 whose metadata track holds a tiff block at a sector start", {{"cr3", Cr3(tiff), 10}}, {"cr3"}, {}, false,
       {{"tiff", tiff, 12}}},
      {"rw2 whose JpgFromRaw starts a sector", {{"rw2", Rw2(photo, 1024, 3000), 10}}, {"rw2"}, {}, false,
       {{"preview", photo, 12}}},
      {"motion-jpeg movie whose sample table names its frames", {{"mov", Movie("qt  ", "vide", "jpeg", {frame, frame}), 10}},
       {"mov"}, {}, false, {{"frame", frame, 12}}},
      {"motion-jpeg movie whose sample table follows its frames",
       {{"mov", Movie("qt  ", "vide", "jpeg", {frame, frame}, 512, false), 10}}, {"mov"}, {}, false, {{"frame", frame, 11}}},
      {"jfif over a frame of a movie whose sample table follows",
       {{"mov", Movie("qt  ", "vide", "jpeg", {frame, frame, frame}, 512, false), 10}, {"photo", photo, 11}}, {"photo"}, {"mov"}, true},
      {"jfif over a sample the movie's table names", {{"mov", Movie("qt  ", "vide", "jpeg", {frame, frame, frame}), 10}, {"photo", photo, 12}},
       {"photo"}, {"mov"}, true},
      {"jfif over an mp4's media data", {{"mp4", mp4, 10}, {"photo", photo, 20}}, {"photo"}, {"mp4"}},
      {"exif photo over an mp4's media data", {{"mp4", mp4, 10}, {"photo", exifPhoto, 20}}, {"photo"}, {"mp4"}},
      {"wav whose sizes are 0", {{"wav", zeroSizes, 10}, {"photo", photo, 60}}, {"wav", "photo"}, {}},
      {"wav whose sizes are half the sound", {{"wav", WavTone(20000, 10000), 10}, {"photo", photo, 60}}, {"wav", "photo"}, {}},
      {"m2ts over the middle of an m2ts",
       {{"first", TransportStream(100, true, 0), 10}, {"second", TransportStream(30, true, 0), 30}},
       {"second"},
       {"first"},
       false},
      // 8 packets of 192 bytes fill 3 sectors: the second stream starts at a packet boundary,
      // its PAT's counter not the one the first stream's PAT goes on with.
      {"m2ts over an m2ts at its packet boundary",
       {{"first", TransportStream(100, true, 0), 10}, {"second", TransportStream(30, true, 0, 1000), 10 + 3 * 6}},
       {"second"},
       {"first"},
       false},
      {"program stream over an asf's data", {{"asf", Asf(40000), 10}, {"mpg", ProgramStream(4), 30}}, {"mpg"}, {"asf"}, false},
      {"avi whose chunks run on past its riff size", {{"avi", staleAvi, 10}, {"photo", photo, 60}}, {"avi", "photo"}, {}},
      {"jfif over exactly a motion-jpeg frame of an avi", {{"avi", avi(4), 10}, {"photo", photo, 10 + 4 + 3}}, {"photo"}, {"avi"}},
      {"jfif over an avi's index", {{"avi", avi(2), 10}, {"photo", photo, 10 + 4 + 3 * 2}}, {"photo"}, {"avi"}},
      {"video stream at a program stream's pack boundary",
       {{"mpg", ProgramStream(8), 10}, {"m1v", VideoElementaryStream(3), 10 + 2 * 4}},
       {"m1v"},
       {"mpg"}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    fixtures::CardImage card(120);
    card.noise(7);
    for (const TPlaced& file : c.Files) card.place(file.Sector, file.Data);
    const std::vector<Bytes> plainFiles = Carve(card.bytes(), false), deepFiles = Carve(card.bytes(), true);
    for (const TPlaced& file : c.Files) {
      const bool whole = std::find(c.Whole.begin(), c.Whole.end(), file.Name) != c.Whole.end();
      const bool starts = whole || std::find(c.Starts.begin(), c.Starts.end(), file.Name) != c.Starts.end();
      const TPlaced head{file.Name, Bytes(file.Data.begin(), file.Data.begin() + kSector), file.Sector};
      const TPlaced& held = whole ? file : head;
      if (!starts) continue;
      if (c.PlainFinds) {
        EXPECT_TRUE(HeldWhole({held}, plainFiles)[0]) << file.Name << " by the header rule";
      }
      EXPECT_TRUE(HeldWhole({held}, deepFiles)[0]) << file.Name << " by deep";
    }
    for (const TPlaced& part : c.Parts) {
      const TPlaced head{part.Name, Bytes(part.Data.begin(), part.Data.begin() + kSector), part.Sector};
      EXPECT_FALSE(HeldWhole({head}, deepFiles)[0]) << part.Name << " starts a file";
    }
  }
}

}  // namespace
}  // namespace snapsalvager
