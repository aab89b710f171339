// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "EngineTestSupport.h"
#include "card/LinuxDrives.h"
#include "card/DriveReads.h"
#include "fixtures/CardImage.h"

namespace snapsalvager {
namespace {

using fixtures::CardImage;
using fixtures::CardSourceLog;
using fixtures::HashFile;
using fixtures::MemoryCardSource;

uint8_t Number(char letter) { return static_cast<uint8_t>(letter - 'A' + 1); }

using Reads = std::vector<std::pair<uint64_t, size_t>>;

class JdiskioTest : public ::testing::Test {
 protected:
  void TearDown() override {
    CloseDrive();
    ForgetCardDescriptor("");
    LinuxDrives::DetachAll();
  }

  // A source of a given sector size over memory, registered as a drive.
  char AttachSized(uint32_t sectorSize, size_t bytes, std::shared_ptr<CardSourceLog> log,
                   uint8_t type = DRIVE_REMOVABLE) {
    auto data = std::make_shared<const std::vector<uint8_t>>(bytes, 0x5A);
    return LinuxDrives::AttachSource("sized", type, [=]() -> std::unique_ptr<TCardSource> {
      ++log->Opens;
      return std::make_unique<MemoryCardSource>(data, sectorSize, log);
    });
  }

  enginetest::ScratchDir dir_;
};

TEST_F(JdiskioTest, BatchOf200SectorsIsReadInTwoChunks) {
  CardImage card(1000);
  card.noise();
  auto log = std::make_shared<CardSourceLog>();
  const char letter = card.attach(log);
  ASSERT_NE(letter, 0);
  std::vector<uint8_t> buffer(200 * 512);
  ASSERT_TRUE(ReadSectors(Number(letter), 400, 200, buffer.data()));
  EXPECT_EQ(log->Reads, (Reads{{400 * 512, 65536}, {400 * 512 + 65536, 36864}}));
  EXPECT_TRUE(std::equal(buffer.begin(), buffer.end(), card.bytes().begin() + 400 * 512));
  EXPECT_EQ(CurrentSectorShift(), 9);
}

TEST_F(JdiskioTest, LargeSectorDevicesAreReadIn512ByteUnitsThatFitTheScanBuffer) {
  auto log = std::make_shared<CardSourceLog>();
  const char letter = AttachSized(4096, 64 * 4096, log);
  // The scan's buffer for a 200-sector batch; guard bytes behind it must stay untouched.
  std::vector<uint8_t> buffer(200 * 512 + 16, 0xEE);
  ASSERT_TRUE(ReadSectors(Number(letter), 16, 200, buffer.data()));
  EXPECT_EQ(CurrentSectorShift(), 12);
  EXPECT_EQ(log->Reads, (Reads{{16 * 512, 65536}, {16 * 512 + 65536, 36864}}));
  EXPECT_TRUE(std::all_of(buffer.end() - 16, buffer.end(), [](uint8_t b) { return b == 0xEE; }));
}

TEST_F(JdiskioTest, SmallSectorDevicesAreReadInTheirOwnUnits) {
  auto log = std::make_shared<CardSourceLog>();
  const char letter = AttachSized(256, 64 * 256, log);
  std::vector<uint8_t> buffer(3 * 256);
  ASSERT_TRUE(ReadSectors(Number(letter), 4, 3, buffer.data()));
  EXPECT_EQ(log->Reads, (Reads{{4 * 256, 768}}));
}

TEST_F(JdiskioTest, UnknownSectorSizeGivesShiftZeroAndReads512ByteSectors) {
  auto log = std::make_shared<CardSourceLog>();
  const char letter = AttachSized(0, 4096, log);
  ASSERT_TRUE(OpenDrive(Number(letter)));
  EXPECT_EQ(CurrentSectorShift(), 0);
  std::vector<uint8_t> buffer(512, 0xEE);
  ASSERT_TRUE(ReadSectors(Number(letter), 2, 1, buffer.data()));
  EXPECT_EQ(log->Reads, (Reads{{1024, 512}}));
  EXPECT_EQ(buffer[0], 0x5A);
}

TEST_F(JdiskioTest, ImageFileReadsMatchTheImageAndLeaveItUntouched) {
  CardImage card(3000);
  card.noise(7).jpegAt(10).header(1010, "CR2").header(2999, "MOV");
  const auto path = card.writeTo(dir_ / "card.img");
  const uint64_t hash = HashFile(path);
  const char letter = LinuxDrives::AttachImage(path.string());
  ASSERT_NE(letter, 0);
  const uint8_t drive = Number(letter);
  std::vector<uint8_t> buffer(200 * 512);
  for (uint32_t start : {0u, 10u, 1000u, 2800u}) {
    ASSERT_TRUE(ReadSectors(drive, start, 200, buffer.data())) << start;
    EXPECT_TRUE(std::equal(buffer.begin(), buffer.end(), card.bytes().begin() + start * 512))
        << start;
  }
  ASSERT_TRUE(ReadSectors(drive, 2999, 1, buffer.data()));
  EXPECT_EQ(std::vector<uint8_t>(buffer.begin(), buffer.begin() + 512), card.sector(2999));
  TDiskGeometry g;
  EXPECT_TRUE(GetDriveGeometry(drive, g));
  int64_t length = 0;
  EXPECT_TRUE(GetDiskSize(drive, length));
  EXPECT_EQ(length, 3000 * 512);
  CloseDrive();
  EXPECT_EQ(HashFile(path), hash);
}

// The share of a file's pages in the page cache.
double CachedShare(const std::filesystem::path& file) {
  const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  const size_t size = std::filesystem::file_size(file);
  void* map = ::mmap(nullptr, size, PROT_READ, MAP_SHARED, fd, 0);
  ::close(fd);
  if (map == MAP_FAILED) return -1;
  const size_t page = static_cast<size_t>(::sysconf(_SC_PAGESIZE));
  std::vector<unsigned char> resident((size + page - 1) / page);
  const bool known = ::mincore(map, size, resident.data()) == 0;
  ::munmap(map, size);
  if (!known) return -1;
  return static_cast<double>(std::count_if(resident.begin(), resident.end(),
                                           [](unsigned char r) { return (r & 1) != 0; })) /
         static_cast<double>(resident.size());
}

// Direct reads where the file system takes them (a disk), buffered ones where it may not
// (tmpfs): the same bytes either way, across the read window's edges and up to a card end
// that is no multiple of the window, and a card on a disk is not left in the page cache.
TEST_F(JdiskioTest, ImageReadsAreExactAndLeaveNothingCachedOnDiskAndTmpfs) {
  const uint32_t sectors = 3 * 8192 + 1003;  // 12 MiB and a bit
  CardImage card(sectors);
  card.noise(3);
  std::vector<std::filesystem::path> folders{dir_.path()};
  if (std::filesystem::is_directory("/dev/shm")) folders.push_back("/dev/shm");
  for (const auto& folder : folders) {
    const auto path = card.writeTo(folder / ("direct-" + std::to_string(::getpid()) + ".img"));
    ASSERT_GT(CachedShare(path), 0.5) << "a file just written is cached";
    const uint8_t drive = Number(LinuxDrives::AttachImage(path.string()));
    std::vector<uint8_t> buffer(200 * 512);
    for (uint32_t start = 0; start < sectors; start += 200) {
      const uint32_t n = std::min(200u, sectors - start);
      ASSERT_TRUE(ReadSectors(drive, start, static_cast<uint16_t>(n), buffer.data())) << start;
      ASSERT_TRUE(std::equal(buffer.begin(), buffer.begin() + n * 512,
                             card.bytes().begin() + size_t{start} * 512)) << start;
    }
    // Backwards and single sectors, as the re-reads of a failed batch go.
    for (uint32_t s : {sectors - 1, 8192u, 8191u, 0u}) {
      ASSERT_TRUE(ReadSectors(drive, s, 1, buffer.data())) << s;
      EXPECT_EQ(std::vector<uint8_t>(buffer.begin(), buffer.begin() + 512), card.sector(s)) << s;
    }
    EXPECT_FALSE(ReadSectors(drive, sectors - 1, 2, buffer.data()));
    CloseDrive();
    // A tmpfs file lives in the page cache: there is nothing to drop it to.
    if (folder == dir_.path()) {
      EXPECT_LT(CachedShare(path), 0.05);
    }
    LinuxDrives::DetachAll();
    std::filesystem::remove(path);
  }
}

TEST_F(JdiskioTest, ReadingAtOrPastTheEndFails) {
  CardImage card(300);
  card.noise();
  const auto path = card.writeTo(dir_ / "card.img");
  const uint64_t hash = HashFile(path);
  const uint8_t image = Number(LinuxDrives::AttachImage(path.string()));
  auto log = std::make_shared<CardSourceLog>();
  const uint8_t memory = Number(card.attach(log));
  std::vector<uint8_t> buffer(200 * 512);
  for (uint8_t drive : {image, memory}) {
    EXPECT_TRUE(ReadSectors(drive, 100, 200, buffer.data()));   // ends exactly at the end
    EXPECT_FALSE(ReadSectors(drive, 101, 200, buffer.data()));  // one sector short
    EXPECT_FALSE(ReadSectors(drive, 300, 1, buffer.data()));
    EXPECT_FALSE(ReadSectors(drive, 0xFFFFFFFFu, 200, buffer.data()));
    EXPECT_TRUE(ReadSectors(drive, 299, 1, buffer.data()));
    EXPECT_EQ(std::vector<uint8_t>(buffer.begin(), buffer.begin() + 512), card.sector(299));
  }
  CloseDrive();
  EXPECT_EQ(HashFile(path), hash);
}

TEST_F(JdiskioTest, SectorOffsetsBeyondFourGiBAreExact) {
  // A sparse image just over 4 GiB with a marker in sector 8,388,608 (byte 4,294,967,296).
  const auto path = dir_ / "big.img";
  {
    std::ofstream out(path, std::ios::binary);
    out.seekp(4294967296LL);
    out.write("MARKER-8388608", 14);
    out.seekp(4294967296LL + 2 * 512 - 1);
    out.put('\0');
  }
  // Hashing 4 GiB would be slow; a write would change the modification time or the size.
  const auto written = std::filesystem::last_write_time(path);
  const auto size = std::filesystem::file_size(path);
  const uint8_t drive = Number(LinuxDrives::AttachImage(path.string()));
  std::vector<uint8_t> buffer(2 * 512, 0xEE);
  ASSERT_TRUE(ReadSectors(drive, 8388608, 2, buffer.data()));
  EXPECT_EQ(std::string(buffer.begin(), buffer.begin() + 14), "MARKER-8388608");
  EXPECT_FALSE(ReadSectors(drive, 8388609, 2, buffer.data()));
  CloseDrive();
  EXPECT_EQ(std::filesystem::last_write_time(path), written);
  EXPECT_EQ(std::filesystem::file_size(path), size);

  auto log = std::make_shared<CardSourceLog>();
  const uint8_t memory = Number(CardImage(8).attach(log));
  EXPECT_FALSE(ReadSectors(memory, 8388608, 1, buffer.data()));
  EXPECT_EQ(log->Reads, (Reads{{4294967296ULL, 512}}));
}

TEST_F(JdiskioTest, SameDriveOpensOnceAndAnotherDriveReplacesTheHandle) {
  auto logA = std::make_shared<CardSourceLog>(), logB = std::make_shared<CardSourceLog>();
  const uint8_t a = Number(CardImage(400).attach(logA));
  const uint8_t b = Number(CardImage(400).attach(logB));
  std::vector<uint8_t> buffer(200 * 512);
  EXPECT_TRUE(ReadSectors(a, 0, 200, buffer.data()));
  EXPECT_TRUE(ReadSectors(a, 200, 200, buffer.data()));
  EXPECT_TRUE(OpenDrive(a));
  EXPECT_TRUE(OpenDrive(a));
  EXPECT_EQ(logA->Opens, 1);
  EXPECT_EQ(logA->Closes, 0);
  EXPECT_TRUE(ReadSectors(b, 0, 200, buffer.data()));
  EXPECT_EQ(logA->Closes, 1);
  EXPECT_EQ(logB->Opens, 1);
  CloseDrive();
  EXPECT_EQ(logB->Closes, 1);
  EXPECT_TRUE(ReadSectors(b, 0, 1, buffer.data()));  // a later scan opens again
  EXPECT_EQ(logB->Opens, 2);
}

TEST_F(JdiskioTest, GeometryAndSizeQueriesUseTheirOwnHandle) {
  auto log = std::make_shared<CardSourceLog>();
  const uint8_t drive = Number(CardImage(20000).attach(log));
  ASSERT_TRUE(OpenDrive(drive));
  TDiskGeometry g;
  ASSERT_TRUE(GetDriveGeometry(drive, g));
  int64_t length = 0;
  ASSERT_TRUE(GetDiskSize(drive, length));
  EXPECT_EQ(log->Opens, 3);
  EXPECT_EQ(log->Closes, 2);  // the queries closed theirs, the cached one is still open
  std::vector<uint8_t> buffer(512);
  EXPECT_TRUE(ReadSectors(drive, 0, 1, buffer.data()));
  EXPECT_EQ(log->Opens, 3);
  EXPECT_EQ(length, 20000 * 512);
  EXPECT_EQ(g.BytesPerSector, 512u);
}

TEST_F(JdiskioTest, ImageGeometryIsARemovableMediumOf255HeadsAnd63Sectors) {
  const auto path = dir_ / "card.img";
  const int64_t cylinder = 255 * 63 * 512;
  std::ofstream(path).close();
  std::filesystem::resize_file(path, 3 * cylinder + 1000 * 512);
  const uint8_t drive = Number(LinuxDrives::AttachImage(path.string()));
  TDiskGeometry g;
  ASSERT_TRUE(GetDriveGeometry(drive, g));
  EXPECT_EQ(g.MediaKind, 2);
  EXPECT_EQ(g.Removable, 1);
  EXPECT_EQ(g.Cylinders, 3u);
  EXPECT_EQ(g.TracksPerCylinder, 255u);
  EXPECT_EQ(g.SectorsPerTrack, 63u);
  EXPECT_EQ(g.BytesPerSector, 512u);
  EXPECT_EQ(g.TotalSectors, 3u * 255 * 63);  // whole cylinders only
  int64_t length = 0;
  ASSERT_TRUE(GetDiskSize(drive, length));
  EXPECT_EQ(length, 3 * cylinder + 1000 * 512);
}

TEST_F(JdiskioTest, CdRomDrivesRefuseEveryQueryWithoutOpening) {
  auto log = std::make_shared<CardSourceLog>();
  const uint8_t drive = Number(AttachSized(2048, 2048 * 100, log, DRIVE_CDROM));
  EXPECT_TRUE(IsCDRomDrive(drive));
  TDiskGeometry g;
  g.Cylinders = 77;
  EXPECT_FALSE(GetDriveGeometry(drive, g));
  EXPECT_EQ(g.Cylinders, 77u);
  int64_t length = 0;
  EXPECT_FALSE(GetDiskSize(drive, length));
  EXPECT_EQ(length, -1);
  std::vector<uint8_t> buffer(2048);
  EXPECT_FALSE(ReadSectors(drive, 0, 1, buffer.data()));
  EXPECT_EQ(log->Opens, 0);
}

TEST_F(JdiskioTest, DrivesWithoutADeviceFail) {
  std::vector<uint8_t> buffer(512);
  TDiskGeometry g;
  int64_t length = 5;
  for (uint8_t drive : {0, 1, 2, 26, 27, 255}) {
    if (drive >= 1 && drive <= 26 && LinuxDrives::ByNumber(drive) != nullptr) continue;
    EXPECT_FALSE(IsCDRomDrive(drive));
    EXPECT_FALSE(GetDriveGeometry(drive, g));
    EXPECT_FALSE(GetDiskSize(drive, length));
    EXPECT_EQ(length, -1);
    EXPECT_FALSE(OpenDrive(drive));
    EXPECT_FALSE(ReadSectors(drive, 0, 1, buffer.data()));
  }
  EXPECT_EQ(CurrentSectorShift(), 0);
}

TEST_F(JdiskioTest, UnreadableSectorFailsOnlyTheReadsThatTouchIt) {
  CardImage card(600);
  card.noise();
  const uint8_t drive = Number(card.attach(nullptr, {250}));
  std::vector<uint8_t> buffer(200 * 512);
  EXPECT_TRUE(ReadSectors(drive, 0, 200, buffer.data()));
  EXPECT_FALSE(ReadSectors(drive, 200, 200, buffer.data()));
  EXPECT_TRUE(ReadSectors(drive, 249, 1, buffer.data()));
  EXPECT_FALSE(ReadSectors(drive, 250, 1, buffer.data()));
  EXPECT_TRUE(ReadSectors(drive, 251, 200, buffer.data()));
}

// The open descriptor of a path, and its flags as /proc reports them.
int OpenFlagsOf(const std::filesystem::path& file) {
  const std::string target = std::filesystem::canonical(file).string();
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    std::error_code ec;
    if (std::filesystem::read_symlink(entry.path(), ec).string() != target) continue;
    std::ifstream info("/proc/self/fdinfo/" + entry.path().filename().string());
    std::string key, value;
    while (info >> key >> value) {
      if (key == "flags:") return std::stoi(value, nullptr, 8);
    }
  }
  return -1;
}

TEST_F(JdiskioTest, TheCardIsOpenedReadOnlyEvenWhenWritingIsAsked) {
  const auto path = CardImage(64).writeTo(dir_ / "card.img");
  const uint8_t drive = Number(LinuxDrives::AttachImage(path.string()));
  ASSERT_TRUE(OpenDrive(drive));
  const int flags = OpenFlagsOf(path);
  ASSERT_NE(flags, -1) << "the image is not open";
  EXPECT_EQ(flags & O_ACCMODE, O_RDONLY);
  EXPECT_NE(flags & O_CLOEXEC, 0);
  CloseDrive();
  EXPECT_EQ(OpenFlagsOf(path), -1);
}

// The same reads through the block-device path: the image attached read-only to a loop
// device, which LinuxDrives lists as a removable drive.
TEST_F(JdiskioTest, LoopDeviceReadsGeometryAndSizeMatchTheImage) {
  CardImage card(4096);
  card.noise(3).jpegAt(0).header(2048, "MTS");
  const auto path = card.writeTo(dir_ / "card.img");
  const uint64_t hash = HashFile(path);
  {
    enginetest::LoopDevice loop(path);
    if (!loop.ok()) GTEST_SKIP() << "loop devices are not available here";
    LinuxDrives::Refresh();
    const char letter = LinuxDrives::LetterOfPath(loop.device());
    ASSERT_NE(letter, 0) << loop.device() << " has no letter";
    EXPECT_EQ(LinuxDrives::GetDriveType(letter), DRIVE_REMOVABLE);
    const uint8_t drive = Number(letter);

    TDiskGeometry g;
    ASSERT_TRUE(GetDriveGeometry(drive, g));
    EXPECT_EQ(g.BytesPerSector, 512u);
    EXPECT_EQ(g.MediaKind, 2);
    EXPECT_EQ(g.Removable, 1);
    EXPECT_EQ(g.TotalSectors, g.Cylinders * g.TracksPerCylinder * g.SectorsPerTrack);
    int64_t length = 0;
    ASSERT_TRUE(GetDiskSize(drive, length));
    EXPECT_EQ(length, 4096 * 512);

    std::vector<uint8_t> buffer(200 * 512);
    for (uint32_t start : {0u, 1999u, 3896u}) {
      ASSERT_TRUE(ReadSectors(drive, start, 200, buffer.data())) << start;
      EXPECT_TRUE(std::equal(buffer.begin(), buffer.end(), card.bytes().begin() + start * 512))
          << start;
    }
    EXPECT_EQ(CurrentSectorShift(), 9);
    EXPECT_FALSE(ReadSectors(drive, 3897, 200, buffer.data()));
    EXPECT_FALSE(ReadSectors(drive, 4096, 1, buffer.data()));
    CloseDrive();
  }
  LinuxDrives::Refresh();
  EXPECT_EQ(HashFile(path), hash);
}

// A descriptor handed over by udisks2 serves the drive's every open, also the reopening after
// CloseDrive, with the path itself gone; it is never written even when it could be.
TEST_F(JdiskioTest, AdoptedDescriptorServesEveryOpenOfItsPath) {
  CardImage card(3000);
  card.noise(3).jpegAt(10).header(2999, "MOV");
  const auto path = card.writeTo(dir_ / "card.img");
  const uint64_t hash = HashFile(path);
  const uint8_t drive = Number(LinuxDrives::AttachImage(path.string()));
  const int handed = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
  ASSERT_GE(handed, 0);
  ASSERT_TRUE(AdoptCardDescriptor(path.string(), handed));
  ::close(handed);
  EXPECT_TRUE(HasCardDescriptor(path.string()));
  const auto moved = dir_ / "moved.img";
  std::filesystem::rename(path, moved);

  int64_t length = 0;
  EXPECT_TRUE(GetDiskSize(drive, length));
  EXPECT_EQ(length, 3000 * 512);
  std::vector<uint8_t> buffer(200 * 512);
  for (int pass = 0; pass < 2; ++pass) {
    for (uint32_t start : {0u, 1400u, 2800u}) {
      ASSERT_TRUE(ReadSectors(drive, start, 200, buffer.data())) << start;
      EXPECT_TRUE(std::equal(buffer.begin(), buffer.end(), card.bytes().begin() + start * 512));
    }
    EXPECT_FALSE(ReadSectors(drive, 2900, 200, buffer.data()));  // past the end
    CloseDrive();  // as after a failed batch: the next read reopens through the descriptor
  }
  EXPECT_EQ(HashFile(moved), hash);

  ForgetCardDescriptor(path.string());
  EXPECT_FALSE(HasCardDescriptor(path.string()));
  EXPECT_FALSE(ReadSectors(drive, 0, 1, buffer.data()));
}

TEST_F(JdiskioTest, OnlyReadableDisksAndImagesAreAdopted) {
  const auto path = CardImage(64).writeTo(dir_ / "card.img");
  int pipeEnds[2];
  ASSERT_EQ(::pipe(pipeEnds), 0);
  const int writeOnly = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
  const int folder = ::open(dir_.path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  const int readable = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  const struct {
    std::string Path;
    int Fd;
  } refused[] = {{path.string(), writeOnly}, {path.string(), folder},
                 {path.string(), pipeEnds[0]}, {path.string(), -1}, {"", readable}};
  for (const auto& c : refused) {
    EXPECT_FALSE(AdoptCardDescriptor(c.Path, c.Fd)) << c.Fd;
    EXPECT_FALSE(HasCardDescriptor(c.Path)) << c.Fd;
  }
  for (int fd : {pipeEnds[0], pipeEnds[1], writeOnly, folder, readable}) ::close(fd);
}

}  // namespace
}  // namespace snapsalvager
