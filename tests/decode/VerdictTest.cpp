// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// The decoders' verdicts on whole and damaged files of every family (decoded in this process:
// the helper's own tests are in DecodeClientTest), where they locate a break, their previews,
// and the share of right verdicts over the whole damaged set.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <string>

#include "decode/Decoders.h"
#include "fixtures/Jpegs.h"
#include "fixtures/MediaSamples.h"
#include "fixtures/Photos.h"

namespace snapsalvager::decode {
namespace {

using fixtures::Damage;
using Bytes = std::vector<uint8_t>;
using Ranges = std::vector<std::pair<size_t, size_t>>;

// The byte ranges of a clip's packets whose codec checks what it decodes (not PCM, MP2 or WMA
// sound), by ffprobe, once per sample.
const Ranges& CheckedBytes(const fixtures::MediaSample& s) {
  static std::map<std::string, Ranges> known;
  auto [at, added] = known.try_emplace(s.Name);
  if (!added) return at->second;
  char path[] = "/tmp/verdict-sample-XXXXXX";
  const int fd = ::mkstemp(path);
  if (fd < 0 || ::write(fd, s.Bytes.data(), s.Bytes.size()) != static_cast<ssize_t>(s.Bytes.size())) return at->second;
  ::close(fd);
  int status = 0;
  const std::string streams = fixtures::RunProgram(
      {"ffprobe", "-v", "error", "-show_entries", "stream=codec_name", "-of", "csv=p=0", path}, &status);
  std::vector<bool> checked;
  for (size_t from = 0; from < streams.size();) {
    const size_t end = streams.find('\n', from);
    const std::string codec = streams.substr(from, end - from);
    checked.push_back(codec.rfind("pcm_", 0) != 0 && codec != "mp2" && codec != "wmav2");
    from = end == std::string::npos ? streams.size() : end + 1;
  }
  const std::string packets = fixtures::RunProgram(
      {"ffprobe", "-v", "error", "-show_entries", "packet=stream_index,pos,size", "-of", "csv=p=0", path}, &status);
  ::unlink(path);
  unsigned stream = 0;
  size_t size = 0, pos = 0;
  for (const char* line = packets.c_str(); *line; line = std::strchr(line, '\n') ? std::strchr(line, '\n') + 1 : "") {
    if (std::sscanf(line, "%u,%zu,%zu", &stream, &size, &pos) == 3 && stream < checked.size() && checked[stream]) {
      at->second.push_back({pos, pos + size});
    }
  }
  return at->second;
}

TDecodeOutcome Check(const Bytes& bytes, const std::string& type, bool preview = false) {
  return CheckFile(TFileBytes(bytes.data(), bytes.size()), FamilyOfType(type), preview);
}

// Damage no decoder can see, by the nature of the data: any bytes are valid PCM, MP2 or WMA
// sound (no checksum) and valid samples of an uncompressed raw; a cut AMR is a shorter AMR;
// a clip's padding is never decoded. Which bytes of a clip are checked, ffprobe tells.
bool Invisible(const fixtures::MediaSample& s, Damage d, double share) {
  const TFileFamily family = FamilyOfType(s.Type);
  if (family == TFileFamily::Raw) return d == Damage::Overwritten || d == Damage::RandomSector;
  if (s.Type == "AMR") return d == Damage::Cut;
  if (family != TFileFamily::Video && family != TFileFamily::Audio) return false;
  if (d == Damage::Cut) return false;
  const fixtures::DamageRange range = fixtures::DamagedRange(s.Bytes.size(), d, share);
  for (const auto& [begin, end] : CheckedBytes(s)) {
    if (begin < range.End && range.Begin < end) return false;
  }
  return true;
}

class VerdictTest : public testing::Test {
 protected:
  void SetUp() override {
    if (!fixtures::MediaSampleToolsAvailable()) GTEST_SKIP() << "ffmpeg, sox, heif-enc or exiftool missing";
  }
  const std::vector<fixtures::MediaSample>& Samples() { return fixtures::WholeMediaSamples(); }
  // Another file's bytes to lay over s: a clip's over a photo, a photo's over the rest.
  const Bytes& OtherThan(const fixtures::MediaSample& s) {
    return Samples()[s.Type == "JPG" ? 8 : 0].Bytes;
  }
  // s as the scan carves it: its last sector filled up, then the next file's first sectors.
  Bytes CarvedWithNext(const fixtures::MediaSample& s) {
    Bytes b = s.Bytes;
    const Bytes& next = OtherThan(s);
    b.resize((b.size() + 511) / 512 * 512, 0);
    b.insert(b.end(), next.begin(), next.begin() + 8192);
    return b;
  }
};

TEST_F(VerdictTest, EveryWholeFileIsWhole) {
  for (const auto& s : Samples()) {
    const TVerdict v = Check(s.Bytes, s.Type).Verdict;
    EXPECT_EQ(v.Kind, TVerdictKind::Whole) << s.Name << ": " << v.Reason;
    EXPECT_EQ(v.Percent, 100) << s.Name;
  }
}

// A carved file runs from its header to the next file's: the bytes after its end are not
// damage, for the formats that state their length and for those that do not.
TEST_F(VerdictTest, ACarvedFileRunningOnIntoTheNextFileIsWhole) {
  for (const auto& s : Samples()) {
    const TVerdict v = Check(CarvedWithNext(s), s.Type).Verdict;
    EXPECT_EQ(v.Kind, TVerdictKind::Whole) << s.Name << ": " << v.Reason;
  }
}

// What the decoders miss today in the middle of a file, though a decoder could see it: the
// HEVC decoder behind libheif conceals noise in a slice; the AMR decoder takes another file's
// bytes for frames; a program stream cut at a pack boundary is a shorter stream.
struct TKnownMiss {
  const char* Type;
  Damage What;
};
constexpr TKnownMiss kKnownMisses[] = {
    {"HEIC", Damage::Overwritten}, {"HEIC", Damage::RandomSector}, {"AMR", Damage::Overwritten},
    {"MPG", Damage::Cut},
};

TEST_F(VerdictTest, EachDamageOfEachFamilyIsFound) {
  for (const auto& s : Samples()) {
    for (Damage d : fixtures::kAllDamage) {
      const bool known = std::any_of(std::begin(kKnownMisses), std::end(kKnownMisses),
                                     [&](const TKnownMiss& m) { return s.Type == m.Type && d == m.What; });
      if (known || Invisible(s, d, 0.5)) continue;
      const TVerdict v = Check(fixtures::Damaged(s.Bytes, d, 0.5, OtherThan(s)), s.Type).Verdict;
      EXPECT_NE(v.Kind, TVerdictKind::Whole) << s.Name << ", " << fixtures::DamageName(d);
      EXPECT_LT(v.Percent, 100) << s.Name << ", " << fixtures::DamageName(d);
      EXPECT_FALSE(v.Reason.empty()) << s.Name << ", " << fixtures::DamageName(d);
    }
  }
}

// A cut file decodes up to about where it was cut: the percentage follows the share kept.
// (A progressive photo's share is that of the scan that broke; a clip whose index lies at
// its end is unreadable without it.)
TEST_F(VerdictTest, ACutIsLocatedNearWhereTheFileEnds) {
  for (const auto& s : Samples()) {
    if (s.Name != "baseline JPEG" && s.Name != "JPEG with restart markers" && s.Type != "MP3" && s.Type != "FLAC") {
      continue;
    }
    for (double share : {0.3, 0.7}) {
      const TVerdict v = Check(fixtures::Damaged(s.Bytes, Damage::Cut, share), s.Type).Verdict;
      ASSERT_EQ(v.Kind, TVerdictKind::Damaged) << s.Name << " cut at " << share;
      EXPECT_NEAR(v.Percent, share * 100, 25) << s.Name << " cut at " << share;
    }
  }
}

TEST_F(VerdictTest, AJpegBreakIsLocatedByItsMcuRow) {
  fixtures::JpegOptions o;
  o.Width = 256;
  o.Height = 256;
  o.Texture = 40;
  o.RestartRows = 1;
  const Bytes jpeg = fixtures::EncodeJpeg(o);
  const TVerdict noise = Check(fixtures::Damaged(jpeg, Damage::RandomSector, 0.5), "JPG").Verdict;
  EXPECT_EQ(noise.Kind, TVerdictKind::Damaged);
  EXPECT_NEAR(noise.Percent, 50, 12);
  const TVerdict zeros = Check(fixtures::Damaged(jpeg, Damage::ZeroSector, 0.5), "JPG").Verdict;
  EXPECT_EQ(zeros.Reason, "zero-sector");
  EXPECT_NEAR(zeros.Percent, 50, 12);
  const TVerdict cut = Check(fixtures::Damaged(jpeg, Damage::Cut, 0.5), "JPG").Verdict;
  EXPECT_EQ(cut.Reason, "cut");
  EXPECT_NEAR(cut.Percent, 50, 12);
}

// The photo's own Exif thumbnail survives a cut that takes the image's lower half.
TEST_F(VerdictTest, AnIntactExifThumbnailDoesNotMakeACutPhotoWhole) {
  const auto& camera = Samples()[3];
  ASSERT_EQ(camera.Name, "camera JPEG with an Exif thumbnail");
  const TVerdict v = Check(fixtures::Damaged(camera.Bytes, Damage::Cut, 0.6), "JPG").Verdict;
  EXPECT_EQ(v.Kind, TVerdictKind::Damaged);
  EXPECT_EQ(v.Width, 480);
}

TEST_F(VerdictTest, NoHeaderIsUnreadableAndAnUnknownTypeIsNotChecked) {
  const Bytes noise = fixtures::Damaged(Bytes(4096, 0x11), Damage::RandomSector, 0);
  for (const char* type : {"JPG", "ARW", "HEIC", "MOV", "MP3"}) {
    EXPECT_EQ(Check(noise, type).Verdict.Kind, TVerdictKind::Unreadable) << type;
  }
  EXPECT_EQ(Check(noise, "X3F").Verdict.Kind, TVerdictKind::NotChecked);
}

TEST_F(VerdictTest, PreviewsAreAFrameAWaveformOrThePhoto) {
  std::set<std::string> seen;
  for (const auto& s : Samples()) {
    const TDecodeOutcome o = Check(s.Bytes, s.Type, true);
    const TFileFamily family = FamilyOfType(s.Type);
    if (family == TFileFamily::Raw && s.Type == "DNG") continue;  // carries no preview
    ASSERT_FALSE(o.Preview.Empty()) << s.Name;
    EXPECT_EQ(o.Preview.Rgb.size(), size_t(o.Preview.Width) * o.Preview.Height * 3);
    EXPECT_LE(o.Preview.Width, kPreviewMaxWidth);
    EXPECT_LE(o.Preview.Height, kPreviewMaxHeight);
    if (family == TFileFamily::Audio) {
      EXPECT_EQ(o.Preview.Width, kWaveformWidth) << s.Name;
      EXPECT_EQ(o.Preview.Height, kWaveformHeight) << s.Name;
      EXPECT_GT(o.Verdict.DurationMs, 900) << s.Name;
    }
    if (family == TFileFamily::Video) {
      EXPECT_GT(o.Verdict.DurationMs, 900) << s.Name;
      EXPECT_GT(o.Verdict.Width, 0) << s.Name;
      // testsrc's colour bars: a decoded frame is no flat picture
      std::set<uint32_t> colours;
      for (size_t i = 0; i + 2 < o.Preview.Rgb.size(); i += 3) {
        colours.insert(uint32_t{o.Preview.Rgb[i]} << 16 | uint32_t{o.Preview.Rgb[i + 1]} << 8 | o.Preview.Rgb[i + 2]);
      }
      EXPECT_GT(colours.size(), 8u) << s.Name;
    }
  }
}

// The measured figures over the damaged set: three places in every file, four kinds of damage.
// "Whole" must be right (a file called whole is whole); damaged files must be found.
TEST_F(VerdictTest, PrecisionOfWholeAndRecallOfDamaged) {
  int wholeRight = 0, wholeCalled = 0, damagedFound = 0, damagedAll = 0, visibleFound = 0, visibleAll = 0;
  int invisibleCalledWhole = 0;  // damage in bytes any decoder takes as valid (PCM, sensor data)
  std::map<std::string, std::string> missed;
  for (const auto& s : Samples()) {
    const Bytes& other = OtherThan(s);
    if (Check(s.Bytes, s.Type).Verdict.Kind == TVerdictKind::Whole) {
      ++wholeCalled;
      ++wholeRight;
    }
    for (Damage d : fixtures::kAllDamage) {
      for (double share : {0.3, 0.5, 0.7}) {
        const TVerdict v = Check(fixtures::Damaged(s.Bytes, d, share, other), s.Type).Verdict;
        const bool found = v.Kind == TVerdictKind::Damaged || v.Kind == TVerdictKind::Unreadable;
        ++damagedAll;
        damagedFound += found;
        if (!Invisible(s, d, share)) {
          ++visibleAll;
          visibleFound += found;
        }
        if (v.Kind == TVerdictKind::Whole) {
          ++wholeCalled;
          invisibleCalledWhole += Invisible(s, d, share);
        }
        if (!found) {
          missed[s.Name] += std::string(" ") + fixtures::DamageName(d) + "@" + std::to_string(share).substr(0, 3) +
                            (Invisible(s, d, share) ? "" : "(visible)");
        }
      }
    }
  }
  // Whole files and carved ones (run on into the next file) make the whole side of the set.
  for (const auto& s : Samples()) {
    if (Check(CarvedWithNext(s), s.Type).Verdict.Kind == TVerdictKind::Whole) {
      ++wholeCalled;
      ++wholeRight;
    }
  }
  const double precision = double(wholeRight) / wholeCalled;
  const double recall = double(damagedFound) / damagedAll;
  const double visibleRecall = double(visibleFound) / visibleAll;
  const double visiblePrecision = double(wholeRight) / (wholeCalled - invisibleCalledWhole);
  std::printf("precision of whole %.3f (%d/%d); recall of damaged %.3f (%d/%d), %.3f (%d/%d) where a decoder "
              "can see it\n",
              precision, wholeRight, wholeCalled, recall, damagedFound, damagedAll, visibleRecall, visibleFound,
              visibleAll);
  std::printf("precision of whole %.3f (%d/%d) leaving out damage no decoder can see\n", visiblePrecision,
              wholeRight, wholeCalled - invisibleCalledWhole);
  for (const auto& [name, what] : missed) std::printf("  missed in %s:%s\n", name.c_str(), what.c_str());
  RecordProperty("precision_whole", std::to_string(precision));
  RecordProperty("recall_damaged", std::to_string(recall));
  RecordProperty("precision_whole_visible", std::to_string(visiblePrecision));
  // Floors of what the decoders reach today (HEIC's decoder conceals noise; see the report
  // of this test for the files missed).
  EXPECT_GE(visibleRecall, 0.9);
  EXPECT_EQ(wholeRight, 2 * static_cast<int>(Samples().size()));
}

}  // namespace
}  // namespace snapsalvager::decode
