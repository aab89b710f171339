// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// Today's formats in a deep scan: each named from its first sector by brand, maker or
// magic and followed to its exact end, on files the real tools write; random data and
// other files name nothing, and the header table never yields these types.
#include "carving/StructureChecks/TodaysTypes.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <random>

#include "fixtures/MediaBytes.h"
#include "session/ScanOptions.h"
#include "carving/StructureChecks/StructureCheck.h"
#include "fixtures/Jpegs.h"
#include "fixtures/Photos.h"

namespace snapsalvager {
namespace {

namespace fs = std::filesystem;
using namespace mediabytes;
constexpr uint32_t kSector = 512;

std::string Named(Bytes file) {
  file.resize(std::max<size_t>(file.size(), kSector), 0);
  return std::string(NameTodaysType(file.data(), kSector, MakeRecogniserInputs("Generic Digital Camera", true,
                                                                                 true, true, "ALL")));
}

// Feeds the file and then other data, sector by sector; the end the check tells, or 0.
uint64_t EndOf(std::string_view type, Bytes file, size_t cut = 0) {
  if (cut != 0) file.resize(cut);
  file.resize((file.size() + kSector - 1) / kSector * kSector + 4 * kSector, 0x5A);
  auto check = MakeStructureCheck(type, file.data(), kSector, file.size());
  if (!check) return 0;
  for (size_t at = 0; at < file.size() && check->Verdict() == TCheckVerdict::GoesOn; at += kSector) {
    check->Feed(file.data() + at, kSector);
  }
  return check->DataEnds() == TCheckVerdict::EndsAt ? check->End() : 0;
}

class TodaysTypesTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    std::string pattern = (fs::temp_directory_path() / "todays-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir_ = new fs::path(pattern);
  }
  static void TearDownTestSuite() {
    fs::remove_all(*dir_);
    delete dir_;
  }
  // The file a tool writes at dir/name; empty when the tool is missing or failed.
  static Bytes Made(const std::string& name, std::vector<std::string> argv) {
    const fs::path path = *dir_ / name;
    for (std::string& a : argv) {
      if (a == "OUT") a = path.string();
    }
    int status = -1;
    fixtures::RunProgram(argv, &status);
    return status == 0 && fs::exists(path) ? fixtures::ReadWholeFile(path) : Bytes{};
  }
  static fs::path* dir_;
};

fs::path* TodaysTypesTest::dir_ = nullptr;

TEST_F(TodaysTypesTest, RealFilesAreNamedAndEndAtTheirLastByte) {
#ifdef _WIN32
  GTEST_SKIP() << "the files are made by Linux programs (sox, ffmpeg, heif-enc); the Linux build runs this";
#endif
  fixtures::WritePlainFile(*dir_ / "in.jpg", fixtures::EncodeJpeg(320, 240));
  struct TCase {
    const char* Type;
    Bytes File;
  };
  fixtures::RawLayout sony, nikon, canon;
  nikon.Make = "NIKON CORPORATION";
  canon.Make = "Canon";
  const TCase cases[] = {
      {"ARW", fixtures::TiffRaw(sony)},
      {"NRW", fixtures::TiffRaw(nikon)},  // a JPEG-compressed IFD0 is how a Coolpix raw is told
      {"CR3", fixtures::Cr3Raw(canon)},
      {"HEIC", Made("a.heic", {"heif-enc", "-q", "30", "-t", "96", (*dir_ / "in.jpg").string(), "-o", "OUT"})},
      {"AVIF", Made("a.avif", {"heif-enc", "-A", "-q", "30", (*dir_ / "in.jpg").string(), "-o", "OUT"})},
      {"FLAC", Made("a.flac", {"sox", "-D", "-n", "-r", "48000", "-c", "1", "-b", "16", "OUT", "synth", "0.7", "sine", "300"})},
      {"MXF", Made("a.mxf", {"ffmpeg", "-v", "error", "-nostdin", "-f", "lavfi", "-i", "testsrc=size=720x576:rate=25",
                             "-t", "0.4", "-c:v", "mpeg2video", "-f", "mxf", "-y", "OUT"})},
      {"M4A", Made("a.m4a", {"ffmpeg", "-v", "error", "-nostdin", "-f", "lavfi", "-i", "sine=duration=0.5", "-c:a",
                             "aac", "-f", "ipod", "-y", "OUT"})},
  };
  for (const TCase& c : cases) {
    if (c.File.empty()) {
      ADD_FAILURE() << c.Type << ": its tool is missing (scripts/deps.sh installs it)";
      continue;
    }
    EXPECT_EQ(Named(c.File), c.Type);
    EXPECT_EQ(EndOf(c.Type, c.File), c.File.size()) << c.Type;
    // Cut short and followed by other data, a stream whose frames and packets are checked
    // cannot be placed: the carving rule keeps what is there.
    if (std::string_view(c.Type) == "FLAC" || std::string_view(c.Type) == "MXF") {
      EXPECT_EQ(EndOf(c.Type, c.File, c.File.size() * 2 / 3), 0u) << c.Type;
    }
  }
}

// A FLAC stream of mono 16-bit frames of 16 verbatim samples, as small as the format allows.
// The samples of frame `zeroEnded` are chosen so that its CRC-16 ends in a 0x00 byte: its CRC
// then also comes out right one byte before the frame's end.
Bytes SmallFlac(uint32_t frames, uint32_t zeroEnded) {
  auto crc8 = [](const Bytes& b, size_t from) {
    uint8_t crc = 0;
    for (size_t i = from; i < b.size(); ++i) {
      crc ^= b[i];
      for (int k = 0; k < 8; ++k) crc = static_cast<uint8_t>(crc & 0x80 ? crc << 1 ^ 0x07 : crc << 1);
    }
    return crc;
  };
  auto crc16 = [](const Bytes& b, size_t from) {
    uint16_t crc = 0;
    for (size_t i = from; i < b.size(); ++i) {
      crc ^= static_cast<uint16_t>(b[i] << 8);
      for (int k = 0; k < 8; ++k) crc = static_cast<uint16_t>(crc & 0x8000 ? crc << 1 ^ 0x8005 : crc << 1);
    }
    return crc;
  };
  constexpr uint32_t kBlock = 16;
  Bytes f;
  Add(f, "fLaC");
  const uint8_t info[38] = {0x80, 0, 0, 34, 0, kBlock, 0, kBlock, 0, 0, 0, 0, 0, 0,
                            0x0B, 0xB8, 0x00, 0xF0, 0, 0, 0, static_cast<uint8_t>(frames * kBlock)};
  f.insert(f.end(), info, info + 38);  // 48 kHz, mono, 16 bits; the MD5 left zero
  for (uint32_t n = 0; n < frames; ++n) {
    for (uint16_t salt = 0;; ++salt) {
      Bytes frame = {0xFF, 0xF8, 0x60, 0x00, static_cast<uint8_t>(n), kBlock - 1};
      frame.push_back(crc8(frame, 0));
      frame.push_back(0x02);  // a verbatim subframe
      for (uint32_t k = 0; k < kBlock; ++k) {
        frame.push_back(static_cast<uint8_t>(salt >> 8));
        frame.push_back(static_cast<uint8_t>(salt + k * 37));
      }
      const uint16_t crc = crc16(frame, 0);
      if (((crc & 0xFF) == 0) != (n == zeroEnded)) continue;
      frame.push_back(static_cast<uint8_t>(crc >> 8));
      frame.push_back(static_cast<uint8_t>(crc));
      f.insert(f.end(), frame.begin(), frame.end());
      break;
    }
  }
  return f;
}

// A frame whose CRC ends in 0x00 (one frame in 256) seems to end a byte early; the frame
// after it must still be found where it really starts.
TEST_F(TodaysTypesTest, FlacFrameWhoseCrcEndsInZeroIsFollowedToTheNextFrame) {
  for (uint32_t zeroEnded : {0u, 1u, 2u}) {
    const Bytes flac = SmallFlac(4, zeroEnded);
    EXPECT_EQ(EndOf("FLAC", flac), flac.size()) << "frame " << zeroEnded;
  }
}

TEST_F(TodaysTypesTest, BrandsMakersAndMagicsNameTheTypes) {
  auto ftyp = [](std::string brands) {
    Bytes b = {0, 0, 0, static_cast<uint8_t>(8 + brands.size())};
    Add(b, "ftyp" + brands);
    return b;
  };
  auto tiff = [](const std::string& make, uint16_t magic = 42) {
    fixtures::TiffBlock t(false);
    t.SetFirstIfd(t.AddIfd({t.Short(0x100, {8}), t.Ascii(0x10F, make)}));
    Bytes b = t.Bytes();
    b[2] = static_cast<uint8_t>(magic);
    b[3] = static_cast<uint8_t>(magic >> 8);
    return b;
  };
  const std::pair<Bytes, std::string> cases[] = {
      {ftyp(std::string("heix\0\0\0\0mif1heix", 16)), "HEIC"},
      {ftyp(std::string("mif1\0\0\0\0mif1heic", 16)), "HEIF"},  // the major brand decides
      {ftyp(std::string("avif\0\0\0\0avifmif1", 16)), "AVIF"},
      {ftyp(std::string("M4A \0\0\0\0M4A mp42", 16)), "M4A"},
      {ftyp(std::string("isom\0\0\0\0isomavc1", 16)), ""},  // a movie stays with the table
      {tiff("SONY"), "ARW"},
      {tiff("Panasonic", 0x55), "RW2"},
      {tiff("LEICA CAMERA AG", 0x55), "RWL"},
      {tiff("SAMSUNG"), "SRW"},
      {tiff("Hasselblad"), "3FR"},
      {tiff("Scanner Inc."), ""},  // a plain TIFF stays TIF
  };
  for (const auto& [file, type] : cases) EXPECT_EQ(Named(file), type) << type;
  // A raw told by its maker is carried inside a TIFF check only when its row says so.
  for (const auto& [file, type] : cases) {
    if (!type.empty() && file[0] != 0) {
      EXPECT_TRUE(FileTypeOf(type)->MakerNamed) << type;
    }
  }

  // Only the kinds the user ticked: audio off, no M4A or FLAC.
  Bytes m4a = ftyp(std::string("M4A \0\0\0\0M4A mp42", 16));
  m4a.resize(kSector, 0);
  EXPECT_EQ(NameTodaysType(m4a.data(), kSector, MakeRecogniserInputs("Generic Digital Camera", true, true, false, "ALL")),
            "");
}

TEST_F(TodaysTypesTest, RandomDataAndOtherFilesNameNothingAndTheTableNeverYieldsThem) {
  std::vector<Bytes> others = {Filler(kSector, 1), Filler(kSector, 2), fixtures::EncodeJpeg(64, 48), Wav(2000)};
  Bytes text;
  Add(text, "%PDF-1.4\nftyp fLaC MM\n");
  others.push_back(text);
  std::mt19937 random(25);
  for (int n = 0; n < 5000; ++n) {
    Bytes noise(kSector);
    for (uint8_t& b : noise) b = static_cast<uint8_t>(random());
    others.push_back(noise);
  }
  for (Bytes& b : others) {
    b.resize(std::max<size_t>(b.size(), kSector), 0);
    EXPECT_EQ(TodaysBrandType(b.data(), kSector), "");
    EXPECT_EQ(RawTypeByMaker(b.data(), kSector), "");
    EXPECT_EQ(TodaysHeaderType(b.data(), kSector), "");
  }
  // Every row enabled, the first sectors of today's files: the table names none of them
  // by a deep-only type.
  TRecogniserInputs all;
  all.FileTypeEnabled.fill(true);
  TSignatureRecogniser recogniser(all);
  fixtures::RawLayout layout;
  for (Bytes file : {fixtures::TiffRaw(layout), fixtures::Cr3Raw(layout)}) {
    std::string type;
    recogniser.DetectFileHeader(file.data(), type);
    EXPECT_LT(IndexOfFileType(type), kFirstDeepOnlyType) << type;
  }
}

}  // namespace
}  // namespace snapsalvager
