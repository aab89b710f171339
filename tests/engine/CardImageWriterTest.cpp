// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// A card imaged while it is scanned: the image against the card, the map against the
// injected bad sectors, and ddrescue's reading of the map.
#include "card/CardImageWriter.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <tuple>

#include "EngineTestSupport.h"
#include "fixtures/CardImage.h"
#include "card/LinuxDrives.h"
#include "session/ScanThread.h"

namespace snapsalvager {
namespace {

constexpr uint32_t kSector = 512;

class TQuietEvents : public TScanEvents {
 public:
  void SetProgressPosition(uint64_t) override {}
  void SetProgressMaximum(uint64_t) override {}
  void StepProgress() override {}
  void SetLabelText(TScanLabel, const std::string&) override {}
  void AddFoundFile(const std::string&, const std::string&, int64_t) override {}
  void Finish(const std::string&) override {}
};

std::string ReadAll(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), {});
}

// The map's areas: start, size, status.
std::vector<std::tuple<uint64_t, uint64_t, char>> Areas(const std::string& map) {
  std::vector<std::tuple<uint64_t, uint64_t, char>> areas;
  std::istringstream lines(map);
  std::string line;
  bool statusLineSeen = false;
  while (std::getline(lines, line)) {
    if (line.empty() || line[0] == '#') continue;
    if (!statusLineSeen) {
      statusLineSeen = true;
      continue;
    }
    std::istringstream fields(line);
    std::string start, size;
    char status = 0;
    fields >> start >> size >> status;
    areas.emplace_back(std::stoull(start, nullptr, 16), std::stoull(size, nullptr, 16), status);
  }
  return areas;
}

TEST(CardImageWriterTest, ScanImagesReadableSectorsAndMapsExactlyTheBadOnes) {
  enginetest::ScratchDir dir;
  const uint32_t sectors = 3000;
  fixtures::CardImage card(sectors);
  card.noise().jpegAt(20).jpegAt(900).jpegAt(2100);
  // A lone bad sector, a run of three, two at a batch's edge and the card's last.
  const std::set<uint32_t> bad = {7, 401, 402, 403, 1199, 1200, sectors - 1};
  const char letter = card.attach(nullptr, bad);
  ASSERT_NE(letter, 0);
  const auto drive = static_cast<uint8_t>(letter - 'A' + 1);
  const std::filesystem::path image = dir / "card.img";
  {
    TCardImageWriter writer(image, card.bytes().size());
    RecordCardReads(drive, &writer);
    TQuietEvents events;
    TFoundFileList found;
    TDigitalReadThread scan(events, nullptr, found);
    scan.Drive.Letter = letter;
    scan.Drive.DriveNumber = drive;
    scan.Drive.SectorCount = sectors;
    scan.Drive.SectorSize = kSector;
    scan.Card = DriveSectors(drive);
    std::filesystem::create_directories(dir / "TmpFiles");
    scan.TempFolder = (dir / "TmpFiles").string() + "/";
    scan.Inputs = MakeRecogniserInputs("Generic Digital Camera", true, false, false, "ALL");
    scan.Start();
    ASSERT_TRUE(scan.WaitFor(20000));
    EXPECT_EQ(found.Count(), 3u);
    RecordCardReads(drive, nullptr);
    EXPECT_TRUE(writer.Finish()) << writer.LastError();
  }
  LinuxDrives::DetachAll();

  std::string expected(card.bytes().begin(), card.bytes().end());
  for (uint32_t s : bad) expected.replace(size_t{s} * kSector, kSector, kSector, '\0');
  EXPECT_EQ(ReadAll(image), expected);

  const std::string map = ReadAll(TCardImageWriter::MapPathOf(image));
  std::set<uint64_t> badInMap;
  uint64_t covered = 0;
  for (const auto& [start, size, status] : Areas(map)) {
    EXPECT_EQ(start, covered);
    covered += size;
    EXPECT_TRUE(status == '+' || status == '-') << map;
    if (status == '-') {
      for (uint64_t s = start / kSector; s < (start + size) / kSector; ++s) badInMap.insert(s);
    }
  }
  EXPECT_EQ(covered, card.bytes().size());
  EXPECT_EQ(badInMap, std::set<uint64_t>(bad.begin(), bad.end()));

  // ddrescue takes the map: its summary counts the bad sectors' bytes.
  if (std::system("command -v ddrescuelog >/dev/null 2>&1") != 0) GTEST_SKIP() << "no ddrescuelog";
  const std::string mapPath = TCardImageWriter::MapPathOf(image).string();
  EXPECT_EQ(std::system(("ddrescuelog -t '" + mapPath + "' >/dev/null 2>&1").c_str()), 0);
  EXPECT_EQ(enginetest::Run("ddrescuelog -b 512 -l- '" + mapPath + "' | tr '\\n' ' '"),
            "7 401 402 403 1199 1200 2999 ");
}

TEST(CardImageWriterTest, NeverReplacesAFileAndKeepsWhatWasReadOverALaterFailure) {
  enginetest::ScratchDir dir;
  const std::filesystem::path image = dir / "card.img";
  {
    std::ofstream(TCardImageWriter::MapPathOf(image)) << "mine";
    EXPECT_THROW(TCardImageWriter(image, 4096), std::runtime_error);
    EXPECT_EQ(ReadAll(TCardImageWriter::MapPathOf(image)), "mine");
    EXPECT_FALSE(std::filesystem::exists(image));
    std::filesystem::remove(TCardImageWriter::MapPathOf(image));
  }
  std::ofstream(image) << "mine too";
  EXPECT_THROW(TCardImageWriter(image, 4096), std::runtime_error);
  EXPECT_EQ(ReadAll(image), "mine too");
  EXPECT_FALSE(std::filesystem::exists(TCardImageWriter::MapPathOf(image)));
  std::filesystem::remove(image);

  TCardImageWriter writer(image, 4096);
  const std::string sector(512, 'x');
  writer.Read(1024, sector.data(), 512);
  writer.Unreadable(1024, 512);  // a second scan's failure of a sector read before
  writer.Unreadable(2048, 512);
  ASSERT_TRUE(writer.Finish());
  EXPECT_EQ(Areas(ReadAll(writer.MapPath())),
            (std::vector<std::tuple<uint64_t, uint64_t, char>>{
                {0, 1024, '?'}, {1024, 512, '+'}, {1536, 512, '?'}, {2048, 512, '-'},
                {2560, 1536, '?'}}));
  EXPECT_EQ(ReadAll(image).substr(1024, 512), sector);
}

}  // namespace
}  // namespace snapsalvager
