// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// Raw and HEIF previews and summaries: the largest embedded JPEG of each raw layout, the
// HEIF thumbnail through libheif, the facts of the summary, and nothing read past the bytes
// of a cut or forged file.
#include "metadata/RawPreview.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>

#include "fixtures/Jpegs.h"
#include "fixtures/Photos.h"
#include "metadata/HeifThumbnail.h"
#include "metadata/PhotoPreview.h"
#include "metadata/PhotoSummary.h"

namespace snapsalvager {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

fs::path TempDir() {
  std::string pattern = (fs::temp_directory_path() / "rawpreview-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp");
  return pattern;
}

TEST(RawPreviewTest, TheLargestEmbeddedJpegOfEachLayoutIsThePreview) {
  fixtures::RawLayout layout;
  layout.Make = "Canon";
  layout.Model = "Canon EOS R6";
  for (const Bytes& raw : {fixtures::TiffRaw(layout), fixtures::Cr3Raw(layout)}) {
    const std::vector<TEmbeddedJpeg> all = FindEmbeddedJpegs(raw.data(), raw.size());
    ASSERT_EQ(all.size(), 2u);  // the 160x120 thumbnail and the preview
    const auto preview = LargestPreview(raw.data(), raw.size());
    ASSERT_TRUE(preview);
    EXPECT_EQ(preview->Width, layout.PreviewWidth);
    EXPECT_EQ(preview->Height, layout.PreviewHeight);
    const TJpegPicture picture = DecodeJpeg(raw.data() + preview->Offset, preview->Length, 8);
    EXPECT_EQ(picture.Status, TJpegDecodeStatus::Image);
    EXPECT_EQ(picture.Width, layout.PreviewWidth / 8);

    TPhotoFacts facts;
    ASSERT_TRUE(ReadRawFacts(raw.data(), raw.size(), &facts));
    EXPECT_EQ(facts.Model, layout.Model);
    EXPECT_EQ(facts.DateTime, layout.DateTime);
    EXPECT_EQ(facts.Width, layout.RawWidth);
    EXPECT_EQ(facts.Height, layout.RawHeight);
  }
}

TEST(RawPreviewTest, ARafHeaderPointsAtItsJpeg) {
  Bytes raf(148, 0);
  const std::string magic = "FUJIFILMCCD-RAW 0201FF383501";
  std::copy(magic.begin(), magic.end(), raf.begin());
  const std::string model = "X-T5";
  std::copy(model.begin(), model.end(), raf.begin() + 28);
  const Bytes jpeg = fixtures::EncodeJpeg(200, 150);
  for (int k = 0; k < 4; ++k) {
    raf[84 + k] = static_cast<uint8_t>(148u >> (24 - 8 * k));
    raf[88 + k] = static_cast<uint8_t>(jpeg.size() >> (24 - 8 * k));
  }
  raf.insert(raf.end(), jpeg.begin(), jpeg.end());
  const auto preview = LargestPreview(raf.data(), raf.size());
  ASSERT_TRUE(preview);
  EXPECT_EQ(preview->Offset, 148u);
  EXPECT_EQ(preview->Width, 200);
  TPhotoFacts facts;
  ASSERT_TRUE(ReadRawFacts(raf.data(), raf.size(), &facts));
  EXPECT_EQ(facts.Model, "X-T5");
}

TEST(RawPreviewTest, CutAndForgedFilesYieldOnlyWhatTheirBytesHold) {
  const Bytes raw = fixtures::TiffRaw(fixtures::RawLayout{});
  // Every cut: the previews found lie inside the bytes (ASan checks the reads).
  for (size_t cut = 0; cut < raw.size(); cut += 97) {
    const Bytes part(raw.begin(), raw.begin() + static_cast<long>(cut));
    for (const TEmbeddedJpeg& j : FindEmbeddedJpegs(part.data(), part.size())) {
      EXPECT_LE(j.Offset + j.Length, part.size());
    }
    TPhotoFacts facts;
    ReadRawFacts(part.data(), part.size(), &facts);
  }
  // IFD0 pointing at itself through SubIFDs and its chain, and a preview past the end.
  fixtures::TiffBlock t(false);
  const uint32_t ifd = t.AddIfd({t.Long(0x14A, {8}), t.Long(0x201, {0x7FFFFFF0}), t.Long(0x202, {1000})}, 8);
  t.SetFirstIfd(ifd);
  EXPECT_TRUE(FindEmbeddedJpegs(t.Bytes().data(), t.Bytes().size()).empty());
}

TEST(RawPreviewTest, HeifThumbnailAndSummaryComeFromLibheif) {
  if (!fixtures::ExiftoolAvailable()) GTEST_SKIP() << "exiftool missing";
  const fs::path dir = TempDir();
  const fs::path jpeg = dir / "in.jpg", heic = dir / "photo.heic";
  fixtures::WritePlainFile(jpeg, fixtures::EncodeJpeg(640, 480));
  int status = -1;
  fixtures::RunProgram({"exiftool", "-q", "-overwrite_original", "-Model=Snap Phone",
                        "-ModifyDate=2024:03:05 10:11:12", jpeg.string()}, &status);
  fixtures::RunProgram({"heif-enc", "-q", "30", "-t", "128", jpeg.string(), "-o", heic.string()}, &status);
  ASSERT_EQ(status, 0) << "heif-enc missing (scripts/deps.sh installs it)";
  const Bytes bytes = fixtures::ReadWholeFile(heic);

  const TJpegPicture thumb = DecodeHeifThumbnail(bytes.data(), bytes.size());
  ASSERT_EQ(thumb.Status, TJpegDecodeStatus::Image);
  EXPECT_EQ(thumb.Width, 128);
  EXPECT_EQ(thumb.Pixels.size(), static_cast<size_t>(thumb.Width) * thumb.Height * 3);
  EXPECT_EQ(GetRawPhotoSummary(heic, "HEIC", false),
            "Shoot Time: 03/05/2024 10:11:12|Model: Snap Phone|Image Size: 640x480");

  // Cut in half, or not a HEIF at all: no picture, no throw.
  EXPECT_EQ(DecodeHeifThumbnail(bytes.data(), bytes.size() / 2).Pixels.size() % 3, 0u);
  const Bytes jpegBytes = fixtures::ReadWholeFile(jpeg);
  EXPECT_EQ(DecodeHeifThumbnail(jpegBytes.data(), jpegBytes.size()).Status, TJpegDecodeStatus::Corrupt);
  EXPECT_EQ(GetRawPhotoSummary(jpeg, "HEIC", false), "N/A");
  fs::remove_all(dir);
}

TEST(RawPreviewTest, TheTableOlderTypesKeepTheirDescription) {
  const fs::path dir = TempDir();
  fixtures::WriteTemporaryFile(dir / "raw", fixtures::TiffRaw(fixtures::RawLayout{}));
  EXPECT_EQ(DescribeFoundFile(dir / "raw", "TIF"), "N/A");
  EXPECT_EQ(DescribeFoundFile(dir / "raw", "NEF"), "N/A");
  EXPECT_EQ(DescribeFoundFile(dir / "raw", "ARW"),
            "Shoot Time: 04/05/2023 06:07:08|Model: ILCE-7M3|Image Size: 600x400");
  fs::remove_all(dir);
}

}  // namespace
}  // namespace snapsalvager
