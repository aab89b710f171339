// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// Deep scans through the carving loop: exact ends, nothing stored between a file's end and
// the next header, containers kept whole, the rule where a structure breaks, and files the
// header table misses.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>

#include <fstream>
#include <functional>
#include <algorithm>
#include <cstdio>
#include <iterator>
#include <map>
#include <optional>
#include <set>

#include "fixtures/CardImage.h"
#include "fixtures/DamagedCards.h"
#include "fixtures/Jpegs.h"
#include "fixtures/MediaBytes.h"
#include "fixtures/TempFolder.h"
#include "session/ScanThread.h"
#include "metadata/PhotoSummary.h"
#include "card/LinuxDrives.h"
#include "session/ScanOptions.h"
#include "session/Texts.h"

namespace snapsalvager {
namespace {

namespace fs = std::filesystem;
using namespace mediabytes;
using fixtures::CardImage;
constexpr uint32_t kSector = 512;

class TEvents : public TScanEvents {
 public:
  void SetProgressPosition(uint64_t) override {}
  void SetProgressMaximum(uint64_t) override {}
  void StepProgress() override {}
  void SetLabelText(TScanLabel, const std::string&) override {}
  void AddFoundFile(const std::string&, const std::string&, int64_t) override {}
  void Finish(const std::string& text) override { error = text; }
  void SetJoinProgress(uint32_t done, uint32_t total) override {
    if (onJoin) onJoin(done, total);
  }
  std::string error;
  std::function<void(uint32_t, uint32_t)> onJoin;
};

Bytes Unscrambled(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  Bytes bytes((std::istreambuf_iterator<char>(in)), {});
  for (size_t i = 0; i < bytes.size() && i < 512; ++i) bytes[i] ^= 0xD3;
  return bytes;
}

class DeepScanTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(dir_ / "TmpFiles");
  }
  void TearDown() override { LinuxDrives::DetachAll(); }

  // Scans the card with photos, every video and audio; deep or by the rule alone. With
  // stopAfterFirstBatch, a stop is asked for when the first batch has been carved; with a
  // fileSizeLimit, no temporary file may grow past it (EFBIG).
  void Scan(const CardImage& card, bool deep, bool stopAfterFirstBatch = false,
            uint64_t fileSizeLimit = 0) {
    found_.Clear();
    contents_.clear();
    for (const auto& entry : fs::directory_iterator(dir_ / "TmpFiles")) fs::remove(entry.path());
    const char letter = card.attach();
    ASSERT_NE(letter, 0);
    TEvents events;
    TDigitalReadThread scan(events, [](const std::function<void()>& call) { call(); }, found_);
    scan.Drive.Letter = letter;
    scan.Drive.DriveNumber = static_cast<uint8_t>(letter - 'A' + 1);
    scan.Drive.SectorCount = card.sectors();
    scan.Drive.SectorSize = kSector;
    scan.Card = DriveSectors(scan.Drive.DriveNumber);
    scan.TempFolder = (dir_ / "TmpFiles").string() + "/";
    scan.Inputs = MakeRecogniserInputs("Generic Digital Camera", true, true, true, "ALL");
    scan.DeepScan = deep;
    scan.DescribeFile = DescribeFoundFile;
    joinReports_.clear();
    events.onJoin = [this, &scan](uint32_t done, uint32_t total) {
      joinReports_.push_back({done, total});
      if (stopAtJoin_) scan.Terminate();
    };
    int ticks = 0;  // read at the start (twice) and after every batch
    if (stopAfterFirstBatch) {
      scan.TickCount = [&scan, &ticks] {
        if (++ticks == 3) scan.Terminate();
        return 0u;
      };
    }
    struct rlimit limit {};
    ::getrlimit(RLIMIT_FSIZE, &limit);
    const rlimit before = limit;
    if (fileSizeLimit != 0) {
      ::signal(SIGXFSZ, SIG_IGN);
      limit.rlim_cur = fileSizeLimit;
      ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    scan.Start();
    const bool ended = scan.WaitFor(20000);
    ::setrlimit(RLIMIT_FSIZE, &before);
    if (ended) LinuxDrives::DetachAll();  // a letter per scan would run out
    ASSERT_TRUE(ended);
    EXPECT_EQ(events.error, "");
  }

  // The names of the card's whole files that some found file holds from its start.
  std::set<std::string> RecoveredWhole(const fixtures::DamagedCard& card) {
    std::set<std::string> names;
    for (const fixtures::PlacedFile& file : card.Whole) {
      if (Holding(file.Bytes) != nullptr) names.insert(file.Name);
    }
    return names;
  }

  // The found file whose bytes begin with these, or null.
  const TFoundFile* Holding(const Bytes& file) {
    for (size_t i = 0; i < found_.Count(); ++i) {
      const Bytes& got = Contents(i);
      if (got.size() >= file.size() && std::equal(file.begin(), file.end(), got.begin())) return &found_[i];
    }
    return nullptr;
  }

  // The plain bytes of found file i, read once per scan.
  const Bytes& Contents(size_t i) {
    if (contents_.size() != found_.Count()) contents_.assign(found_.Count(), std::nullopt);
    if (!contents_[i]) contents_[i] = Unscrambled(found_[i].TempFile);
    return *contents_[i];
  }

  fixtures::TempFolder dir_{"deepscan"};
  TFoundFileList found_;
  std::vector<std::pair<uint32_t, uint32_t>> joinReports_;  // done, total
  bool stopAtJoin_ = false;  // a stop is asked for at the first report of the join search
  std::vector<std::optional<Bytes>> contents_;  // Contents(i), per scan
};

TEST_F(DeepScanTest, FilesEndAtTheirLastByteAndTheGapIsNotStored) {
  const Bytes photo = ::fixtures::EncodeJpeg(160, 120);
  const Bytes wav = Wav(30000);
  const Bytes mov = IsoMedia("qt  ", Filler(20000));
  CardImage card(600);
  card.noise().place(10, photo).place(100, wav).place(300, mov).place(500, Asf(9000));
  Scan(card, true);

  ASSERT_EQ(found_.Count(), 4u);
  const std::vector<std::pair<std::string, size_t>> expected = {
      {"File0001.JPG", photo.size()}, {"File0002.WAV", wav.size()}, {"File0003.MOV", mov.size()},
      {"File0004.ASF", Asf(9000).size()}};
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(found_[i].Name, expected[i].first);
    EXPECT_EQ(found_[i].Size, static_cast<int64_t>(expected[i].second));
    EXPECT_EQ(fs::file_size(found_[i].TempFile), expected[i].second);
  }
  EXPECT_EQ(Unscrambled(found_[0].TempFile), photo);
  EXPECT_EQ(Unscrambled(found_[2].TempFile), mov);

  Scan(card, false);  // the rule: header to header, the last to the card's end
  ASSERT_EQ(found_.Count(), 4u);
  EXPECT_EQ(found_[0].Size, 90 * 512);
  EXPECT_EQ(found_[3].Size, 100 * 512);
}

TEST_F(DeepScanTest, AContainerHoldingJpegFramesIsOneFile) {
  // Frame chunks of 1536 bytes after a 2048-byte lead-in put JFIF frames at sector starts.
  std::vector<Bytes> frames = {Filler(2048 - 100 - 8 - 8)};
  for (uint32_t i = 0; i < 8; ++i) frames.push_back(JpegFrame(1536 - 8 - 136, i));
  const Bytes avi = Avi(frames);
  const Bytes mov = IsoMedia("qt  ", Then(Filler(512 - 28), JpegFrame(4000)));
  CardImage card(200);
  card.noise().place(10, avi).place(100, mov);
  Scan(card, false);
  EXPECT_GT(found_.Count(), 2u);  // the rule splits them at every frame that starts a sector

  // The AVI's chunks name its frames; the movie's index names none of its mdat, so its
  // frame is kept both ways: inside the whole movie, and as a file of its own.
  Scan(card, true);
  ASSERT_EQ(found_.Count(), 3u);
  EXPECT_EQ(found_[0].Name, "File0001.AVI");
  EXPECT_EQ(Unscrambled(found_[0].TempFile), avi);
  EXPECT_EQ(found_[1].Name, "File0002.MOV");
  EXPECT_EQ(Unscrambled(found_[1].TempFile), mov);
  EXPECT_EQ(Unscrambled(found_[2].TempFile), Bytes(mov.begin() + 512, mov.begin() + 512 + JpegFrame(4000).size()));
}

TEST_F(DeepScanTest, APhotoRightAfterAStreamStartsAFile) {
  const Bytes mts = TransportStream(32, true);  // 6144 bytes: ends at a sector boundary
  const Bytes mp3 = Mp3(10);
  const Bytes photo = ::fixtures::EncodeJpeg(64, 48);
  CardImage card(100);
  card.noise().place(10, mts).place(22, photo).place(40, mp3).place(40 + 9, photo);
  Scan(card, true);
  ASSERT_EQ(found_.Count(), 4u);
  EXPECT_EQ(found_[0].Size, 6144);
  EXPECT_EQ(found_[1].Ext, "JPG");
  EXPECT_EQ(found_[2].Size, static_cast<int64_t>(mp3.size()));
  EXPECT_EQ(Unscrambled(found_[3].TempFile), photo);
}

TEST_F(DeepScanTest, APhotoThatOverwroteADeletedClipStartsAFile) {
  // A newer photo (with its Exif block) in the middle of an old movie's mdat box.
  const Bytes mov = IsoMedia("qt  ", Filler(40 * 512));
  CardImage card(100);
  card.noise().place(10, mov).jpegAt(30);
  Scan(card, true);
  ASSERT_EQ(found_.Count(), 2u);
  EXPECT_EQ(found_[0].Name, "File0001.MOV");
  EXPECT_EQ(found_[0].Size, 20 * 512);  // the rule: cut where the photo begins
  EXPECT_EQ(found_[1].Name, "File0002.JPG");
}

TEST_F(DeepScanTest, AStopRecordsTheOpenFileAtTheEndOfTheBatch) {
  const Bytes photo = ::fixtures::EncodeJpeg(64, 48);
  CardImage card(1000);
  card.noise().place(10, photo).place(100, Wav(400 * 512)).place(700, photo);
  Scan(card, true, true);
  ASSERT_EQ(found_.Count(), 2u);
  EXPECT_EQ(found_[0].Size, static_cast<int64_t>(photo.size()));
  EXPECT_EQ(found_[1].Name, "File0002.WAV");
  EXPECT_EQ(found_[1].Size, 300 * 512);  // sectors 100-399, where the second batch ended
}

TEST_F(DeepScanTest, ABrokenFileKeepsTheRule) {
  Bytes photo = ::fixtures::EncodeJpeg(160, 120);
  photo.resize(photo.size() / 2);  // the rest was overwritten by other data
  CardImage card(300);
  card.noise().place(10, photo).jpegAt(200);
  Scan(card, true);
  ASSERT_GE(found_.Count(), 1u);
  EXPECT_EQ(found_[0].Size, 190 * 512);
}

TEST_F(DeepScanTest, FindsMoviesAfterAnMp4AndStreamsWithoutAPat) {
  const Bytes mp4 = IsoMedia("isom", Filler(3000));
  const Bytes mov = IsoMedia("qt  ", Filler(3000, 2));
  const Bytes mts = TransportStream(30, true, 0x1011);
  const Bytes noApp = [] {
    Bytes b = JpegFrame(2000);
    b.erase(b.begin() + 2, b.begin() + 20);
    return b;
  }();
  CardImage card(200);
  card.noise().place(10, mp4).place(40, mov).place(80, mts).place(120, noApp);
  Scan(card, false);
  EXPECT_EQ(Holding(mov), nullptr);
  EXPECT_EQ(Holding(mts), nullptr);
  EXPECT_EQ(Holding(noApp), nullptr);

  Scan(card, true);
  for (const Bytes* file : {&mp4, &mov, &mts, &noApp}) {
    const TFoundFile* f = Holding(*file);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->Size, static_cast<int64_t>(file->size()));
  }
  EXPECT_EQ(Holding(mov)->Ext, "MOV");
  EXPECT_EQ(Holding(mts)->Ext, "MTS");
}

TEST_F(DeepScanTest, AFileCutOffByTheCardsEndKeepsTheRule) {
  Bytes wav = Wav(100000);  // its RIFF size runs past the card's end
  wav.resize(60 * 512);
  CardImage card(120);
  card.noise().place(10, ::fixtures::EncodeJpeg(64, 48)).place(60, wav);
  Scan(card, true);
  ASSERT_EQ(found_.Count(), 2u);
  EXPECT_EQ(found_[1].Size, 60 * 512);
}

TEST_F(DeepScanTest, OnDamagedCardsDeepKeepsEveryWholeFileOfTheRuleAndStartsNoFileAtAFalseHeader) {
  for (const fixtures::DamagedCard& card : fixtures::DamagedCards()) {
    SCOPED_TRACE(card.Name);
    Scan(card.Image, false, false, card.FileSizeLimit);
    const std::set<std::string> plain = RecoveredWhole(card);
    Scan(card.Image, true, false, card.FileSizeLimit);
    const std::set<std::string> deep = RecoveredWhole(card);
    for (const std::string& name : plain) EXPECT_EQ(deep.count(name), 1u) << name << " lost by deep";
    for (const std::string& name : card.DeepFinds) EXPECT_EQ(deep.count(name), 1u) << name << " missed by deep";
    for (const uint32_t sector : card.FalseHeaders) {
      EXPECT_EQ(Holding(card.Image.sector(sector)), nullptr) << "a file at false header " << sector;
    }
    std::string whole;
    for (const std::string& name : deep) whole += " " + name;
    std::printf("[ %s ] whole: rule %zu, deep %zu of %zu:%s\n", card.Name.c_str(), plain.size(),
                deep.size(), card.Whole.size(), whole.c_str());
  }
}

// Photos a camera wrote in two pieces around clusters still in use, on FAT32 cards of three
// cluster sizes, with and without restart markers: joined byte-exact, and a joined file never
// holds bytes of another.
TEST_F(DeepScanTest, PhotosInTwoPiecesAreJoinedByteExactAndNeverWrongly) {
  const std::string noteForm = Text(TText::JoinedNote);
  const std::string joinedMark = noteForm.substr(0, noteForm.find("%1"));
  size_t split = 0, joined = 0;
  std::map<std::string, std::pair<int, int>> byGap;  // joined, split
  for (uint32_t cluster : {4096u, 32768u, 65536u}) {
    for (bool restart : {false, true}) {
      const fixtures::FragmentedCard card = fixtures::MakeFragmentedCard(cluster, restart);
      Scan(card.Image, true);
      std::set<size_t> rowsOfSplitPhotos;
      for (const fixtures::SplitPhoto& photo : card.Split) {
        ++split;
        ++byGap[photo.Gap].second;
        const std::string note = Text(
            TText::JoinedNote, {std::to_string(photo.FirstSector), std::to_string(photo.FirstSector + photo.FirstSectors - 1),
                                std::to_string(photo.SecondSector), std::to_string(photo.SecondSector + photo.SecondSectors - 1)});
        for (size_t i = 0; i < found_.Count(); ++i) {
          const std::string& info = found_[i].Info;
          if (info.size() < note.size() || info.compare(info.size() - note.size(), note.size(), note) != 0) continue;
          rowsOfSplitPhotos.insert(i);
          EXPECT_EQ(Contents(i), photo.Bytes) << card.Name << " " << found_[i].Name;
          EXPECT_EQ(found_[i].Ext, "JPG");
          if (Contents(i) == photo.Bytes) {
            ++joined;
            ++byGap[photo.Gap].first;
          }
        }
      }
      for (size_t i = 0; i < found_.Count(); ++i) {
        if (found_[i].Info.find(joinedMark) != std::string::npos) {
          EXPECT_EQ(rowsOfSplitPhotos.count(i), 1u) << card.Name << ": " << found_[i].Name << " joined wrongly";
        }
      }
      for (const fixtures::PlacedFile& file : card.Whole) {
        EXPECT_NE(Holding(file.Bytes), nullptr) << card.Name << ": " << file.Name;
      }
      // A second piece is held by its joined photo and otherwise only by the photo's own
      // first carving (which ran on by the header rule).
      for (const fixtures::SplitPhoto& photo : card.Split) {
        const Bytes second(photo.Bytes.begin() + photo.FirstSectors * kSector, photo.Bytes.end());
        for (size_t i = 0; i < found_.Count(); ++i) {
          const Bytes& got = Contents(i);
          if (got.size() < 64 || std::search(got.begin(), got.end(), second.begin(), second.end()) == got.end()) continue;
          EXPECT_TRUE(std::equal(photo.Bytes.begin(), photo.Bytes.begin() + 64, got.begin())) << card.Name << " " << found_[i].Name;
        }
      }
      ASSERT_FALSE(joinReports_.empty());
      EXPECT_EQ(joinReports_.back().first, joinReports_.back().second) << card.Name;
    }
  }
  for (const auto& [gap, counts] : byGap) std::printf("gap of %s: %d of %d joined\n", gap.c_str(), counts.first, counts.second);
  EXPECT_GE(joined * 10, split * 9) << joined << " of " << split << " photos in two pieces joined";
}

TEST_F(DeepScanTest, AStopDuringTheJoinSearchEndsItWithoutAJoin) {
  const fixtures::FragmentedCard card = fixtures::MakeFragmentedCard(4096, true, 4);
  stopAtJoin_ = true;
  Scan(card.Image, true);
  ASSERT_EQ(joinReports_.size(), 2u);  // the first break, then the end of the search
  EXPECT_GT(joinReports_.front().second, 1u);
  EXPECT_EQ(joinReports_.back(), std::make_pair(1u, joinReports_.front().second));  // stopped in the first
  for (size_t i = 0; i < found_.Count(); ++i) EXPECT_EQ(found_[i].Info.find("拼合"), std::string::npos);
}

}  // namespace
}  // namespace snapsalvager
