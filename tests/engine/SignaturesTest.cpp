// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <new>
#include <random>
#include <vector>

#include "carving/Signatures.h"
#include "fixtures/CardImage.h"

namespace snapsalvager {
namespace {

using Sector = std::vector<uint8_t>;

// "FF D8 FF E1 .. .. 68 74" -> a 512-byte sector; ".." bytes are filler.
Sector Hex(std::string_view text, uint8_t filler = 0x11) {
  Sector s(512, filler);
  for (size_t pos = 0, i = 0; pos + 1 < text.size(); pos += 3, ++i) {
    if (text[pos] == '.') continue;
    s[i] = static_cast<uint8_t>(std::stoi(std::string(text.substr(pos, 2)), nullptr, 16));
  }
  return s;
}

Sector Ascii(std::string_view prefix4, std::string_view text) {
  Sector s(512, 0);
  std::memcpy(s.data(), prefix4.data(), prefix4.size());
  std::memcpy(s.data() + 4, text.data(), text.size());
  return s;
}

TRecogniserInputs Only(std::initializer_list<std::string_view> types) {
  TRecogniserInputs in;
  in.ChosenVideoExt = "MOV";
  for (auto t : types) in.Enable(t);
  return in;
}

TRecogniserInputs All() {
  TRecogniserInputs in = Only({});
  in.FileTypeEnabled.fill(true);
  return in;
}

std::string Detect(TSignatureRecogniser& r, const Sector& s) {
  std::string type = "stale";
  const bool found = r.DetectFileHeader(s.data(), type);
  EXPECT_EQ(found, !type.empty()) << "result and text disagree for " << type;
  return type;
}

std::string DetectOnce(const TRecogniserInputs& in, const Sector& s) {
  TSignatureRecogniser r(in);
  return Detect(r, s);
}

TEST(SignatureTest, IndexOfFileTypeIsExactAndOneBased) {
  EXPECT_EQ(IndexOfFileType("JPG"), 1);
  EXPECT_EQ(IndexOfFileType("AMR"), 29);
  EXPECT_EQ(IndexOfFileType("MOV"), 8);
  EXPECT_EQ(IndexOfFileType("jpg"), 0);
  EXPECT_EQ(IndexOfFileType("ALL"), 0);
  EXPECT_EQ(IndexOfFileType(""), 0);
}

TEST(SignatureTest, ZeroSectorIsNeverAHeader) {
  const Sector zero(512, 0);
  TRecogniserInputs canon = All();
  canon.IsCanonCamera = true;
  TRecogniserInputs chosen = All();
  chosen.UseChosenVideoExt = true;
  chosen.ChosenVideoExt = "3GP";
  for (const auto& in : {All(), canon, chosen, Only({})}) EXPECT_EQ(DetectOnce(in, zero), "");
}

// Every pattern of every step, with only its own type enabled.
TEST(SignatureTest, EveryPatternOfEveryStepIsRecognisedWhenItsTypeIsEnabled) {
  const std::vector<std::pair<std::string_view, std::vector<std::string_view>>> cases = {
      {"JPG", {"FF D8 FF E0", "FF D8 FF E1"}},
      {"TIF", {"49 49 2A 00", "4D 4D 2A 00", "4D 4D 00 2A"}},
      {"AVI", {"52 49 46 46 .. .. .. .. 41 56"}},
      {"MPG", {"00 00 01 BA 21 00 01 00", "00 00 01 B3", "00 00 01 BA 44 00 04 00 04 01"}},
      {"MP4", {"00 00 00 7F 66 74 79 70 6D 70", "00 00 00 20 66 74 79 70 69 73"}},
      {"X3F", {"46 4F 56 62"}},
      {"ORF", {"49 49 52 53", "49 49 52 4F"}},
      {"RAF", {"46 55 4A 49 46 49 4C 4D 43 43"}},
      {"MRW", {"00 4D 52 4D 00"}},
      {"DCR", {"58 46 49 52", "4D 4D 00 2A"}},
      {"NEF", {"4D 4D 00 2A", "49 49 2A 00"}},
      {"CRW",
       {"49 49 1A 00 .. .. 48 45 41 50", "4D 4D 00 00 .. .. 48 45 41 50",
        "49 49 FF 00 .. .. 48 45 41 50"}},
      {"CR2", {"49 49 2A 00 .. .. .. .. 43 52"}},
      {"MP3",
       {"FF FB 92 .. 00 00", "FF FB 80 .. 00 00", "FF FB 90 .. 00 00", "49 44 33 03 00 00",
        "49 44 33 02 00 00"}},
      {"ASF", {"30 26 B2"}},
      {"WAV", {"52 49 46 46 .. .. .. .. 57 41"}},
      {"SRF", {"49 49 2A 00"}},
      {"PEF", {"4D 4D 00 2A", "49 49 2A 00"}},
      {"RAW", {"49 49 55 00"}},
      {"3GP", {"00 00 00 14 66 74 79 70 33 67"}},
      {"MTS",
       {"00 00 00 1C 66 74 79 70 6D 6F", "12 34 56 78 47 40 00 10", "00 00 00 00 47 40 00 10"}},
      {"DNG", {"4D 4D 00 2A", "49 49 2A 00"}},
      {"AMR", {"23 21 41 4D 52"}},
  };
  for (const auto& [type, patterns] : cases) {
    for (std::string_view p : patterns) {
      EXPECT_EQ(DetectOnce(Only({type}), Hex(p)), type) << p;
      EXPECT_EQ(DetectOnce(Only({}), Hex(p)), "") << p;
    }
  }
}

TEST(SignatureTest, NearMissesAreNotHeaders) {
  const TRecogniserInputs in = All();
  for (std::string_view p : {
           "FF D8 FF DB",                    // JPEG starting with a quantisation table
           "FF D8 FE E1",                    //
           "52 49 46 46 .. .. .. .. 41 55",  // RIFF with neither AV nor WA
           "00 00 01 BA 21 00 01 01",        // pack header with a clock
           "00 00 00 .. 66 74 79 70 6D 71",  // brand "mq"
           "01 00 00 .. 66 74 79 70 6D 70",  // box of 256 bytes or more
           "00 4D 52 4D 01",                 //
           "FF FB 91 .. 00 00",              // layer III frame with another third byte
           "FF FB 92 .. 00 01",              //
           "49 44 33 04 00 00",              // ID3v2.4
           "49 44 33 03 01 00",              //
           "30 26 B3",                       //
           "49 49 55 01",                    //
           "23 21 41 4D 53",                 //
           "12 34 56 78 47 40 00 11",        // transport packet, continuity counter 1
           "46 55 4A 49 46 49 4C 4D 43 44",  //
       }) {
    TRecogniserInputs noAtoms = in;
    noAtoms.FileTypeEnabled[IndexOfFileType("MOV") - 1] = false;
    EXPECT_EQ(DetectOnce(noAtoms, Hex(p)), "") << p;
  }
}

TEST(SignatureTest, JpegExclusionsDependOnTheIdentifierAndTheCamera) {
  const Sector http = Hex("FF D8 FF E1 00 10 68 74 74 70");
  const Sector avi1 = Hex("FF D8 FF E0 00 10 41 56 49 31");
  TRecogniserInputs canon = All();
  canon.IsCanonCamera = true;
  EXPECT_EQ(DetectOnce(All(), http), "JPG");
  EXPECT_EQ(DetectOnce(Only({"JPG"}), http), "JPG");
  EXPECT_EQ(DetectOnce(canon, http), "");
  EXPECT_EQ(DetectOnce(All(), avi1), "");
  EXPECT_EQ(DetectOnce(canon, avi1), "");
  // The exclusion looks at bytes 6-9 only: AVI1 elsewhere does not matter.
  EXPECT_EQ(DetectOnce(All(), Hex("FF D8 FF E0 41 56 49 31 00 00")), "JPG");
  EXPECT_EQ(DetectOnce(canon, Hex("FF D8 FF E1 00 10 45 78 69 66")), "JPG");
}

// The shared TIFF magic goes to the first enabled claimant in the fixed order.
TEST(SignatureTest, TiffStructuredMagicIsClaimedByTheFirstEnabledTypeInOrder) {
  const Sector ii = Hex("49 49 2A 00 08 00 00 00 00 00");
  const Sector iiCr = Hex("49 49 2A 00 10 00 00 00 43 52");
  const Sector mm = Hex("4D 4D 00 2A 00 00 00 08 00 00");
  const Sector mmTif = Hex("4D 4D 2A 00 00 00 00 08 00 00");
  const Sector mmHeap = Hex("4D 4D 2A 00 00 00 48 45 41 50");
  struct Case {
    std::initializer_list<std::string_view> enabled;
    const Sector& sector;
    std::string_view expected;
  };
  const Case cases[] = {
      {{"TIF", "DCR", "NEF", "CRW", "CR2", "SRF", "PEF", "DNG"}, ii, "TIF"},
      {{"TIF", "DCR", "NEF", "CRW", "CR2", "SRF", "PEF", "DNG"}, mm, "TIF"},
      {{"JPG", "CRW", "CR2"}, iiCr, "CR2"},
      {{"JPG", "CRW", "CR2"}, ii, ""},
      {{"JPG", "DCR"}, ii, ""},
      {{"JPG", "DCR"}, mm, "DCR"},
      {{"DCR", "NEF"}, ii, "NEF"},
      {{"DCR", "NEF"}, mm, "DCR"},
      {{"NEF", "CR2"}, iiCr, "NEF"},
      {{"CR2", "SRF"}, iiCr, "CR2"},
      {{"CR2", "SRF"}, ii, "SRF"},
      {{"SRF", "PEF"}, ii, "SRF"},
      {{"SRF", "PEF"}, mm, "PEF"},
      {{"PEF", "DNG"}, ii, "PEF"},
      {{"DNG"}, mm, "DNG"},
      {{"DNG"}, ii, "DNG"},
      {{"TIF"}, mmTif, "TIF"},
      {{"NEF", "PEF", "DNG", "DCR", "SRF", "CR2"}, mmTif, ""},
      {{"CRW"}, mmHeap, "CRW"},
      {{"ORF", "CRW"}, Hex("49 49 52 4F 00 00 48 45 41 50"), "ORF"},
  };
  for (const Case& c : cases) {
    std::string names;
    for (auto t : c.enabled) names += std::string(t) + " ";
    EXPECT_EQ(DetectOnce(Only(c.enabled), c.sector), c.expected) << names;
  }
}

TEST(SignatureTest, WithEveryFlagOffNoFixtureHeaderIsRecognised) {
  for (int index = 1; index < kFirstDeepOnlyType; ++index) {  // the deep-only rows have no header test
    const std::string_view type = FileTypeTable[index - 1];
    if (type == "GIF" || type == "BMP" || type == "PNG" || type == "ZIP" || type == "RAR") continue;
    Sector s = fixtures::CardImage::headerBytes(type);
    s.resize(512, 0);
    EXPECT_EQ(DetectOnce(Only({}), s), "") << type;
    TRecogniserInputs allButCanon = All();
    EXPECT_FALSE(DetectOnce(allButCanon, s).empty()) << type;
  }
}

TEST(SignatureTest, FirstQuickTimeAtomLocksTheAtomTypeForTheScan) {
  TSignatureRecogniser r(Only({"MOV"}));
  EXPECT_EQ(Detect(r, Ascii("\0\0\0\0", "mdat")), "MOV");
  EXPECT_EQ(r.MovAtomLock(), TSignatureRecogniser::MovAtom::Mdat);
  EXPECT_EQ(Detect(r, Ascii("\0\0\0\0", "moov")), "");
  EXPECT_EQ(Detect(r, Ascii("\0\0\0\0", "ftypqt")), "");
  EXPECT_EQ(Detect(r, Ascii("\xff\xff\xff\xff", "mdat")), "MOV");  // size bytes not examined
  r.ResetSignatureState();
  EXPECT_EQ(r.MovAtomLock(), TSignatureRecogniser::MovAtom::None);
  EXPECT_EQ(Detect(r, Ascii("\0\0\0\0", "moov")), "MOV");
  EXPECT_EQ(r.MovAtomLock(), TSignatureRecogniser::MovAtom::Moov);
}

TEST(SignatureTest, EveryAtomCodeStartsAQuickTimeFile) {
  const std::pair<std::string_view, TSignatureRecogniser::MovAtom> codes[] = {
      {"pnot", TSignatureRecogniser::MovAtom::Pnot}, {"moov", TSignatureRecogniser::MovAtom::Moov},
      {"mdat", TSignatureRecogniser::MovAtom::Mdat}, {"junk", TSignatureRecogniser::MovAtom::Junk},
      {"skip", TSignatureRecogniser::MovAtom::Skip}, {"wide", TSignatureRecogniser::MovAtom::Wide},
      {"pict", TSignatureRecogniser::MovAtom::Pict}, {"ftyp", TSignatureRecogniser::MovAtom::Ftyp}};
  for (const auto& [code, atom] : codes) {
    TSignatureRecogniser r(Only({"MOV"}));
    EXPECT_EQ(Detect(r, Ascii("\0\0\0\x10", code)), "MOV") << code;
    EXPECT_EQ(r.MovAtomLock(), atom) << code;
  }
  EXPECT_EQ(DetectOnce(Only({"MOV"}), Ascii("\0\0\0\x10", "free")), "");
}

TEST(SignatureTest, IsoMediaSwitchesTheAtomTestOffUntilReset) {
  TSignatureRecogniser r(Only({"MOV", "MP4"}));
  EXPECT_EQ(Detect(r, Ascii("\0\0\0\0", "moov")), "MOV");
  r.ResetSignatureState();
  EXPECT_EQ(Detect(r, Ascii("\0\0\0\x18", "ftypisom")), "MP4");
  EXPECT_TRUE(r.IsoMediaFound());
  EXPECT_EQ(Detect(r, Ascii("\0\0\0\0", "moov")), "");
  EXPECT_EQ(Detect(r, Ascii("\0\0\0\0", "mdat")), "");
  EXPECT_EQ(Detect(r, Ascii("\0\0\0\x14", "ftypqt")), "");
  r.ResetSignatureState();
  EXPECT_FALSE(r.IsoMediaFound());
  EXPECT_EQ(Detect(r, Ascii("\0\0\0\0", "mdat")), "MOV");
}

TEST(SignatureTest, TransportStreamHeaderSwitchesTheAtomTestOff) {
  TSignatureRecogniser r(Only({"MOV", "MTS"}));
  EXPECT_EQ(Detect(r, Hex("DE AD BE EF 47 40 00 10")), "MTS");
  EXPECT_TRUE(r.IsoMediaFound());
  EXPECT_EQ(Detect(r, Ascii("\0\0\0\0", "mdat")), "");
  // A 3GP header does the same.
  TSignatureRecogniser g(Only({"MOV", "3GP"}));
  EXPECT_EQ(Detect(g, Ascii("\0\0\0\x14", "ftyp3gp4")), "3GP");
  EXPECT_EQ(Detect(g, Ascii("\0\0\0\0", "moov")), "");
}

TEST(SignatureTest, CanonCamerasTakeOnlyFtypQt) {
  TRecogniserInputs in = Only({"MOV"});
  in.IsCanonCamera = true;
  TSignatureRecogniser r(in);
  EXPECT_EQ(Detect(r, Ascii("\0\0\0\0", "moov")), "");
  EXPECT_EQ(Detect(r, Ascii("\0\0\0\0", "mdat")), "");
  EXPECT_EQ(Detect(r, Ascii("\0\0\0\x14", "ftypmp")), "");
  EXPECT_EQ(Detect(r, Ascii("\0\0\0\x14", "ftypqt")), "MOV");
  EXPECT_EQ(r.MovAtomLock(), TSignatureRecogniser::MovAtom::Ftyp);
  EXPECT_EQ(Detect(r, Ascii("\0\0\0\x14", "ftypqt")), "MOV");
}

TEST(SignatureTest, ChosenVideoExtensionNamesAtomHeadersEvenAfterIsoMedia) {
  TRecogniserInputs in = Only({"3GP"});
  in.UseChosenVideoExt = true;
  in.ChosenVideoExt = "3GP";
  TSignatureRecogniser r(in);
  EXPECT_EQ(Detect(r, Ascii("\0\0\0\0", "mdat")), "3GP");
  EXPECT_EQ(Detect(r, Ascii("\0\0\0\x14", "ftyp3gp4")), "3GP");
  EXPECT_TRUE(r.IsoMediaFound());
  EXPECT_EQ(Detect(r, Ascii("\0\0\0\0", "mdat")), "3GP");
  EXPECT_EQ(Detect(r, Ascii("\0\0\0\0", "moov")), "");  // still locked to mdat
}

TEST(SignatureTest, ResetKeepsTheInputs) {
  TRecogniserInputs in = Only({"CR2", "MOV"});
  in.IsCanonCamera = true;
  TSignatureRecogniser r(in);
  r.ResetSignatureState();
  EXPECT_TRUE(r.Inputs().IsCanonCamera);
  EXPECT_EQ(Detect(r, Hex("49 49 2A 00 10 00 00 00 43 52")), "CR2");
}

// The steps written out literally as one if-chain, to check the compiled table against.
class ReferenceRecogniser {
 public:
  explicit ReferenceRecogniser(TRecogniserInputs in) : in_(std::move(in)) {}
  std::string Detect(const uint8_t* s) {
    auto on = [&](const char* t) { return in_.Enabled(IndexOfFileType(t)); };
    auto at = [&](int offset, std::initializer_list<int> bytes) {
      int i = offset;
      for (int b : bytes) {
        if (s[i++] != b) return false;
      }
      return true;
    };
    const bool ii = at(0, {0x49, 0x49, 0x2A, 0x00}), mm = at(0, {0x4D, 0x4D, 0x00, 0x2A});
    const bool ftyp = at(0, {0, 0, 0}) && at(4, {'f', 't', 'y', 'p'});
    if (on("JPG") && at(0, {0xFF, 0xD8, 0xFF}) && (s[3] == 0xE0 || s[3] == 0xE1) &&
        !at(6, {'A', 'V', 'I', '1'}) && !(in_.IsCanonCamera && at(6, {'h', 't', 't', 'p'})))
      return "JPG";
    if (on("TIF") && (ii || mm || at(0, {0x4D, 0x4D, 0x2A, 0x00}))) return "TIF";
    if (on("AVI") && at(0, {'R', 'I', 'F', 'F'}) && at(8, {'A', 'V'})) return "AVI";
    if (on("MPG") && (at(0, {0, 0, 1, 0xBA, 0x21, 0, 1, 0}) || at(0, {0, 0, 1, 0xB3}) ||
                      at(0, {0, 0, 1, 0xBA, 0x44, 0, 4, 0, 4, 1})))
      return "MPG";
    if (on("MP4") && ftyp && (at(8, {'m', 'p'}) || at(8, {'i', 's'}))) return iso_ = true, "MP4";
    if (on("X3F") && at(0, {'F', 'O', 'V', 'b'})) return "X3F";
    if (on("ORF") && at(0, {'I', 'I', 'R'}) && (s[3] == 'S' || s[3] == 'O')) return "ORF";
    if (on("RAF") && at(0, {'F', 'U', 'J', 'I', 'F', 'I', 'L', 'M', 'C', 'C'})) return "RAF";
    if (on("MRW") && at(0, {0, 'M', 'R', 'M', 0})) return "MRW";
    if (on("DCR") && (at(0, {'X', 'F', 'I', 'R'}) || mm)) return "DCR";
    if (on("NEF") && (mm || ii)) return "NEF";
    if (on("CRW") && (at(0, {'I', 'I'}) || at(0, {'M', 'M'})) && s[3] == 0 &&
        at(6, {'H', 'E', 'A', 'P'}))
      return "CRW";
    if (on("CR2") && ii && at(8, {'C', 'R'})) return "CR2";
    if (on("MP3") &&
        ((at(0, {0xFF, 0xFB}) && (s[2] == 0x92 || s[2] == 0x80 || s[2] == 0x90) && at(4, {0, 0})) ||
         at(0, {'I', 'D', '3', 3, 0, 0}) || at(0, {'I', 'D', '3', 2, 0, 0})))
      return "MP3";
    if (on("ASF") && at(0, {0x30, 0x26, 0xB2})) return "ASF";
    if (on("WAV") && at(0, {'R', 'I', 'F', 'F'}) && at(8, {'W', 'A'})) return "WAV";
    if (on("SRF") && ii) return "SRF";
    if (on("PEF") && (mm || ii)) return "PEF";
    if (on("RAW") && at(0, {'I', 'I', 'U', 0})) return "RAW";
    if (on("3GP") && ftyp && at(8, {'3', 'g'})) return iso_ = true, "3GP";
    if (on("MTS") && ((ftyp && at(8, {'m', 'o'})) || at(4, {0x47, 0x40, 0x00, 0x10})))
      return iso_ = true, "MTS";
    if (on("DNG") && (mm || ii)) return "DNG";
    if (on("AMR") && at(0, {'#', '!', 'A', 'M', 'R'})) return "AMR";
    if (!((on("MOV") && !iso_) || in_.UseChosenVideoExt)) return "";
    const std::string ext = in_.UseChosenVideoExt ? in_.ChosenVideoExt : "MOV";
    if (in_.IsCanonCamera) {
      if (!at(4, {'f', 't', 'y', 'p', 'q', 't'})) return "";
      lock_ = "ftyp";
      return ext;
    }
    for (const char* code : {"pnot", "moov", "mdat", "junk", "skip", "wide", "pict", "ftyp"}) {
      if (!lock_.empty() && lock_ != code) continue;
      if (std::memcmp(s + 4, code, 4) == 0) return lock_ = code, ext;
    }
    return "";
  }

 private:
  TRecogniserInputs in_;
  bool iso_ = false;
  std::string lock_;
};

// Random settings and sectors built from header fragments with random bytes mixed in, fed
// in sequence so that the scan state is exercised too.
TEST(SignatureTest, AgreesWithTheStepsWrittenOutOnRandomSequences) {
  std::mt19937 rng(20240601);
  std::vector<Sector> fragments;
  for (std::string_view t :
       {"JPG", "TIF", "AVI", "MPG", "MP4", "X3F", "ORF", "RAF", "MRW", "NEF",
        "CRW", "CR2", "MP3", "ASF", "WAV", "RAW", "3GP", "MTS", "AMR", "MOV"}) {
    fragments.push_back(fixtures::CardImage::headerBytes(t));
  }
  for (std::string_view t :
       {"moov", "mdat", "pnot", "junk", "skip", "wide", "pict", "ftypqt", "ftypis"}) {
    fragments.push_back(Ascii("\0\0\0\0", t));
  }
  for (std::string_view p :
       {"FF D8 FF E0 00 10 41 56 49 31", "FF D8 FF E1 00 10 68 74 74 70",
        "4D 4D 2A 00 00 00 48 45 41 50", "4D 4D 00 2A 00 00 00 08 43 52",
        "49 49 2A 00 00 00 48 45 41 50", "FF FB 90 44 00 00", "49 44 33 02 00 00"}) {
    fragments.push_back(Hex(p, 0));
  }
  int headers = 0;
  for (int round = 0; round < 300; ++round) {
    TRecogniserInputs in;
    for (auto& f : in.FileTypeEnabled) f = rng() % 3 == 0;
    in.IsCanonCamera = rng() % 3 == 0;
    in.UseChosenVideoExt = rng() % 4 == 0;
    in.ChosenVideoExt = in.UseChosenVideoExt ? (rng() % 2 ? "MP4" : "3GP") : "MOV";
    TSignatureRecogniser actual(in);
    ReferenceRecogniser expected(in);
    for (int i = 0; i < 60; ++i) {
      Sector s = fragments[rng() % fragments.size()];
      s.resize(512, 0);
      for (int flips = rng() % 3; flips > 0; --flips) s[rng() % 10] = static_cast<uint8_t>(rng());
      const std::string want = expected.Detect(s.data());
      ASSERT_EQ(Detect(actual, s), want) << "round " << round << " sector " << i;
      headers += !want.empty();
    }
  }
  EXPECT_GT(headers, 1000);  // the comparison covered many matches, not only misses
}

// Allocation counting needs the global operator new; sanitizers install their own.
#if defined(__SANITIZE_ADDRESS__)
#define SNAPSALVAGER_COUNT_ALLOCATIONS 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define SNAPSALVAGER_COUNT_ALLOCATIONS 0
#endif
#endif
#ifndef SNAPSALVAGER_COUNT_ALLOCATIONS
#define SNAPSALVAGER_COUNT_ALLOCATIONS 1
#endif

#if SNAPSALVAGER_COUNT_ALLOCATIONS
int g_allocations = 0;
TEST(SignatureTest, DetectingHeadersNeverAllocates) {
  TRecogniserInputs in = All();
  in.UseChosenVideoExt = true;
  in.ChosenVideoExt = "3GP";
  TSignatureRecogniser r(in);
  std::string type;
  type.reserve(1);  // the short-string buffer only
  const Sector headers[] = {Hex("FF D8 FF E1 00 10 45 78 69 66"), Ascii("\0\0\0\0", "mdat"),
                            Hex("49 49 2A 00 10 00 00 00 43 52"), Sector(512, 0xA5)};
  const int before = g_allocations;
  int found = 0;
  for (int i = 0; i < 1000; ++i) found += r.DetectFileHeader(headers[i % 4].data(), type);
  EXPECT_EQ(g_allocations, before);
  EXPECT_EQ(found, 750);
}
#endif

}  // namespace
}  // namespace snapsalvager

#if SNAPSALVAGER_COUNT_ALLOCATIONS
// gcc sees free() in operator delete and cannot tell it pairs with this operator new.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif
void* operator new(std::size_t size) {
  ++snapsalvager::g_allocations;
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
#endif
