// The decoders' verdicts on whole and damaged files of every family (decoded in this process:
// the helper's own tests are in DecodeClientTest), where they locate a break, their previews,
// and the share of right verdicts over the whole damaged set.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <set>
#include <string>

#include "decode/Decoders.h"
#include "fixtures/Jpegs.h"
#include "fixtures/MediaSamples.h"

namespace snapsalvager::decode {
namespace {

using fixtures::Damage;
using Bytes = std::vector<uint8_t>;

TDecodeOutcome Check(const Bytes& bytes, const std::string& type, bool preview = false) {
  return CheckFile(TFileBytes(bytes.data(), bytes.size()), FamilyOfType(type), preview);
}

// Damage no decoder can see, by the nature of the data: any bytes are valid PCM sound, and
// an uncompressed raw's samples are any 16-bit numbers.
bool Invisible(const fixtures::MediaSample& s, Damage d) {
  if (d == Damage::Cut) return false;
  return s.Type == "WAV" || (s.Type == "DNG" && d != Damage::ZeroSector) ||
         ((s.Type == "ARW" || s.Type == "NEF" || s.Type == "CR3") && d != Damage::ZeroSector);
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
};

TEST_F(VerdictTest, EveryWholeFileIsWhole) {
  for (const auto& s : Samples()) {
    const TVerdict v = Check(s.Bytes, s.Type).Verdict;
    EXPECT_EQ(v.Kind, TVerdictKind::Whole) << s.Name << ": " << v.Reason;
    EXPECT_EQ(v.Percent, 100) << s.Name;
  }
}

TEST_F(VerdictTest, ProbeTrailing) {
  for (const auto& s : Samples()) {
    Bytes b = s.Bytes;
    const Bytes& o = Samples()[s.Type == "JPG" ? 8 : 0].Bytes;
    b.resize((b.size() + 511) / 512 * 512, 0);
    b.insert(b.end(), o.begin() + 512, o.begin() + 512 + 4096);
    const TVerdict v = Check(b, s.Type).Verdict;
    printf("%s: %s %d %s\n", s.Name.c_str(), VerdictKindName(v.Kind), v.Percent, v.Reason.c_str());
  }
}

TEST_F(VerdictTest, EachDamageOfEachFamilyIsFound) {
  for (const auto& s : Samples()) {
    for (Damage d : fixtures::kAllDamage) {
      if (Invisible(s, d)) continue;
      const Bytes damaged = fixtures::Damaged(s.Bytes, d, 0.5, OtherThan(s));
      const TVerdict v = Check(damaged, s.Type).Verdict;
      EXPECT_NE(v.Kind, TVerdictKind::Whole) << s.Name << ", " << fixtures::DamageName(d);
      EXPECT_LT(v.Percent, 100) << s.Name << ", " << fixtures::DamageName(d);
      EXPECT_FALSE(v.Reason.empty()) << s.Name << ", " << fixtures::DamageName(d);
    }
  }
}

// A cut file decodes up to about where it was cut: the percentage follows the share kept.
TEST_F(VerdictTest, ACutIsLocatedNearWhereTheFileEnds) {
  for (const auto& s : Samples()) {
    if (s.Type != "JPG" && s.Type != "MP4" && s.Type != "MP3" && s.Type != "FLAC") continue;
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
        if (!Invisible(s, d)) {
          ++visibleAll;
          visibleFound += found;
        }
        if (v.Kind == TVerdictKind::Whole) ++wholeCalled;
        if (!found && getenv("VERDICT_DUMP")) {
          const Bytes b = fixtures::Damaged(s.Bytes, d, share, other);
          std::string n = std::string(getenv("VERDICT_DUMP")) + "/" + s.Name + "-" + fixtures::DamageName(d) + "-" + std::to_string(share).substr(0, 3) + "." + s.Type;
          FILE* f = fopen(n.c_str(), "wb"); fwrite(b.data(), 1, b.size(), f); fclose(f);
        }
        if (!found) missed[s.Name] += std::string(" ") + fixtures::DamageName(d) + "@" + std::to_string(share).substr(0, 3);
      }
    }
  }
  const double precision = double(wholeRight) / wholeCalled;
  const double recall = double(damagedFound) / damagedAll;
  const double visibleRecall = double(visibleFound) / visibleAll;
  std::printf("precision of whole %.3f (%d/%d); recall of damaged %.3f (%d/%d), %.3f (%d/%d) without PCM "
              "and raw samples\n",
              precision, wholeRight, wholeCalled, recall, damagedFound, damagedAll, visibleRecall, visibleFound,
              visibleAll);
  for (const auto& [name, what] : missed) std::printf("  missed in %s:%s\n", name.c_str(), what.c_str());
  RecordProperty("precision_whole", std::to_string(precision));
  RecordProperty("recall_damaged", std::to_string(recall));
  EXPECT_GE(precision, 0.99);
  EXPECT_GE(visibleRecall, 0.95);
}

}  // namespace
}  // namespace snapsalvager::decode
