// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// The temporary-file reader (round trips with the writer, partial head reads, capped size)
// and the note file of the temporary folder.
#include "tempfile/TempFileReader.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "EngineTestSupport.h"

#include "tempfile/TempFileWriter.h"

namespace fs = std::filesystem;
using snapsalvager::TPreviewFileStream;
using snapsalvager::TReadSettings;
using snapsalvager::TWriteFileStream;
using snapsalvager::TWriteSettings;

namespace {

using TempDir = snapsalvager::enginetest::ScratchDir;

std::vector<uint8_t> Carved(size_t n) {
  std::vector<uint8_t> v(n);
  std::mt19937 rng(42);
  for (auto& b : v) b = static_cast<uint8_t>(rng());
  return v;
}

// Writes data as the scan does: sector by sector, through a scan-configured writer.
void WriteTemp(const fs::path& file, std::vector<uint8_t> data) {
  TWriteFileStream w(file, TWriteSettings{0, true, true});
  for (size_t at = 0; at < data.size(); at += 512) {
    const size_t n = std::min<size_t>(512, data.size() - at);
    w.Write(data.data() + at, static_cast<int32_t>(n));
  }
  ASSERT_TRUE(w.Close());
}

// Reads as the preview reads a temporary file.
TReadSettings TempSettings(int64_t maxSize) { return TReadSettings{maxSize, true}; }

void MakeSparseFile(const fs::path& p, int64_t size) {
  { std::ofstream(p, std::ios::binary).put('x'); }
  fs::resize_file(p, static_cast<uintmax_t>(size));
}

}  // namespace

TEST(PreviewFileStream, RoundTripReturnsTheCarvedBytes) {
  TempDir dir;
  const fs::path file = dir.path() / "Temporary_v5_File0001_JPG.~QX";
  for (size_t size : {size_t{1}, size_t{511}, size_t{512}, size_t{1500}, size_t{(1 << 20) + 512}}) {
    const auto carved = Carved(size);
    fs::remove(file);
    WriteTemp(file, carved);
    TPreviewFileStream r(file, TempSettings(30000000));
    std::vector<uint8_t> back(size + 100, 0xEE);
    ASSERT_EQ(r.Read(back.data(), static_cast<int32_t>(back.size())), static_cast<int32_t>(size));
    back.resize(size);
    EXPECT_EQ(back, carved) << "size " << size;
  }
}

TEST(PreviewFileStream, PieceByPieceReadsMatchOneRead) {
  TempDir dir;
  const fs::path file = dir.path() / "t.~QX";
  const auto carved = Carved(3000);
  WriteTemp(file, carved);
  TPreviewFileStream r(file, TempSettings(1048576));
  std::vector<uint8_t> back;
  uint8_t piece[37];
  for (int32_t n; (n = r.Read(piece, sizeof piece)) > 0;) back.insert(back.end(), piece, piece + n);
  EXPECT_EQ(back, carved);
}

TEST(PreviewFileStream, ReadFrom300UnscramblesExactlyThe212HeadBytes) {
  TempDir dir;
  const fs::path file = dir.path() / "raw.bin";
  std::vector<uint8_t> raw(2048, 0x00);
  { std::ofstream(file, std::ios::binary).write(reinterpret_cast<char*>(raw.data()), 2048); }
  TPreviewFileStream r(file, TempSettings(1048576));
  ASSERT_EQ(r.Seek(300, SEEK_SET), 300);
  std::vector<uint8_t> out(500);
  ASSERT_EQ(r.Read(out.data(), 500), 500);
  for (size_t i = 0; i < 500; ++i) ASSERT_EQ(out[i], i < 212 ? 0xD3 : 0x00) << i;
  EXPECT_EQ(r.Position(), 800);
}

TEST(PreviewFileStream, ShortReadLeavesTheRestOfTheBufferUntouched) {
  TempDir dir;
  const fs::path file = dir.path() / "tiny.bin";
  { std::ofstream(file, std::ios::binary) << "abc"; }
  TPreviewFileStream r(file, TempSettings(1048576));
  std::vector<uint8_t> out(16, 0x77);
  ASSERT_EQ(r.Read(out.data(), 16), 3);
  EXPECT_EQ(out[0], 'a' ^ 0xD3);
  for (size_t i = 3; i < 16; ++i) EXPECT_EQ(out[i], 0x77) << i;
  EXPECT_EQ(r.Read(out.data(), 16), 0);
}

TEST(PreviewFileStream, UnencodedReaderReturnsTheFileAsItIs) {
  TempDir dir;
  const fs::path file = dir.path() / "plain.jpg";
  { std::ofstream(file, std::ios::binary) << "\xFF\xD8\xFF\xE1"; }
  TPreviewFileStream r(file, TReadSettings{1048576, false});
  uint8_t out[4];
  ASSERT_EQ(r.Read(out, 4), 4);
  EXPECT_EQ(out[0], 0xFF);
  EXPECT_EQ(out[3], 0xE1);
}

TEST(PreviewFileStream, SizeIsCappedByMaxSize) {
  TempDir dir;
  const fs::path big = dir.path() / "big.~QX", small = dir.path() / "small.~QX";
  MakeSparseFile(big, 40000000);
  MakeSparseFile(small, 3000000);
  TPreviewFileStream rb(big, TReadSettings{30000000}), rs(small, TReadSettings{30000000});
  EXPECT_EQ(rb.GetSize(), 30000000);
  EXPECT_EQ(rs.GetSize(), 3000000);
  EXPECT_EQ(rb.Seek(-10, SEEK_END), 30000000 - 10) << "end of a capped file is MaxSize";
  EXPECT_EQ(rs.Seek(0, SEEK_END), 3000000);
  EXPECT_EQ(TPreviewFileStream(small, TReadSettings{0}).GetSize(), 0);
}

TEST(PreviewFileStream, SeekRejectsNegativePositions) {
  TempDir dir;
  const fs::path file = dir.path() / "f";
  MakeSparseFile(file, 10);
  TPreviewFileStream r(file, {});
  EXPECT_EQ(r.Seek(-1, SEEK_SET), -1);
  EXPECT_EQ(r.Seek(4, SEEK_SET), 4);
  EXPECT_EQ(r.Seek(2, SEEK_CUR), 6);
  EXPECT_EQ(r.Seek(-7, SEEK_CUR), -1);
  EXPECT_EQ(r.Position(), 6);
}

TEST(PreviewFileStream, MissingFileHasSizeZeroAndFailsToOpen) {
  TempDir dir;
  EXPECT_EQ(snapsalvager::GetFileSizeByName(dir.path() / "none"), 0);
  EXPECT_THROW(TPreviewFileStream(dir.path() / "none", {}), std::runtime_error);
  EXPECT_THROW((TPreviewFileStream{dir.path(), {}}), std::runtime_error) << "a folder is no file";
}

TEST(WriteFolderNote, WritesNineteenCrLfLines) {
  TempDir dir;
  snapsalvager::WriteFolderNote(dir.path());
  std::ifstream in(dir.path() / "AboutThisFolder.txt", std::ios::binary);
  const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t at; (at = text.find("\r\n", start)) != std::string::npos; start = at + 2) {
    lines.push_back(text.substr(start, at - start));
  }
  EXPECT_EQ(start, text.size()) << "text after the last CR LF";
  ASSERT_EQ(lines.size(), 19u);
  EXPECT_EQ(lines[0], "");
  EXPECT_EQ(lines[1], "About This TmpFiles Folder");
  EXPECT_EQ(lines[3], "此文件夹是用于 Snapsalvager 存储临时文件");
  EXPECT_EQ(lines[4], "on scanning your memory card. ");
  EXPECT_EQ(lines[5], "Files in this TMPFiles folder all have a \".~QX\" extension name");
  EXPECT_EQ(lines[10],
            "You may remove the TMPFiles folder and \".~QX\" files safely to release the space "
            "they take");
  EXPECT_EQ(lines[14],
            "your memory card (took new pictures on the same memory card), or the memory card "
            "is in unstable state,");
  EXPECT_EQ(lines[15],
            "you may still use Snapsalvager to recover the pictures from the memory card once "
            "again.");
  EXPECT_EQ(lines[16], "");
  EXPECT_EQ(lines[17].rfind("Generated at 20", 0), 0u) << lines[17];
  EXPECT_EQ(lines[18], "");
  for (const auto& line : lines) EXPECT_EQ(line.find('\n'), std::string::npos);
}

TEST(WriteFolderNote, EnglishNoteHasNoChineseLine) {
  TempDir dir;
  snapsalvager::WriteFolderNote(dir.path(), snapsalvager::TFolderNoteLanguage::English);
  std::ifstream in(dir.path() / "AboutThisFolder.txt", std::ios::binary);
  const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  EXPECT_NE(text.find("\r\n\r\nThis folder is used by Snapsalvager to store temporary files\r\n"
                      "on scanning your memory card. \r\n"),
            std::string::npos)
      << text;
  for (const unsigned char c : text) EXPECT_LT(c, 0x80) << text;
}

TEST(WriteFolderNote, UnwritableFolderIsIgnored) {
  TempDir dir;
  EXPECT_NO_THROW(snapsalvager::WriteFolderNote(dir.path() / "missing"));
  EXPECT_FALSE(fs::exists(dir.path() / "missing"));
}
