// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// The temporary-file writer: scrambled head, size cap, 1 MiB buffering, no link following,
// and the report of bytes that never reached the disk.
#include "tempfile/TempFileWriter.h"

#include <gtest/gtest.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "EngineTestSupport.h"
#include "tempfile/TempFileFormat.h"
#include "tempfile/Utf8Path.h"

namespace fs = std::filesystem;
using snapsalvager::TWriteFileStream;
using snapsalvager::TWriteSettings;

namespace {

using TempDir = snapsalvager::enginetest::ScratchDir;

std::vector<uint8_t> ReadAll(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<uint8_t> Pattern(size_t n, uint8_t start = 0) {
  std::vector<uint8_t> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(start + i * 7);
  return v;
}

// Configured the way the scan configures it.
TWriteSettings ScanSettings(bool jpg) { return snapsalvager::TempFileWriteSettings(jpg ? "JPG" : "MOV"); }

// A small tmpfs filled to its last byte: every write into it fails with ENOSPC.
class FullFolder {
 public:
  FullFolder() : mnt_(dir_.path() / "full") {
    fs::create_directories(mnt_);
    mounted_ = ::mount("tmpfs", mnt_.c_str(), "tmpfs", 0, "size=64k") == 0;
    if (!mounted_) return;
    std::ofstream filler(mnt_ / "filler", std::ios::binary);
    const std::string block(4096, 'f');
    while (filler.write(block.data(), block.size())) {
    }
  }
  ~FullFolder() {
    if (mounted_) ::umount2(mnt_.c_str(), MNT_DETACH);
  }
  bool Mounted() const { return mounted_; }
  const fs::path& Path() const { return mnt_; }

 private:
  TempDir dir_;
  fs::path mnt_;
  bool mounted_ = false;
};

}  // namespace

TEST(WriteFileStream, OneSectorIsStoredWholeScrambledAndCallerBufferLeftAlone) {
  TempDir dir;
  const fs::path file = dir.path() / "Temporary_v5_File0001_JPG.~QX";
  const auto original = Pattern(512);
  auto sector = original;
  {
    TWriteFileStream w(file, ScanSettings(true));
    EXPECT_EQ(w.Write(sector.data(), 512), 512);
    EXPECT_EQ(w.GetSize(), 512);
  }
  const auto stored = ReadAll(file);
  ASSERT_EQ(stored.size(), 512u);
  for (size_t i = 0; i < 512; ++i) {
    ASSERT_EQ(stored[i], original[i] ^ 0xD3) << i;
    ASSERT_EQ(sector[i], original[i]) << "the head is scrambled in the caller's buffer";
  }
}

TEST(WriteFileStream, OnlyTheHeadIsScrambledAcrossWrites) {
  TempDir dir;
  const fs::path file = dir.path() / "t.~QX";
  const auto a = Pattern(300, 1), b = Pattern(724, 9);
  {
    TWriteFileStream w(file, ScanSettings(false));
    auto x = a, y = b;
    w.Write(x.data(), 300);  // head bytes 0..299
    w.Write(y.data(), 724);  // 212 head bytes, then 512 plain
  }
  const auto stored = ReadAll(file);
  ASSERT_EQ(stored.size(), 1024u);
  for (size_t i = 0; i < 300; ++i) ASSERT_EQ(stored[i], a[i] ^ 0xD3);
  for (size_t i = 0; i < 724; ++i) {
    const uint8_t expected = i < 212 ? b[i] ^ 0xD3 : b[i];
    ASSERT_EQ(stored[300 + i], expected) << i;
  }
}

TEST(WriteFileStream, JpgCapDropsButCountsLaterBytes) {
  TempDir dir;
  const fs::path file = dir.path() / "cap.~QX";
  // The real cap works the same; a small one keeps the test quick.
  TWriteFileStream w(file, TWriteSettings{4096, true, true});
  std::vector<uint8_t> sector(512, 0x11);
  for (int i = 0; i < 12; ++i) {
    auto s = sector;
    EXPECT_EQ(w.Write(s.data(), 512), 512);
  }
  EXPECT_EQ(w.Written(), 12 * 512);
  EXPECT_EQ(w.GetSize(), 4096);
  ASSERT_TRUE(w.Close());
  EXPECT_EQ(fs::file_size(file), 4096u);
}

TEST(WriteFileStream, RealJpgCapStopsAtFiftyMebibytes) {
  TempDir dir;
  const fs::path file = dir.path() / "big.~QX";
  TWriteFileStream w(file, ScanSettings(true));
  std::vector<uint8_t> block(1 << 20, 0x5A);
  for (int i = 0; i < 51; ++i) w.Write(block.data(), static_cast<int32_t>(block.size()));
  EXPECT_EQ(w.Written(), 51LL << 20);
  EXPECT_EQ(w.GetSize(), 52428800);
  ASSERT_TRUE(w.Close());
  EXPECT_EQ(fs::file_size(file), 52428800u);
}

TEST(WriteFileStream, WriteCrossingTheCapStoresOnlyBytesBelowIt) {
  TempDir dir;
  const fs::path file = dir.path() / "cross.~QX";
  TWriteFileStream w(file, TWriteSettings{1000});
  std::vector<uint8_t> data(768, 1);
  w.Write(data.data(), 768);
  EXPECT_EQ(w.Write(data.data(), 768), 768);
  EXPECT_EQ(w.GetSize(), 1000);
  ASSERT_TRUE(w.Close());
  EXPECT_EQ(fs::file_size(file), 1000u);
}

TEST(WriteFileStream, OtherTypesHaveNoCap) {
  TempDir dir;
  const fs::path file = dir.path() / "mov.~QX";
  TWriteFileStream w(file, ScanSettings(false));
  std::vector<uint8_t> block(3 << 20, 0x22);
  w.Write(block.data(), static_cast<int32_t>(block.size()));
  w.Write(block.data(), static_cast<int32_t>(block.size()));
  EXPECT_EQ(w.GetSize(), 6LL << 20);
  ASSERT_TRUE(w.Close());
  EXPECT_EQ(fs::file_size(file), 6u << 20);
}

TEST(WriteFileStream, BuffersUntilOneMebibyteThenWritesTheBlock) {
  TempDir dir;
  const fs::path file = dir.path() / "buf.~QX";
  TWriteFileStream w(file, ScanSettings(false));
  std::vector<uint8_t> sector(512, 0x33);
  const int sectorsPerMiB = (1 << 20) / 512;
  for (int i = 0; i < sectorsPerMiB - 1; ++i) w.Write(sector.data(), 512);
  EXPECT_EQ(fs::file_size(file), 0u) << "nothing reaches the file below 1 MiB";
  w.Write(sector.data(), 512);
  EXPECT_EQ(fs::file_size(file), 1u << 20);
  w.Write(sector.data(), 512);
  EXPECT_EQ(fs::file_size(file), 1u << 20);
  EXPECT_EQ(w.GetSize(), (1 << 20) + 512);
}

TEST(WriteFileStream, DestroyFlushesAShortBufferUnchanged) {
  TempDir dir;
  const fs::path file = dir.path() / "short.~QX";
  const auto data = Pattern(2000, 3);
  {
    TWriteFileStream w(file, ScanSettings(false));
    auto copy = data;
    w.Write(copy.data(), 2000);
  }
  const auto stored = ReadAll(file);
  ASSERT_EQ(stored.size(), 2000u);
  for (size_t i = 0; i < 2000; ++i) {
    ASSERT_EQ(stored[i], i < 512 ? data[i] ^ 0xD3 : data[i]) << "flushed bytes scrambled twice";
  }
}

TEST(WriteFileStream, UnbufferedWritesGoStraightToTheFile) {
  TempDir dir;
  const fs::path file = dir.path() / "direct.~QX";
  TWriteFileStream w(file);
  std::vector<uint8_t> data(100, 7);
  EXPECT_EQ(w.Write(data.data(), 100), 100);
  EXPECT_EQ(fs::file_size(file), 100u);
  EXPECT_EQ(w.Write(data.data(), 0), 0);
  EXPECT_EQ(w.Written(), 100);
}

// A file under the name may be a photo kept from an earlier scan: it is never rewritten.
TEST(WriteFileStream, CreateRefusesAnExistingFileAndLeavesItAsItWas) {
  TempDir dir;
  const fs::path file = dir.path() / "Temporary_v5_File0001_JPG.~QX";
  std::ofstream(file) << std::string(5000, 'x');
  EXPECT_THROW(TWriteFileStream(file, ScanSettings(true)), std::runtime_error);
  EXPECT_EQ(ReadAll(file), std::vector<uint8_t>(5000, 'x'));
}

TEST(WriteFileStream, PlantedSymlinkMakesCreateFailAndLeavesTheTargetAlone) {
#ifdef _WIN32
  GTEST_SKIP() << "making a symbolic link needs a privilege on Windows";
#endif
  TempDir dir;
  const fs::path victim = dir.path() / "precious.jpg";
  std::ofstream(victim) << "keep me";
  const fs::path link = dir.path() / "Temporary_v5_File0001_JPG.~QX";
  fs::create_symlink(victim, link);
  try {
    TWriteFileStream w(link);
    FAIL() << "create followed the link";
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find(link.string()), std::string::npos) << e.what();
  }
  EXPECT_EQ(ReadAll(victim).size(), 7u);
  // A dangling link must not create its target either.
  const fs::path dangling = dir.path() / "dangling.~QX";
  fs::create_symlink(dir.path() / "nowhere", dangling);
  EXPECT_THROW(TWriteFileStream{dangling}, std::runtime_error);
  EXPECT_FALSE(fs::exists(dir.path() / "nowhere"));
}

// Going on with an interrupted scan's open file: a link planted under its name is refused
// (on Windows too, where the name's own reparse point is checked) and its target is neither
// cut back nor written.
TEST(WriteFileStream, PlantedLinkMakesContinueFailAndLeavesTheTargetAlone) {
  TempDir dir;
  const fs::path victim = dir.path() / "precious.jpg";
  std::ofstream(victim) << std::string(5000, 'x');
  const fs::path link = dir.path() / "Temporary_v5_File0001_JPG.~QX";
  std::error_code ec;
  fs::create_symlink(victim, link, ec);
  if (ec) GTEST_SKIP() << "no symbolic link can be made here: " << ec.message();
  try {
    TWriteFileStream w(link, ScanSettings(true), 512, 512);
    FAIL() << "continue followed the link";
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find(link.string()), std::string::npos) << e.what();
  }
  EXPECT_EQ(ReadAll(victim), std::vector<uint8_t>(5000, 'x'));
}

TEST(WriteFileStream, CreateInMissingFolderThrows) {
  TempDir dir;
  EXPECT_THROW(TWriteFileStream(dir.path() / "no" / "such.~QX"), std::runtime_error);
}

TEST(WriteFileStream, FullDiskIsReportedNotHidden) {
  FullFolder full;
  if (!full.Mounted()) GTEST_SKIP() << "cannot mount a tmpfs here";
  TWriteFileStream w(full.Path() / "buffered.~QX", ScanSettings(false));
  std::vector<uint8_t> sector(512, 1);
  EXPECT_EQ(w.Write(sector.data(), 512), 512);  // buffered: nothing tried yet
  EXPECT_TRUE(w.AllStored());
  EXPECT_FALSE(w.Close());
  EXPECT_FALSE(w.AllStored());
  EXPECT_FALSE(w.LastError().empty());
  EXPECT_EQ(w.GetSize(), 512) << "the size still counts what was written";
}

TEST(WriteFileStream, UnbufferedWriteToFullDiskReturnsWhatTheFileTook) {
  FullFolder full;
  if (!full.Mounted()) GTEST_SKIP() << "cannot mount a tmpfs here";
  TWriteFileStream w(full.Path() / "direct.~QX");
  std::vector<uint8_t> data(64, 1);
  EXPECT_EQ(w.Write(data.data(), 64), 0);
  EXPECT_EQ(w.Written(), 64);
  EXPECT_FALSE(w.AllStored());
}

TEST(WriteFileStream, FullFileSystemMakesCloseFail) {
  TempDir dir;
  const fs::path mnt = dir.path() / "mnt";
  fs::create_directories(mnt);
  if (::mount("tmpfs", mnt.c_str(), "tmpfs", 0, "size=64k") != 0) {
    GTEST_SKIP() << "cannot mount a tmpfs here";
  }
  bool closed;
  std::string error;
  {
    TWriteFileStream w(mnt / "Temporary_v5_File0001_MOV.~QX", ScanSettings(false));
    std::vector<uint8_t> block(1 << 20, 0x44);  // 1 MiB on a 64 KiB file system
    w.Write(block.data(), static_cast<int32_t>(block.size()));
    closed = w.Close();
    error = w.LastError();
  }
  ::umount2(mnt.c_str(), MNT_DETACH);
  EXPECT_FALSE(closed);
  EXPECT_NE(error.find("space"), std::string::npos) << error;
}

// A file of a known length ends at its last byte: inside the buffer, behind an earlier
// flush, in the scrambled head, and never grown.
TEST(WriteFileStream, TruncateEndsTheFileAtAByte) {
  TempDir dir;
  struct Case {
    size_t Written, End;
  };
  for (const Case c : {Case{4096, 3000}, Case{3 << 20, 100000}, Case{2048, 300}, Case{1024, 5000}}) {
    SCOPED_TRACE(std::to_string(c.Written) + " -> " + std::to_string(c.End));
    const fs::path file = dir.path() / "Temporary_v5_File0001_AVI.~QX";
    fs::remove(file);
    const auto original = Pattern(c.Written, 3);
    {
      TWriteFileStream w(file, ScanSettings(false));
      for (size_t at = 0; at < c.Written; at += 512) {
        std::vector<uint8_t> sector(original.begin() + static_cast<long>(at), original.begin() + static_cast<long>(at + 512));
        w.Write(sector.data(), 512);
      }
      w.Truncate(static_cast<int64_t>(c.End));
      EXPECT_EQ(w.GetSize(), static_cast<int64_t>(std::min(c.End, c.Written)));
      EXPECT_TRUE(w.Close());
    }
    auto stored = ReadAll(file);
    ASSERT_EQ(stored.size(), std::min(c.End, c.Written));
    for (size_t i = 0; i < stored.size() && i < 512; ++i) stored[i] ^= 0xD3;
    EXPECT_TRUE(std::equal(stored.begin(), stored.end(), original.begin()));
  }
}

// Paths are UTF-8 text throughout the program; on Windows they must reach the file system as
// the same characters, not as the C library's code page reads the bytes.
TEST(Utf8Path, ChineseFolderIsCreatedUnderItsOwnNameAndItsTextComesBackUnchanged) {
  using snapsalvager::PathFromUtf8;
  using snapsalvager::Utf8Of;
  TempDir dir;
  const std::string folder = Utf8Of(dir.path()) + "/照片 恢复";
  const fs::path temp = PathFromUtf8(folder) / "Temporary_v5_File0001_JPG.~QX";
  EXPECT_EQ(Utf8Of(PathFromUtf8(folder)), folder);
  EXPECT_EQ(PathFromUtf8(folder).string(), folder) << "messages show paths through string()";
#ifdef _WIN32
  EXPECT_EQ(PathFromUtf8("照片").native(), L"照片");
#endif
  fs::create_directories(PathFromUtf8(folder));
  {
    TWriteFileStream w(temp, ScanSettings(true));
    auto data = Pattern(600);
    w.Write(data.data(), data.size());
  }
  EXPECT_EQ(ReadAll(temp).size(), 600u);
  EXPECT_EQ(snapsalvager::TempFileOfJournal(snapsalvager::HeadJournalOf(temp)), temp);
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir.path())) names.push_back(Utf8Of(entry.path().filename()));
  EXPECT_EQ(names, std::vector<std::string>{"照片 恢复"});
}
