// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// The camera table and the mapping of camera + kinds of file onto the recogniser inputs.
#include "session/ScanOptions.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace snapsalvager {
namespace {

std::set<std::string> EnabledTypes(const TRecogniserInputs& inputs) {
  std::set<std::string> types;
  for (int i = 1; i <= kFileTypeCount; ++i) {
    if (inputs.Enabled(i)) types.insert(std::string(FileTypeTable[i - 1]));
  }
  return types;
}

TEST(ScanOptionsTest, CameraTableHoldsFifteenRowsInListOrder) {
  const auto& table = CameraTable();
  ASSERT_EQ(table.size(), 15u);
  EXPECT_EQ(table.front().Name, "Generic Digital Camera");
  EXPECT_EQ(table[2].Name, "Canon Digital Camera");
  EXPECT_EQ(table.back().Name, "Sony Digital Camera");
  for (const auto& camera : table) {
    ASSERT_FALSE(camera.Exts.empty());
    EXPECT_EQ(camera.Exts.front(), "JPG") << camera.Name;
    for (const auto& ext : camera.Exts) EXPECT_GT(IndexOfFileType(ext), 0) << ext;
  }
  EXPECT_EQ(VideoGroup().Exts,
            (std::vector<std::string>{"MPG", "MOV", "ASF", "MP4", "AVI", "3GP", "MTS"}));
  EXPECT_EQ(AudioGroup().Exts, (std::vector<std::string>{"WAV", "MP3", "AMR"}));
}

TEST(ScanOptionsTest, FindCameraIgnoresCaseButNotSpelling) {
  ASSERT_NE(FindCamera("nikon digital camera"), nullptr);
  EXPECT_EQ(FindCamera("NIKON DIGITAL CAMERA")->Name, "Nikon Digital Camera");
  EXPECT_EQ(FindCamera("Nikon"), nullptr);
  EXPECT_EQ(FindCamera(""), nullptr);
}

TEST(ScanOptionsTest, CanonPhotosEnableJpgCrwCr2AndTheCanonRule) {
  const auto inputs = MakeRecogniserInputs("Canon Digital Camera", true, false, false, "ALL");
  EXPECT_EQ(EnabledTypes(inputs), (std::set<std::string>{"JPG", "CRW", "CR2"}));
  EXPECT_TRUE(inputs.IsCanonCamera);
  EXPECT_FALSE(inputs.UseChosenVideoExt);
  EXPECT_EQ(inputs.ChosenVideoExt, "MOV");
}

TEST(ScanOptionsTest, CanonRuleFollowsTheTableNameNotTheTypedCase) {
  // The user's text is matched without case, the brand test on the row's own name.
  EXPECT_TRUE(MakeRecogniserInputs("canon digital camera", true, false, false, "ALL").IsCanonCamera);
  EXPECT_FALSE(MakeRecogniserInputs("Generic Digital Camera", true, false, false, "ALL").IsCanonCamera);
}

TEST(ScanOptionsTest, ChosenMp4Or3gpVideoUsesTheChosenExtension) {
  auto inputs = MakeRecogniserInputs("Generic Digital Camera", false, true, false, "MP4");
  EXPECT_EQ(EnabledTypes(inputs), (std::set<std::string>{"MP4"}));
  EXPECT_TRUE(inputs.UseChosenVideoExt);
  EXPECT_EQ(inputs.ChosenVideoExt, "MP4");

  inputs = MakeRecogniserInputs("Generic Digital Camera", false, true, false, "3GP");
  EXPECT_EQ(EnabledTypes(inputs), (std::set<std::string>{"3GP"}));
  EXPECT_TRUE(inputs.UseChosenVideoExt);
  EXPECT_EQ(inputs.ChosenVideoExt, "3GP");

  inputs = MakeRecogniserInputs("Generic Digital Camera", false, true, false, "MOV");
  EXPECT_EQ(EnabledTypes(inputs), (std::set<std::string>{"MOV"}));
  EXPECT_FALSE(inputs.UseChosenVideoExt);
  EXPECT_EQ(inputs.ChosenVideoExt, "MOV");
}

TEST(ScanOptionsTest, AllVideoAndAudioEnableTheirWholeGroups) {
  auto inputs = MakeRecogniserInputs("Generic Phone Camera", false, true, false, "ALL");
  EXPECT_EQ(EnabledTypes(inputs),
            (std::set<std::string>{"MPG", "MOV", "ASF", "MP4", "AVI", "3GP", "MTS"}));
  EXPECT_FALSE(inputs.UseChosenVideoExt);

  inputs = MakeRecogniserInputs("Sony Digital Camera", false, false, true, "ALL");
  EXPECT_EQ(EnabledTypes(inputs), (std::set<std::string>{"WAV", "MP3", "AMR"}));

  inputs = MakeRecogniserInputs("Generic Digital Camera", true, true, true, "ALL");
  EXPECT_EQ(EnabledTypes(inputs).size(), 12u);
}

TEST(ScanOptionsTest, UnknownVideoTypeOrCameraEnablesNothing) {
  auto inputs = MakeRecogniserInputs("Generic Digital Camera", false, true, false, "mp4");
  EXPECT_TRUE(EnabledTypes(inputs).empty());
  EXPECT_FALSE(inputs.UseChosenVideoExt);

  inputs = MakeRecogniserInputs("No Such Camera", true, true, true, "ALL");
  EXPECT_TRUE(EnabledTypes(inputs).empty());
  EXPECT_FALSE(inputs.IsCanonCamera);
  EXPECT_EQ(inputs.ChosenVideoExt, "MOV");
}

}  // namespace
}  // namespace snapsalvager

namespace snapsalvager {
namespace {

std::set<std::string> DeepOnlyTypes(const TRecogniserInputs& inputs) {
  std::set<std::string> types;
  for (int i = 1; i <= kFileTypeCount; ++i) {
    if (inputs.EnabledDeep(i) && !inputs.Enabled(i)) types.insert(std::string(FileTypeTable[i - 1]));
  }
  return types;
}

TEST(ScanOptionsTest, TodaysTypesFollowTheTickedKindsForDeepScansOnly) {
  const std::set<std::string> photos = {"CR3", "HEIC", "HEIF", "AVIF", "ARW", "NRW", "RW2", "RWL", "SRW", "3FR",
                                        "IIQ", "NEF", "CR2", "DCR", "ORF", "PEF", "DNG"};
  const TRecogniserInputs photo = MakeRecogniserInputs("Generic Digital Camera", true, false, false, "ALL");
  EXPECT_EQ(EnabledTypes(photo), (std::set<std::string>{"JPG", "TIF"}));  // the plain scan's, as always
  EXPECT_EQ(DeepOnlyTypes(photo), photos);
  EXPECT_EQ(DeepOnlyTypes(MakeRecogniserInputs("Generic Digital Camera", false, false, true, "ALL")),
            (std::set<std::string>{"M4A", "FLAC"}));
  EXPECT_EQ(DeepOnlyTypes(MakeRecogniserInputs("Generic Digital Camera", false, true, false, "ALL")),
            (std::set<std::string>{"MXF"}));
  EXPECT_TRUE(DeepOnlyTypes(MakeRecogniserInputs("Generic Digital Camera", false, true, false, "MP4")).empty());
  for (int i = kFirstDeepOnlyType; i <= kFileTypeCount; ++i) {
    EXPECT_FALSE(MakeRecogniserInputs("Canon Digital Camera", true, true, true, "ALL").Enabled(i)) << i;
  }
}

}  // namespace
}  // namespace snapsalvager
