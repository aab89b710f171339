// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// A card past 2 TiB: measured to its real size and scanned to its end with 64-bit sector
// numbers. The card is a sparse 3 TB image file whose holes cost no disk space.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <iterator>

#include "EngineTestSupport.h"
#include "card/LinuxDrives.h"
#include "session/ScanChecks.h"
#include "session/ScanThread.h"
#include "fixtures/Jpegs.h"
#include "tempfile/TempFileFormat.h"

namespace snapsalvager {
namespace {

class TQuietEvents : public TScanEvents {
 public:
  void SetProgressPosition(uint64_t value) override { position = value; }
  void SetProgressMaximum(uint64_t value) override { maximum = value; }
  void StepProgress() override {}
  void SetLabelText(TScanLabel label, const std::string& text) override {
    if (label == TScanLabel::LRead) read = text;
  }
  void AddFoundFile(const std::string&, const std::string&, int64_t) override {}
  void Finish(const std::string& text) override { error = text; }
  uint64_t position = 0, maximum = 0;
  std::string read, error;
};

TEST(BigCardTest, PhotoPastTwoTebibytesOfASparseThreeTerabyteCardIsFound) {
  enginetest::ScratchDir dir;
  const auto image = dir / "3tb.img";
  constexpr uint64_t kBytes = 3'000'000'000'000;  // 5,859,375,000 sectors: past 32 bits
  constexpr uint64_t kPhotoSector = kBytes / 512 - 5000;
  const std::vector<uint8_t> photo = ::fixtures::EncodeJpeg(64, 48);
  {
    const int fd = ::open(image.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0);
    if (::ftruncate(fd, static_cast<off_t>(kBytes)) != 0) {
      ::close(fd);
      GTEST_SKIP() << "the file system takes no 3 TB file";
    }
    ASSERT_EQ(::pwrite(fd, photo.data(), photo.size(), static_cast<off_t>(kPhotoSector * 512)),
              static_cast<ssize_t>(photo.size()));
    ::close(fd);
  }
  const char letter = LinuxDrives::AttachImage(image.string());
  ASSERT_NE(letter, 0);
  TDriveEntry drive;
  drive.Letter = letter;
  drive.DriveNumber = static_cast<uint8_t>(letter - 'A' + 1);
  ASSERT_TRUE(MeasureCard(drive));
  EXPECT_EQ(drive.SectorCount, kBytes / 512);

  // The card's last 6000 sectors, to its end: the holes before them hold nothing to find.
  TQuietEvents events;
  TFoundFileList found;
  {
    TDigitalReadThread scan(events, nullptr, found);
    scan.Drive = drive;
    scan.Card = DriveSectors(drive.DriveNumber);
    std::filesystem::create_directories(dir / "TmpFiles");
    scan.TempFolder = (dir / "TmpFiles").string() + "/";
    scan.Inputs = MakeRecogniserInputs("Generic Digital Camera", true, false, false, "ALL");
    scan.WholeVolume = false;
    scan.FirstSector = drive.SectorCount - 6000;
    scan.LastSector = drive.SectorCount - 1;
    scan.Start();
    ASSERT_TRUE(scan.WaitFor(60000));
  }
  LinuxDrives::DetachAll();
  EXPECT_EQ(events.error, "");
  EXPECT_EQ(events.read, "6000/6000");
  ASSERT_EQ(found.Count(), 1u);
  // The file runs from the photo to the card's end; its head is the photo.
  EXPECT_EQ(found[0].Size, 5000 * 512);
  std::ifstream in(found[0].TempFile, std::ios::binary);
  std::vector<uint8_t> stored((std::istreambuf_iterator<char>(in)), {});
  ASSERT_GE(stored.size(), photo.size());
  for (size_t i = 0; i < 512; ++i) stored[i] ^= kTempHeadKey;  // the scrambled head
  EXPECT_TRUE(std::equal(photo.begin(), photo.end(), stored.begin()));
}

}  // namespace
}  // namespace snapsalvager
