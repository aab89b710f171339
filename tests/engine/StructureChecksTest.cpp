// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// The structure checks of deep scans, format by format: the exact end, a file broken
// mid-way (the carving rule decides), the deep recognitions and their guards.
#include "carving/StructureChecks/StructureCheck.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <functional>
#include <random>

#include "fixtures/Jpegs.h"
#include "fixtures/MediaBytes.h"
#include "carving/Signatures.h"

namespace snapsalvager {
namespace {

using namespace mediabytes;
constexpr uint32_t kSector = 512;

struct TFollowed {
  TCheckVerdict Verdict;
  uint64_t End;
};

// Feeds a card's worth of bytes from the file's start, sector by sector, as the scan does;
// the data ends after card (the next header or the card's end).
TFollowed Follow(std::string_view type, Bytes card) {
  card.resize((card.size() + kSector - 1) / kSector * kSector, 0x5A);  // old data, not slack zeros
  auto check = MakeStructureCheck(type, card.data(), kSector, card.size());
  if (!check) return {TCheckVerdict::CannotTell, 0};
  for (size_t at = 0; at < card.size() && check->Verdict() == TCheckVerdict::GoesOn; at += kSector) {
    check->Feed(card.data() + at, kSector);
  }
  check->DataEnds();
  return {check->Verdict(), check->End()};
}

struct TFormatCase {
  const char* Name;
  const char* Type;
  std::function<Bytes()> File;
  bool EndsInOldData;  // its end holds also when old data, not zeros, follows it
  size_t Cut = 0;       // where other data overwrites it; 0: half-way
  bool Resumes = false;  // the stream goes on after the old data (an overwritten middle)
  // Its structure places its end before its data (IFDs, a movie whose index comes first):
  // a middle overwritten by other data cannot be seen.
  bool EndStatedFirst = false;
};

std::vector<TFormatCase> Formats() {
  std::vector<Bytes> frames;
  for (uint32_t i = 0; i < 6; ++i) frames.push_back(JpegFrame(900 + 37 * i, i));
  ::fixtures::JpegOptions progressive;
  progressive.Width = 96;
  progressive.Height = 64;
  progressive.Progressive = true;
  progressive.Texture = 40;
  return {
      {"JpegFrame", "JPG", [] { return JpegFrame(5000); }, true},
      {"JpegPhoto", "JPG", [] { return ::fixtures::EncodeJpeg(120, 90); }, true},
      {"JpegProgressive", "JPG", [=] { return ::fixtures::EncodeJpeg(progressive); }, true},
      {"Avi", "AVI", [=] { return Avi(frames); }, true},
      {"Wav", "WAV", [] { return Wav(7001); }, true, 30},  // samples are opaque: cut the chunks
      {"WavOfSound", "WAV", [] { return WavTone(7001); }, true, 30},
      {"Mov", "MOV", [] { return IsoMedia("qt  ", Filler(6000)); }, true},
      {"Mp4", "MP4", [] { return IsoMedia("isom", Filler(6000)); }, true},
      {"ThreeGp", "3GP", [] { return IsoMedia("3gp4", Filler(6000)); }, true},
      {"ProgramStream", "MPG", [] { return ProgramStream(5); }, true},
      {"VideoStream", "MPG", [] { return VideoElementaryStream(6); }, false},
      {"Transport188", "MTS", [] { return TransportStream(40, false, 0); }, true, 0, true},
      {"Transport192", "MTS", [] { return TransportStream(40, true, 0x100); }, true, 0, true},
      {"Asf", "ASF", [] { return Asf(5000); }, true},
      {"Mp3", "MP3", [] { return Mp3(12); }, true},
      {"Amr", "AMR", [] { return Amr(150); }, false},
      {"Tiff", "TIF", [] { return Tiff(3000, 4321); }, true, 0, false, true},
      {"Nef", "NEF", [] { return Tiff(70000, 100000); }, true, 0, false, true},
      {"MovieIndexFirst", "MOV", [=] { return Movie("qt  ", "vide", "jpeg", frames); }, true, 0, false, true},
      {"MovieIndexLast", "MOV", [=] { return Movie("qt  ", "vide", "jpeg", frames, 512, false); }, true},
      {"Cr3", "CR3", [] { return Cr3(Tiff(2048, 1000)); }, true, 0, false, true},
      {"Rw2", "RW2", [] { return Rw2(::fixtures::EncodeJpeg(64, 48), 1024, 3000); }, true, 0, false, true},
  };
}

TEST(StructureChecksTest, EveryFormatEndsAtItsLastByte) {
  for (const TFormatCase& c : Formats()) {
    SCOPED_TRACE(c.Name);
    const Bytes file = c.File();
    const TFollowed zeros = Follow(c.Type, Then(file, Bytes(3 * kSector, 0)));
    EXPECT_EQ(zeros.Verdict, TCheckVerdict::EndsAt);
    EXPECT_EQ(zeros.End, file.size());
    if (c.EndsInOldData) {
      const TFollowed old = Follow(c.Type, Then(file, Filler(3 * kSector, 77)));
      EXPECT_EQ(old.Verdict, TCheckVerdict::EndsAt);
      EXPECT_EQ(old.End, file.size());
    }
  }
}

TEST(StructureChecksTest, AFileCutMidWayByOtherDataIsLeftToTheRule) {
  for (const TFormatCase& c : Formats()) {
    if (c.EndStatedFirst) continue;  // the TIFFs below
    SCOPED_TRACE(c.Name);
    const Bytes whole = c.File();
    Bytes file = whole;
    file.resize(c.Cut != 0 ? c.Cut : file.size() / 2);
    // Old data of another kind where the rest of the file should be.
    Bytes old = Filler(c.Resumes ? 1000 : file.size() + 8 * kSector, 99);
    for (size_t i = 0; i < old.size(); i += 61) old[i] = static_cast<uint8_t>(0x80 + i % 97);
    Bytes card = Then(file, old);
    if (c.Resumes) card.insert(card.end(), whole.begin() + static_cast<long>(card.size()), whole.end());
    EXPECT_EQ(Follow(c.Type, card).Verdict, TCheckVerdict::CannotTell);
  }
}

TEST(StructureChecksTest, ATiffWithAPointerPastTheCardCannotTell) {
  const Bytes file = Tiff(3000, 4321);
  // The same file on a card that ends before its strip does.
  Bytes card(file.begin(), file.begin() + 3 * kSector);
  auto check = MakeStructureCheck("TIF", card.data(), kSector, card.size());
  ASSERT_TRUE(check);
  for (size_t at = 0; at < card.size(); at += kSector) check->Feed(card.data() + at, kSector);
  EXPECT_EQ(check->DataEnds(), TCheckVerdict::CannotTell);

  Bytes looped = Tiff(3000, 4321);
  looped[58] = 8;  // IFD0's next-IFD pointer back to itself
  EXPECT_EQ(Follow("TIF", looped).Verdict, TCheckVerdict::CannotTell);
}

TEST(StructureChecksTest, AnAviRunsOnThroughItsAvixChunks) {
  const Bytes first = Avi({JpegFrame(700)});
  Bytes avix = Avi({JpegFrame(800, 2), JpegFrame(900, 3)}, "AVIX");
  const Bytes file = Then(first, avix);
  const TFollowed f = Follow("AVI", Then(file, Bytes(2 * kSector, 0)));
  EXPECT_EQ(f.Verdict, TCheckVerdict::EndsAt);
  EXPECT_EQ(f.End, file.size());
}

TEST(StructureChecksTest, AJpegRunsOnThroughTheImagesItsMpfIndexNames) {
  const Bytes file = MpfJpeg(JpegFrame(2000, 1), JpegFrame(1500, 2));
  const TFollowed f = Follow("JPG", Then(file, Bytes(kSector, 0)));
  EXPECT_EQ(f.Verdict, TCheckVerdict::EndsAt);
  EXPECT_EQ(f.End, file.size());
}

TEST(StructureChecksTest, AJpegFrameInsideAContainerIsContent) {
  // A frame chunk of an AVI, and the mdat box of a MOV, hold a JPEG that starts a sector.
  for (std::string_view type : {"AVI", "MOV"}) {
    SCOPED_TRACE(type);
    const Bytes frame = JpegFrame(3000);
    const Bytes file = type == "AVI" ? Avi({Filler(2000), frame}) : IsoMedia("qt  ", Then(Filler(2000), frame));
    auto check = MakeStructureCheck(type, file.data(), kSector, 1 << 20);
    ASSERT_TRUE(check);
    check->Feed(file.data(), 4 * kSector);
    const int jpg = IndexOfFileType("JPG");
    EXPECT_TRUE(check->Contains(4 * kSector, jpg, frame.data()));
    EXPECT_FALSE(check->Contains(4 * kSector, IndexOfFileType("CR2"), frame.data()));
    EXPECT_FALSE(check->Contains(file.size() + kSector, jpg, frame.data()));
  }
}

TEST(StructureChecksTest, OnlyAHeaderTheStructureAccountsForIsPartOfTheFile) {
  // A frame at an AVI chunk's payload belongs to the file; a JPEG frame in an mdat does while
  // the movie's structure holds; a JPEG in the middle of a chunk, or a movie inside a
  // movie, may be a newer file written over it.
  const int jpg = IndexOfFileType("JPG");
  const Bytes frame = JpegFrame(3000);
  const Bytes avi = Avi({Filler(2048 - 100 - 8 - 8), frame});  // the frame at 2048
  auto riff = MakeStructureCheck("AVI", avi.data(), kSector, 1 << 20);
  ASSERT_TRUE(riff);
  riff->Feed(avi.data(), 4 * kSector);
  EXPECT_EQ(riff->Inside(4 * kSector, jpg, frame.data()), TInside::Part);
  riff->Feed(avi.data() + 4 * kSector, kSector);
  EXPECT_EQ(riff->Inside(5 * kSector, jpg, frame.data()), TInside::Maybe);

  const Bytes mov = IsoMedia("qt  ", Filler(6000));
  auto iso = MakeStructureCheck("MOV", mov.data(), kSector, 1 << 20);
  ASSERT_TRUE(iso);
  iso->Feed(mov.data(), 4 * kSector);
  EXPECT_EQ(iso->Inside(4 * kSector, jpg, frame.data()), TInside::Frame);
  const Bytes mp4 = IsoMedia("isom", Filler(100));
  EXPECT_EQ(iso->Inside(4 * kSector, IndexOfFileType("MP4"), mp4.data()), TInside::Maybe);
  EXPECT_EQ(iso->Inside(mov.size() + kSector, IndexOfFileType("MP4"), mp4.data()), TInside::No);
}

TEST(StructureChecksTest, AHeaderWhoseFirstUnitsCannotBeStartsNoFile) {
  for (const TFormatCase& c : Formats()) {
    Bytes file = c.File();
    file.resize(std::max<size_t>(file.size(), kSector));
    EXPECT_FALSE(ImpossibleStart(c.Type, file.data(), kSector)) << c.Name;
  }
  const Bytes asfGuid = {0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                         0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
  Bytes asfHuge = asfGuid, asfNoProperties = asfGuid;
  Le64(asfHuge, uint64_t{1} << 62);
  Le32(asfHuge, 1);
  Le64(asfNoProperties, 30 + 24);  // one child object, and it is not File Properties
  Le32(asfNoProperties, 1);
  asfNoProperties.insert(asfNoProperties.end(), {1, 2});
  Add(asfNoProperties, Filler(16));
  Le64(asfNoProperties, 24);
  Bytes riffNoRoom, riffBadChunk;
  Add(riffNoRoom, "RIFF");
  Le32(riffNoRoom, 4);
  Add(riffNoRoom, "WAVE");
  Add(riffBadChunk, "RIFF");
  Le32(riffBadChunk, 100);
  Add(riffBadChunk, "AVI ");
  riffBadChunk.insert(riffBadChunk.end(), {1, 2, 3, 4, 8, 0, 0, 0});
  const Bytes tinyFtyp = {0, 0, 0, 7, 'f', 't', 'y', 'p', 'm', 'p', '4', '2'};
  const Bytes tinyMdat = {0, 0, 0, 3, 'm', 'd', 'a', 't'};
  const std::pair<std::string_view, Bytes> junk[] = {
      {"ASF", asfHuge},  {"ASF", asfNoProperties}, {"WAV", riffNoRoom},
      {"AVI", riffBadChunk}, {"MP4", tinyFtyp},      {"MOV", tinyMdat}};
  for (const auto& [type, head] : junk) {
    Bytes sector = head;
    sector.resize(kSector, 0x5A);
    EXPECT_TRUE(ImpossibleStart(type, sector.data(), kSector)) << type;
  }
}

TEST(StructureChecksTest, TypesWithoutACheckAreLeftToTheRule) {
  const Bytes sector(kSector, 0);
  for (std::string_view type : {"X3F", "RAF", "MRW", "CRW"}) {
    EXPECT_EQ(MakeStructureCheck(type, sector.data(), kSector, 1 << 20), nullptr) << type;
  }
}

TEST(StructureChecksTest, ASampleTableThatClaimsBillionsOfSamplesIsReadInBoundedTime) {
  // One fixed sample size, 2^32 - 1 samples, all in one chunk.
  Bytes mov = Movie("qt  ", "vide", "jpeg", {JpegFrame(3000)}, 512, false);
  const auto box = [&mov](std::string_view type) {
    return std::search(mov.begin(), mov.end(), type.begin(), type.end()) - mov.begin();
  };
  const auto put = [&mov](ptrdiff_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) mov[at + i] = static_cast<uint8_t>(v >> (24 - 8 * i));
  };
  put(box("stsz") + 8, 1);
  put(box("stsz") + 12, 0xFFFFFFFF);
  put(box("stsc") + 16, 0xFFFFFFFF);
  EXPECT_EQ(Follow("MOV", mov).Verdict, TCheckVerdict::EndsAt);
}

TEST(StructureChecksTest, ChecksNeverReadPastTheBytesFed) {
  // Odd feed sizes across every unit boundary give the same end as whole sectors.
  for (const TFormatCase& c : Formats()) {
    SCOPED_TRACE(c.Name);
    Bytes card = Then(c.File(), Bytes(2 * kSector, 0));
    auto check = MakeStructureCheck(c.Type, card.data(), kSector, card.size());
    ASSERT_TRUE(check);
    for (size_t at = 0, step = 1; at < card.size() && check->Verdict() == TCheckVerdict::GoesOn;
         at += step, step = step % 13 + 1) {
      const size_t n = std::min(step, card.size() - at);
      std::vector<uint8_t> piece(card.begin() + at, card.begin() + at + n);  // exact-size buffer
      check->Feed(piece.data(), piece.size());
    }
    check->DataEnds();
    EXPECT_EQ(check->Verdict(), TCheckVerdict::EndsAt);
    EXPECT_EQ(check->End(), c.File().size());
  }
}

// ---------------------------------------------------------------------------------------
// Deep recognitions.

TEST(DeepRecognitionTest, NamesWhatTheTableMisses) {
  Bytes noApp = JpegFrame(600);
  noApp.erase(noApp.begin() + 2, noApp.begin() + 20);  // drop the APP0 segment
  noApp.resize(kSector);
  EXPECT_EQ(DetectDeepHeader(noApp.data(), nullptr, kSector), "JPG");

  for (bool timestamps : {false, true}) {
    Bytes ts = TransportStream(12, timestamps, 0x1011);  // a video packet first, no PAT
    EXPECT_EQ(DetectDeepHeader(ts.data(), nullptr, kSector), "MTS") << timestamps;
    // The same stream further on: its sector follows one that runs into it.
    const size_t packet = timestamps ? 192 : 188;
    const size_t at = timestamps ? 3 * kSector : 47 * kSector;
    ts = TransportStream(200, timestamps);
    ASSERT_EQ(at % packet, 0u);
    EXPECT_EQ(DetectDeepHeader(ts.data() + at, ts.data() + at - kSector, kSector), "") << timestamps;
  }

  // An ID3v2.4 tag (as ffmpeg writes it) starts an MP3; its first frame ID must be one.
  Bytes mp3 = Mp3(3);
  mp3[3] = 4;
  std::memcpy(mp3.data() + 10, "TSSE", 4);
  mp3.resize(kSector);
  EXPECT_EQ(DetectDeepHeader(mp3.data(), nullptr, kSector), "MP3");
  mp3[12] = 0x01;
  EXPECT_EQ(DetectDeepHeader(mp3.data(), nullptr, kSector), "");

  EXPECT_EQ(BrandType(IsoMedia("qt  ", {}).data(), kSector), "MOV");
  EXPECT_EQ(BrandType(IsoMedia("isom", {}).data(), kSector), "MP4");
  EXPECT_EQ(BrandType(IsoMedia("3gp5", {}).data(), kSector), "3GP");
  EXPECT_EQ(BrandType(IsoMedia("zzzz", {}).data(), kSector), "");
}

// Sectors of some data: random bytes, or a real file of this system that is no media.
void ExpectNoDeepHeader(const Bytes& data, const char* what) {
  size_t hits = 0;
  for (size_t at = kSector; at + kSector <= data.size(); at += kSector) {
    if (!DetectDeepHeader(data.data() + at, data.data() + at - kSector, kSector).empty() ||
        !BrandType(data.data() + at, kSector).empty()) {
      ++hits;
    }
  }
  EXPECT_EQ(hits, 0u) << what;
}

TEST(DeepRecognitionTest, RandomAndNonMediaDataStartNothing) {
  std::mt19937 random(15);
  Bytes noise(64 << 20);
  for (auto& b : noise) b = static_cast<uint8_t>(random());
  ExpectNoDeepHeader(noise, "random");
  // Sectors that begin like a JPEG or a packet but go on at random.
  for (int k = 0; k < 20000; ++k) {
    uint8_t* s = noise.data() + static_cast<size_t>(k) * kSector;
    if (k % 2 == 0) {
      s[0] = 0xFF, s[1] = 0xD8, s[2] = 0xFF, s[3] = 0xDB;
    } else {
      s[0] = 0x47, s[188] = 0x47;
    }
    if (k % 5 == 0) s[0] = 'I', s[1] = 'D', s[2] = '3', s[3] = 4, s[4] = 0, s[5] = 0;
  }
  ExpectNoDeepHeader(noise, "random with a header's first bytes");
  for (const char* path : {"/usr/bin/cmake", "/usr/lib/x86_64-linux-gnu/libc.so.6", "/usr/share/common-licenses/GPL-3"}) {
    std::ifstream in(path, std::ios::binary);
    if (!in) continue;
    const Bytes file((std::istreambuf_iterator<char>(in)), {});
    ExpectNoDeepHeader(file, path);
  }
}

}  // namespace
}  // namespace snapsalvager
