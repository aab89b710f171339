// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <filesystem>
#include <fstream>

#include "EngineTestSupport.h"
#include "card/LinuxDrives.h"
#include "fixtures/CardImage.h"

namespace snapsalvager {
namespace {

namespace fs = std::filesystem;

class LinuxDrivesTest : public ::testing::Test {
 protected:
  void TearDown() override {
    LinuxDrives::DetachAll();
    LinuxDrives::UseSystemTree("", "");
  }

  void Write(const fs::path& file, const std::string& text) {
    fs::create_directories(file.parent_path());
    std::ofstream(file) << text << "\n";
  }
  // A disk directory as /sys/block shows it.
  fs::path Disk(const fs::path& dir, const std::string& dev, const std::string& size,
                const std::string& removable = "0") {
    Write(dir / "dev", dev);
    Write(dir / "size", size);
    Write(dir / "removable", removable);
    return dir;
  }
  void Partition(const fs::path& disk, const std::string& name, const std::string& dev) {
    Write(disk / name / "dev", dev);
    Write(disk / name / "partition", name.substr(name.size() - 1));
    Write(disk / name / "size", "2048");
  }

  // A machine with a partitioned system disk, a USB reader, an SD card, a CD drive,
  // RAM disks, loop devices and an NVMe disk.
  fs::path FakeSysBlock() {
    const fs::path root = dir_ / "sys";
    const fs::path block = root / "block";
    const fs::path sda = Disk(root / "devices/pci0/ata1/block/sda", "8:0", "100000");
    Partition(sda, "sda1", "8:1");
    Partition(sda, "sda2", "8:2");
    Disk(root / "devices/pci0/ata2/block/sdb", "8:16", "30000", "1");
    Disk(root / "devices/pci0/usb1/1-1/block/sdc", "8:32", "30000");
    const fs::path mmc = Disk(root / "devices/pci0/mmc_host/mmc0/block/mmcblk0", "179:0", "30000");
    Partition(mmc, "mmcblk0p1", "179:1");
    Disk(root / "devices/pci0/ata3/block/sr0", "11:0", "0", "1");
    Disk(root / "devices/virtual/block/zram0", "252:0", "0");
    Disk(root / "devices/virtual/block/ram0", "1:0", "8192");
    Disk(root / "devices/virtual/block/loop0", "7:0", "0");
    Disk(root / "devices/virtual/block/loop1", "7:1", "4096");
    Disk(root / "devices/virtual/block/loop10", "7:10", "4096");
    Disk(root / "devices/pci0/nvme/block/nvme0n1", "259:0", "900000");
    const fs::path hidden = Disk(root / "devices/pci0/nvme/block/nvme0c0n1", "259:1", "900000");
    Write(hidden / "hidden", "1");
    fs::create_directories(block);
    for (const auto& e : fs::recursive_directory_iterator(root / "devices")) {
      if (e.path().parent_path().filename() == "block") {
        fs::create_directory_symlink(e.path(), block / e.path().filename());
      }
    }
    return block;
  }

  enginetest::ScratchDir dir_;
};

TEST_F(LinuxDrivesTest, LettersFollowTheRootDiskThenSysBlockNameOrder) {
  LinuxDrives::UseSystemTree(FakeSysBlock().string(), "8:2");
  std::string letters, names;
  for (const TLinuxDrive& d : LinuxDrives::List()) {
    letters += d.Letter;
    names += d.DisplayName + " ";
    EXPECT_EQ(d.Path, "/dev/" + d.DisplayName);
    EXPECT_FALSE(d.IsImage);
  }
  EXPECT_EQ(letters, "CDEFGHIJKL");
  EXPECT_EQ(names, "sda2 loop1 loop10 mmcblk0p1 nvme0n1 ram0 sda1 sdb sdc sr0 ");
}

TEST_F(LinuxDrivesTest, DriveTypesFollowTheDeviceKind) {
  LinuxDrives::UseSystemTree(FakeSysBlock().string(), "8:2");
  const std::pair<char, uint8_t> expected[] = {
      {'A', DRIVE_NO_ROOT_DIR}, {'B', DRIVE_NO_ROOT_DIR}, {'C', DRIVE_FIXED},
      {'D', DRIVE_REMOVABLE},   {'E', DRIVE_REMOVABLE},   {'F', DRIVE_REMOVABLE},
      {'G', DRIVE_FIXED},       {'H', DRIVE_RAMDISK},     {'I', DRIVE_FIXED},
      {'J', DRIVE_REMOVABLE},   {'K', DRIVE_REMOVABLE},   {'L', DRIVE_CDROM},
      {'M', DRIVE_NO_ROOT_DIR}, {'Z', DRIVE_NO_ROOT_DIR}, {'j', DRIVE_REMOVABLE},
      {'?', DRIVE_NO_ROOT_DIR}};
  for (const auto& [letter, type] : expected)
    EXPECT_EQ(LinuxDrives::GetDriveType(letter), type) << letter;
  ASSERT_NE(LinuxDrives::ByNumber(12), nullptr);
  EXPECT_EQ(LinuxDrives::ByNumber(12)->DisplayName, "sr0");
  EXPECT_EQ(LinuxDrives::ByNumber(13), nullptr);
  EXPECT_EQ(LinuxDrives::ByNumber(0), nullptr);
  EXPECT_EQ(LinuxDrives::LetterOfPath("/dev/sdc"), 'K');
}

TEST_F(LinuxDrivesTest, WithoutAKnownRootDiskCStaysFree) {
  LinuxDrives::UseSystemTree(FakeSysBlock().string(), "99:99");
  EXPECT_EQ(LinuxDrives::GetDriveType('C'), DRIVE_NO_ROOT_DIR);
  EXPECT_EQ(LinuxDrives::List().front().Letter, 'D');
}

TEST_F(LinuxDrivesTest, AttachedImagesTakeTheNextFreeLetterAndKeepIt) {
  LinuxDrives::UseSystemTree(FakeSysBlock().string(), "8:2");
  const auto first = fixtures::CardImage(16).writeTo(dir_ / "first.img");
  const auto second = fixtures::CardImage(16).writeTo(dir_ / "second.img");
  EXPECT_EQ(LinuxDrives::AttachImage(first.string()), 'M');
  EXPECT_EQ(LinuxDrives::AttachImage((dir_.path() / "." / "first.img").string()), 'M');
  EXPECT_EQ(LinuxDrives::AttachImage(second.string()), 'N');
  LinuxDrives::Refresh();
  const TLinuxDrive* m = LinuxDrives::ByNumber(13);
  ASSERT_NE(m, nullptr);
  EXPECT_TRUE(m->IsImage);
  EXPECT_EQ(m->DisplayName, "first.img");
  EXPECT_EQ(m->DriveType, DRIVE_REMOVABLE);
  EXPECT_EQ(LinuxDrives::LetterOfPath(second.string()), 'N');
  LinuxDrives::DetachAll();
  EXPECT_EQ(LinuxDrives::GetDriveType('M'), DRIVE_NO_ROOT_DIR);
  EXPECT_EQ(LinuxDrives::LetterOfPath(second.string()), 0);
  EXPECT_EQ(LinuxDrives::GetDriveType('L'), DRIVE_CDROM);  // devices stay
}

// A letter alone does not tell a 64 MB loop device from the 4 GB image beside it.
TEST_F(LinuxDrivesTest, DrivesAreDescribedByNameModelAndSize) {
  const fs::path block = FakeSysBlock();
  Write(block / "sdc" / "device" / "model", "  Card  Reader\x01 ");
  Write(block / "mmcblk0" / "device" / "name", "SD16G");
  LinuxDrives::UseSystemTree(block.string(), "8:2");
  const fs::path image = dir_ / "card.img";
  std::ofstream(image).close();
  fs::resize_file(image, int64_t{4} << 30);
  const char letter = LinuxDrives::AttachImage(image.string());
  const std::pair<char, std::string> expected[] = {
      {'K', "sdc Card  Reader (15 MB)"},
      {'F', "mmcblk0p1 SD16G (1 MB)"},
      {'E', "loop10 (2 MB)"},
      {letter, "card.img (4.0 GB)"},
  };
  for (const auto& [at, description] : expected) {
    const TLinuxDrive* drive = LinuxDrives::ByNumber(static_cast<uint8_t>(at - 'A' + 1));
    ASSERT_NE(drive, nullptr) << at;
    EXPECT_EQ(DriveDescription(*drive), description) << at;
  }
  TLinuxDrive unknown;
  unknown.DisplayName = "x";
  EXPECT_EQ(DriveDescription(unknown), "x");
}

// An attached image keeps its letter while system drives come and go around it.
TEST_F(LinuxDrivesTest, AnAttachedImageKeepsItsLetterThroughRefresh) {
  const fs::path block = FakeSysBlock();
  LinuxDrives::UseSystemTree(block.string(), "8:2");
  const auto image = fixtures::CardImage(16).writeTo(dir_ / "card.img");
  const char letter = LinuxDrives::AttachImage(image.string());
  ASSERT_EQ(letter, 'M');
  fs::remove(block / "loop1");                          // a loop device goes: D is free
  Disk(dir_ / "sys/devices/usb2/block/sdd", "8:48", "4096", "1");  // a card comes
  fs::create_directory_symlink(dir_ / "sys/devices/usb2/block/sdd", block / "sdd");
  LinuxDrives::Refresh();
  EXPECT_EQ(LinuxDrives::LetterOfPath(image.string()), 'M');
  const auto other = fixtures::CardImage(16).writeTo(dir_ / "other.img");
  const char second = LinuxDrives::AttachImage(other.string());
  EXPECT_NE(second, 0);
  EXPECT_NE(second, 'M');
  LinuxDrives::Refresh();
  EXPECT_EQ(LinuxDrives::LetterOfPath(image.string()), 'M');
  EXPECT_EQ(LinuxDrives::LetterOfPath(other.string()), second);
  EXPECT_NE(LinuxDrives::LetterOfPath("/dev/sdd"), 0);
}

TEST_F(LinuxDrivesTest, OnlyReadableFilesAndDevicesCanBeAttached) {
  EXPECT_EQ(LinuxDrives::AttachImage((dir_ / "missing.img").string()), 0);
  EXPECT_EQ(LinuxDrives::AttachImage(dir_.path().string()), 0);
  EXPECT_EQ(LinuxDrives::AttachImage("/dev/null"), 0);
  EXPECT_EQ(LinuxDrives::AttachImage(""), 0);
}

TEST_F(LinuxDrivesTest, LettersRunOutAfterZ) {
  LinuxDrives::UseSystemTree(FakeSysBlock().string(), "8:2");
  const fixtures::CardImage card(4);
  std::string letters;
  while (const char letter = card.attach()) letters += letter;
  EXPECT_EQ(letters, "MNOPQRSTUVWXYZ");
  EXPECT_NE(LinuxDrives::OpenSource(26), nullptr);
  EXPECT_EQ(LinuxDrives::OpenSource(27), nullptr);
}

TEST_F(LinuxDrivesTest, TheDiskHoldingRootIsC) {
  struct stat st {};
  ASSERT_EQ(::stat("/", &st), 0);
  if (major(st.st_dev) == 0) GTEST_SKIP() << "/ is not on a block device here";
  LinuxDrives::Refresh();
  EXPECT_EQ(LinuxDrives::LetterHoldingPath("/"), 'C');
  EXPECT_EQ(LinuxDrives::LetterHoldingPath("/no/such/folder/yet"), 'C');  // nearest existing folder
  ASSERT_NE(LinuxDrives::ByNumber(3), nullptr);
  EXPECT_EQ(LinuxDrives::ByNumber(3)->Path.rfind("/dev/", 0), 0u);
}

// A destination on a file system mounted from the card must be recognised as the card:
// by the loop device's letter, or by the image's letter when the user attached the image.
TEST_F(LinuxDrivesTest, PathOnAMountedImageBelongsToTheImagesLetter) {
  const fs::path image = dir_ / "card.img";
  std::ofstream(image).close();
  fs::resize_file(image, 4 << 20);
  if (::geteuid() != 0 || enginetest::Run("mkfs.ext2 -q -F '" + image.string() + "'").empty()) {
    GTEST_SKIP() << "cannot make a file system image here";
  }
  const char imageLetter = LinuxDrives::AttachImage(image.string());
  ASSERT_NE(imageLetter, 0);
  enginetest::LoopDevice loop(image);
  if (!loop.ok()) GTEST_SKIP() << "loop devices are not available here";
  const fs::path mountPoint = dir_ / "mnt";
  enginetest::Mount mount(loop.device(), mountPoint);
  if (!mount.ok()) GTEST_SKIP() << "mounting is not permitted here";
  LinuxDrives::Refresh();
  EXPECT_EQ(LinuxDrives::LetterHoldingPath((mountPoint / "Recovered" / "today").string()),
            imageLetter);
  LinuxDrives::DetachAll();
  const char loopLetter = LinuxDrives::LetterOfPath(loop.device());
  EXPECT_NE(loopLetter, 0);
  EXPECT_EQ(LinuxDrives::LetterHoldingPath(mountPoint.string()), loopLetter);
  EXPECT_NE(LinuxDrives::LetterHoldingPath(dir_.path().string()), loopLetter);
}

TEST_F(LinuxDrivesTest, RegisteredSourcesOpenThroughTheirOwnFunction) {
  int opens = 0;
  const char letter = LinuxDrives::AttachSource("memory", DRIVE_REMOVABLE, [&opens] {
    ++opens;
    return fixtures::CardImage(8).source();
  });
  ASSERT_NE(letter, 0);
  auto source = LinuxDrives::OpenSource(static_cast<uint8_t>(letter - 'A' + 1));
  ASSERT_NE(source, nullptr);
  EXPECT_EQ(opens, 1);
  int64_t length = 0;
  EXPECT_TRUE(source->Length(length));
  EXPECT_EQ(length, 8 * 512);
  EXPECT_EQ(LinuxDrives::ByNumber(static_cast<uint8_t>(letter - 'A' + 1))->DisplayName, "memory");
}

// A sysfs tree with partitions, device-mapper over a partition, a second stacking level
// (LVM on LUKS) and md over two disks' partitions.
TEST_F(LinuxDrivesTest, DisksAreSharedThroughPartitionsAndStackedDevices) {
  const fs::path sys = dir_ / "sys";
  const fs::path devices = sys / "devices";
  auto device = [&](const std::string& dir, const std::string& number, bool partition = false) {
    Write(devices / dir / "dev", number);
    if (partition) Write(devices / dir / "partition", "1");
    fs::create_directories(sys / "dev/block");
    fs::create_symlink(fs::relative(devices / dir, sys / "dev/block"), sys / "dev/block" / number);
  };
  auto stack = [&](const std::string& upper, const std::string& lower) {
    fs::create_directories(devices / upper / "slaves");
    fs::create_symlink(fs::relative(devices / lower, devices / upper / "slaves"),
                       devices / upper / "slaves" / fs::path(lower).filename());
  };
  device("virtual/block/loop0", "7:0");
  device("virtual/block/loop0/loop0p1", "259:1", true);
  device("virtual/block/loop0/loop0p2", "259:2", true);
  device("pci/block/sdb", "8:16");
  device("pci/block/sdb/sdb1", "8:17", true);
  device("pci/block/sdc", "8:32");
  device("pci/block/sdc/sdc1", "8:33", true);
  device("pci/block/sdd", "8:48");
  device("virtual/block/dm-0", "254:0");
  stack("virtual/block/dm-0", "pci/block/sdb/sdb1");
  device("virtual/block/dm-1", "254:1");
  stack("virtual/block/dm-1", "virtual/block/dm-0");
  device("virtual/block/md0", "9:0");
  stack("virtual/block/md0", "pci/block/sdc/sdc1");
  stack("virtual/block/md0", "pci/block/sdd");

  const struct {
    unsigned A[2], B[2];
    bool Shared;
  } cases[] = {
      {{7, 0}, {259, 1}, true},    // a whole disk and its partition
      {{259, 1}, {259, 2}, true},  // two partitions of one disk
      {{259, 1}, {8, 17}, false},
      {{8, 16}, {254, 0}, true},   // device-mapper over the disk's partition
      {{8, 17}, {254, 1}, true},   // two levels up
      {{254, 1}, {8, 32}, false},
      {{9, 0}, {8, 48}, true},     // md over a partition of one disk and another whole disk
      {{9, 0}, {8, 33}, true},
      {{9, 0}, {8, 16}, false},
      {{1, 5}, {1, 5}, true},      // unknown to sysfs: only equal numbers
      {{1, 5}, {1, 6}, false},
  };
  for (const auto& c : cases) {
    const dev_t a = makedev(c.A[0], c.A[1]), b = makedev(c.B[0], c.B[1]);
    EXPECT_EQ(LinuxDrives::SharesDisk(a, b, sys.string()), c.Shared) << c.A[0] << ":" << c.A[1] << " " << c.B[0]
                                                                     << ":" << c.B[1];
    EXPECT_EQ(LinuxDrives::SharesDisk(b, a, sys.string()), c.Shared);
  }
}

}  // namespace
}  // namespace snapsalvager
