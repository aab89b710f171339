// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// The Windows card source and letter map: an image file under a letter of its own, read
// whole and unchanged through a UTF-8 name; the system's letters for volumes and folders;
// the move that never replaces. Volumes themselves (\\.\E:) are read by the end-to-end run
// in scripts/test-windows.sh, where wine maps E: to the demo card.
#include <gtest/gtest.h>

#include <fstream>
#include <random>
#include <stdexcept>

#include "card/DriveReads.h"
#include "card/LinuxDrives.h"
#include "session/SaveFiles.h"
#include "EngineTestSupport.h"

namespace snapsalvager {
namespace {

namespace fs = std::filesystem;
using enginetest::ScratchDir;

std::string Utf8(const fs::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

std::vector<uint8_t> WriteImage(const fs::path& path, size_t sectors) {
  std::vector<uint8_t> bytes(sectors * 512);
  std::mt19937 random(7);
  for (uint8_t& b : bytes) b = static_cast<uint8_t>(random());
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                              static_cast<std::streamsize>(bytes.size()));
  return bytes;
}

std::string Contents(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(WindowsCardTest, AnImageUnderAUtf8NameReadsWholeUnderALetterOfItsOwn) {
  ScratchDir dir;
  const fs::path image = dir.path() / fs::path(u8"存储卡 é.img");
  const std::vector<uint8_t> bytes = WriteImage(image, 3000);
  const char letter = LinuxDrives::AttachImage(Utf8(image));
  ASSERT_NE(letter, 0);
  EXPECT_EQ(LinuxDrives::GetDriveType(letter), DRIVE_REMOVABLE);
  EXPECT_EQ(LinuxDrives::LetterOfPath(Utf8(image)), letter);
  EXPECT_EQ(LinuxDrives::AttachImage(Utf8(image)), letter);  // once only
  const uint8_t drive = static_cast<uint8_t>(letter - 'A' + 1);
  ASSERT_TRUE(OpenDrive(drive));
  std::vector<uint8_t> buffer(200 * 512);
  for (uint32_t start : {0u, 1000u, 2800u}) {
    ASSERT_TRUE(ReadSectors(drive, start, 200, buffer.data())) << start;
    EXPECT_TRUE(std::equal(buffer.begin(), buffer.end(), bytes.begin() + start * 512)) << start;
  }
  EXPECT_FALSE(ReadSectors(drive, 2900, 200, buffer.data()));  // past the end: a failure
  int64_t length = 0;
  ASSERT_TRUE(GetDiskSize(drive, length));
  EXPECT_EQ(length, 3000 * 512);
  TDiskGeometry g;
  ASSERT_TRUE(GetDriveGeometry(drive, g));
  EXPECT_EQ(g.BytesPerSector, 512u);
  EXPECT_EQ(g.MediaKind, 2);
  // Open for reading only, sharing writes: another program may still write the file while
  // the card is open, and nothing here ever did.
  {
    std::ofstream other(image, std::ios::binary | std::ios::in | std::ios::out);
    EXPECT_TRUE(other.good());
  }
  CloseDrive();
  LinuxDrives::DetachAll();
  EXPECT_EQ(Contents(image), std::string(bytes.begin(), bytes.end()));
  EXPECT_EQ(LinuxDrives::LetterOfPath(Utf8(image)), 0);
}

TEST(WindowsCardTest, WhatIsNoCardIsRefused) {
  ScratchDir dir;
  EXPECT_EQ(LinuxDrives::AttachImage(Utf8(dir.path())), 0);                // a folder
  EXPECT_EQ(LinuxDrives::AttachImage(Utf8(dir.path() / "missing.img")), 0);  // nothing
  EXPECT_EQ(OpenCardSourcePath(Utf8(dir.path() / "missing.img").c_str()), nullptr);
  EXPECT_FALSE(AdoptCardDescriptor("x", 0));  // Windows hands no opened volumes over
}

// The system's own letters: a volume is named by its letter in any spelling, and a folder
// is held by the letter of its volume (the same-drive check).
TEST(WindowsCardTest, TheSystemsLettersNameVolumesAndHoldFolders) {
  ScratchDir dir;
  LinuxDrives::Refresh();
  const char holding = LinuxDrives::LetterHoldingPath(Utf8(dir.path() / "not made yet"));
  ASSERT_NE(holding, 0);
  EXPECT_NE(LinuxDrives::GetDriveType(holding), DRIVE_NO_ROOT_DIR);
  for (const std::string& name : {std::string(1, holding) + ":", std::string("\\\\.\\") + holding + ":",
                                  std::string(1, static_cast<char>(holding + 32)) + ":\\"}) {
    EXPECT_EQ(LinuxDrives::LetterOfPath(name), holding) << name;
  }
  EXPECT_TRUE(LinuxDrives::PathSharesDiskWith(holding, Utf8(dir.path())));
  const TLinuxDrive* drive = LinuxDrives::ByNumber(static_cast<uint8_t>(holding - 'A' + 1));
  ASSERT_NE(drive, nullptr);
  EXPECT_EQ(drive->Path, std::string("\\\\.\\") + holding + ":");
}

TEST(WindowsCardTest, TheMoveNeverReplacesAndTakesAnyName) {
  ScratchDir dir;
  const fs::path from = dir.path() / fs::path(u8"照片.JPG.tmp");
  const fs::path taken = dir.path() / "taken.JPG";
  std::ofstream(from, std::ios::binary) << "new";
  std::ofstream(taken, std::ios::binary) << "old";
  EXPECT_THROW(MoveWithoutReplacing(from, taken), std::runtime_error);
  EXPECT_EQ(Contents(taken), "old");
  EXPECT_EQ(Contents(from), "new");
  const fs::path free = dir.path() / fs::path(u8"照片.JPG");
  MoveWithoutReplacing(from, free);
  EXPECT_EQ(Contents(free), "new");
  EXPECT_FALSE(fs::exists(from));
}

}  // namespace
}  // namespace snapsalvager
