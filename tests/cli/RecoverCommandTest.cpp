// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// snapsalvager-cli recover, run as a user runs it, on FAT32 card images with real media: what
// it recovers, its options, its questions, its languages, a scan killed and resumed.
#include "RecoverCommandTestSupport.h"

namespace {

using namespace recovertest;

TEST_F(RecoverCommandTest, RecoversEveryFileOfAFat32CardIntactAndLeavesTheCardAlone) {
  const uint64_t before = fixtures::HashFile(card_->Image);
  const fs::path dest = work_ / "out";
  const TResult run = RunRecover({card_->Image.string(), dest.string(), "--video", "--audio"}, work_);
  ASSERT_EQ(run.Status, 0) << run.Err;

  const auto& files = card_->Files;
  ASSERT_EQ(run.Rows.size(), files.size()) << run.Out;
  for (size_t i = 0; i < files.size(); ++i) {
    const auto& row = run.Rows[i];
    ASSERT_EQ(row.size(), 4u) << run.Out;
    char name[32];
    std::snprintf(name, sizeof name, "File%04zu.%s", i + 1, files[i].Ext.c_str());
    EXPECT_EQ(row[0], std::to_string(i + 1));
    EXPECT_EQ(row[1], name) << files[i].Name;
    EXPECT_EQ(row[3], files[i].Summary) << files[i].Name;
    const std::string original = ReadAll(files[i].Original);
    const std::string recovered = ReadAll(dest / name);
    EXPECT_EQ(row[2], std::to_string(recovered.size()));
    ASSERT_GE(recovered.size(), original.size()) << name;
    EXPECT_EQ(recovered.compare(0, original.size(), original), 0)
        << name << " does not begin with " << files[i].Name << (files[i].Deleted ? " (deleted)" : "");
  }
  EXPECT_EQ(fixtures::HashFile(card_->Image), before);
  // The temporary folder keeps only its note.
  std::vector<std::string> left;
  for (auto& entry : fs::directory_iterator(dest / "TmpFiles")) left.push_back(entry.path().filename().string());
  EXPECT_EQ(left, std::vector<std::string>{"AboutThisFolder.txt"});
  EXPECT_NE(run.Err.find(Text(TText::SavedIn) + dest.string() + "/"), std::string::npos) << run.Err;
  EXPECT_NE(run.Err.find(Text(TText::FoundCount, {std::to_string(files.size())})), std::string::npos);
}

TEST_F(RecoverCommandTest, DeepScanRecoversEveryFileAtItsExactSize) {
  const fs::path dest = work_ / "out";
  const TResult run = RunRecover({card_->Image.string(), dest.string(), "--video", "--audio", "--deep"}, work_);
  ASSERT_EQ(run.Status, 0) << run.Err;
  EXPECT_NE(run.Err.find(Text(TText::DeepScanSuffix)), std::string::npos) << run.Err;
  std::vector<std::string> names;
  for (const auto& row : run.Rows) {
    ASSERT_EQ(row.size(), 4u) << run.Out;
    EXPECT_EQ(row[2], std::to_string(fs::file_size(dest / row[1])));
    names.push_back(row[1]);
  }
  for (const auto& file : card_->Files) {
    const std::string original = ReadAll(file.Original);
    bool whole = false;
    for (const auto& name : names) whole = whole || ReadAll(dest / name) == original;
    EXPECT_TRUE(whole) << file.Name << (file.Deleted ? " (deleted)" : "") << " is not recovered byte for byte\n"
                       << run.Out;
  }
}

TEST_F(RecoverCommandTest, PhotosOnlyByDefaultAndScanOnlySavesNothing) {
  const fs::path dest = work_ / "out";
  const TResult run = RunRecover({card_->Image.string(), dest.string(), "--scan-only"}, work_);
  ASSERT_EQ(run.Status, 0) << run.Err;
  size_t photos = 0;
  for (auto& f : card_->Files) photos += f.Ext == "JPG";
  ASSERT_EQ(run.Rows.size(), photos);
  for (auto& row : run.Rows) EXPECT_NE(row[1].find(".JPG"), std::string::npos);
  EXPECT_EQ(RecoveredNames(dest), std::vector<std::string>{});
  size_t temporary = 0;
  for (auto& entry : fs::directory_iterator(dest / "TmpFiles")) temporary += entry.path().extension() == ".~QX";
  EXPECT_EQ(temporary, photos);
}

// --image: the card's copy beside the scan, the same rows as without it, and no file of
// the user's replaced by a second run.
TEST_F(RecoverCommandTest, ImageOptionCopiesTheCardAndNeverReplacesAFile) {
  const fs::path image = work_ / "copy.img";
  const TResult plain = RunRecover({card_->Image.string(), (work_ / "a").string(), "--scan-only"}, work_);
  const TResult run = RunRecover({card_->Image.string(), (work_ / "b").string(), "--scan-only",
                                  "--image", image.string()}, work_);
  ASSERT_EQ(run.Status, 0) << run.Err;
  EXPECT_EQ(run.Rows, plain.Rows);
  EXPECT_EQ(fixtures::HashFile(image), fixtures::HashFile(card_->Image));
  EXPECT_TRUE(fs::exists(work_ / "copy.img.map"));
  const uint64_t copy = fixtures::HashFile(image);
  const TResult again = RunRecover({card_->Image.string(), (work_ / "c").string(), "--scan-only",
                                    "--image", image.string()}, work_);
  EXPECT_EQ(again.Status, 2);
  EXPECT_TRUE(again.Rows.empty());
  EXPECT_EQ(fixtures::HashFile(image), copy);
}

TEST_F(RecoverCommandTest, EarlierRecoveryIsAQuestionAndNothingIsReplaced) {
  const fs::path dest = work_ / "out";
  ASSERT_EQ(RunRecover({card_->Image.string(), dest.string()}, work_).Status, 0);
  const std::string first = ReadAll(dest / "File0001.JPG");
  fs::resize_file(dest / "File0001.JPG", 100);  // the user edited it since

  TResult again = RunRecover({card_->Image.string(), dest.string()}, work_);
  EXPECT_EQ(again.Status, 4);
  EXPECT_NE(again.Err.find(Shown(Text(TText::EarlierRecovery))), std::string::npos) << again.Err;
  EXPECT_TRUE(again.Rows.empty());

  // Going on saves every file under the next free names, past what the folder holds.
  const std::vector<std::string> before = RecoveredNames(dest);
  again = RunRecover({card_->Image.string(), dest.string(), "--yes"}, work_);
  EXPECT_EQ(again.Status, 0) << again.Err;
  EXPECT_EQ(fs::file_size(dest / "File0001.JPG"), 100u);
  const size_t n = before.size();
  EXPECT_EQ(RecoveredNames(dest).size(), 2 * n);
  EXPECT_EQ(ReadAll(dest / snapsalvager::RecoveredFileName(static_cast<uint32_t>(n + 1), "JPG")), first);
  EXPECT_NE(again.Err.find("File0001.JPG 已被占用，改存为 " + snapsalvager::RecoveredFileName(static_cast<uint32_t>(n + 1), "JPG")),
            std::string::npos) << again.Err;
  EXPECT_EQ(again.Err.find(std::string(Text(TText::NotSaved)).substr(0, std::string(Text(TText::NotSaved)).find("%1"))), std::string::npos) << again.Err;
}

// A second scan into the same folder: the first scan's temporary files are moved aside,
// byte for byte, and restore saves them from there.
TEST_F(RecoverCommandTest, SecondScanKeepsTheFirstScansTemporaryFiles) {
  const fs::path dest = work_ / "out";
  ASSERT_EQ(RunRecover({card_->Image.string(), dest.string(), "--scan-only"}, work_).Status, 0);
  std::map<std::string, std::string> first;
  for (const auto& entry : fs::directory_iterator(dest / "TmpFiles"))
    if (entry.path().extension() == ".~QX") first[entry.path().filename()] = ReadAll(entry.path());
  ASSERT_FALSE(first.empty());

  const TResult again = RunRecover({card_->Image.string(), dest.string(), "--scan-only", "--no-photo", "--video"}, work_);
  EXPECT_EQ(again.Status, 0) << again.Err;
  fs::path kept;
  for (const auto& entry : fs::directory_iterator(dest / "TmpFiles"))
    if (entry.is_directory()) kept = entry.path();
  ASSERT_FALSE(kept.empty());
  EXPECT_EQ(kept.filename().string().rfind("Kept_", 0), 0u) << kept;
  EXPECT_NE(again.Err.find(std::to_string(first.size()) + " 个临时文件已移到 " + kept.string()), std::string::npos)
      << again.Err;
  for (const auto& [name, bytes] : first) EXPECT_EQ(ReadAll(kept / name), bytes) << name;

  const TResult restore = RunCli({"restore", kept.string(), dest.string()}, work_);
  EXPECT_EQ(restore.Status, 0) << restore.Err;
  EXPECT_EQ(RecoveredNames(dest).size(), first.size());
}

// The temporary files of a folder by name, the journal's own files left out.
std::map<std::string, std::string> TemporaryFiles(const fs::path& folder) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::directory_iterator(folder))
    if (entry.path().extension() == ".~QX") files[entry.path().filename()] = ReadAll(entry.path());
  return files;
}

TEST_F(RecoverCommandTest, KilledScanGoesOnWithResumeAndEndsAsAScanThatRanThrough) {
  const std::vector<std::string> options = {"--video", "--audio", "--scan-only"};
  auto recover = [&](const fs::path& dest, std::vector<std::string> more, const char* killAfter) {
    std::vector<std::string> args = {card_->Image.string(), dest.string()};
    args.insert(args.end(), options.begin(), options.end());
    args.insert(args.end(), more.begin(), more.end());
    return RunRecover(args, work_, -1, [killAfter] {
      if (killAfter) ::setenv("SNAPSALVAGER_TEST_KILL_AFTER", killAfter, 1);
    });
  };
  const TResult whole = recover(work_ / "whole", {}, nullptr);
  ASSERT_EQ(whole.Status, 0) << whole.Err;

  const fs::path dest = work_ / "out";
  ASSERT_EQ(recover(dest, {}, "40000").Status, 128 + SIGKILL);
  const std::optional<TScanJournal> journal = ReadScanJournal(dest / "TmpFiles");
  ASSERT_TRUE(journal);
  const std::string done = std::to_string(journal->Point.Done), total = std::to_string(journal->Point.Total);

  // Without --resume the scan starts again, and says what it leaves.
  fs::copy(dest, work_ / "again", fs::copy_options::recursive);
  const TResult again = recover(work_ / "again", {}, "1");
  EXPECT_NE(again.Err.find(Text(TText::JournalNotResumed, {done, total})), std::string::npos) << again.Err;
  // Saved instead with restore: the journal goes with the last file.
  fs::copy(dest, work_ / "restored", fs::copy_options::recursive);
  const fs::path restoredTemp = work_ / "restored/TmpFiles";
  ASSERT_EQ(RunCli({"restore", restoredTemp.string(), (work_ / "restored").string()}, work_).Status, 0);
  EXPECT_FALSE(JournalPresent(restoredTemp));
  // Another kind of file sought: not this journal's scan.
  fs::copy(dest, work_ / "other", fs::copy_options::recursive);
  const TResult other = recover(work_ / "other", {"--deep", "--resume"}, "1");
  EXPECT_NE(other.Err.find(Text(TText::JournalOtherScan, {(work_ / "other/TmpFiles/").string()})), std::string::npos)
      << other.Err;

  const TResult resumed = recover(dest, {"--resume"}, nullptr);
  ASSERT_EQ(resumed.Status, 0) << resumed.Err;
  EXPECT_NE(resumed.Err.find(Text(TText::ResumingScan, {done, total, std::to_string(journal->FoundFileCount())})),
            std::string::npos)
      << resumed.Err;
  EXPECT_EQ(resumed.Out, whole.Out);
  EXPECT_EQ(TemporaryFiles(dest / "TmpFiles"), TemporaryFiles(work_ / "whole/TmpFiles"));
  EXPECT_FALSE(JournalPresent(dest / "TmpFiles"));

  const TResult nothing = recover(work_ / "fresh", {"--resume"}, nullptr);
  EXPECT_NE(nothing.Err.find(Text(TText::NoScanToResume, {(work_ / "fresh/TmpFiles/").string()})), std::string::npos)
      << nothing.Err;
  EXPECT_EQ(nothing.Out, whole.Out);
}

TEST_F(RecoverCommandTest, BadUsageAndRefusedOptionsExitWithTwo) {
  const std::string image = card_->Image.string();
  const std::string dest = (work_ / "out").string();
  EXPECT_EQ(RunRecover({}, work_).Status, 2);
  EXPECT_EQ(RunRecover({image, dest, "--frobnicate"}, work_).Status, 2);
  EXPECT_EQ(RunRecover({image, dest, "--video=XYZ"}, work_).Status, 2);
  EXPECT_EQ(RunRecover({image, dest, "--sectors", "many"}, work_).Status, 2);

  TResult run = RunRecover({image, dest, "--camera", "Polaroid"}, work_);
  EXPECT_EQ(run.Status, 2);
  EXPECT_NE(run.Err.find(Text(TText::NoCamera)), std::string::npos);
  run = RunRecover({image, dest, "--no-photo"}, work_);
  EXPECT_EQ(run.Status, 2);
  EXPECT_NE(run.Err.find(Text(TText::NoKinds)), std::string::npos);
  // An unknown camera is reported before the kinds, in the scan options' order.
  run = RunRecover({image, dest, "--camera", "Polaroid", "--no-photo"}, work_);
  EXPECT_EQ(run.Status, 2);
  EXPECT_NE(run.Err.find(Text(TText::NoCamera)),
            std::string::npos) << run.Err;
  EXPECT_EQ(run.Err.find(Text(TText::NoKinds)), std::string::npos) << run.Err;
  run = RunRecover({image, "   "}, work_);
  EXPECT_EQ(run.Status, 2);
  EXPECT_NE(run.Err.find(Text(TText::NoDestFolder)), std::string::npos);
  run = RunRecover({(work_ / "missing.img").string(), dest}, work_);
  EXPECT_EQ(run.Status, 2);
  EXPECT_FALSE(fs::exists(dest));

  run = RunRecover({"--help"}, work_);
  EXPECT_EQ(run.Status, 0);
  EXPECT_EQ(run.Out, Text(TText::RecoverUsage));
  run = RunRecover({"--camera", "list"}, work_);
  EXPECT_EQ(run.Status, 0);
  EXPECT_NE(run.Out.find("Sony Digital Camera"), std::string::npos);
}

// The literal pieces (between values and line breaks) of the English texts that no Chinese
// text holds: a Chinese run shows none of them.
std::vector<std::string> EnglishOnlyPieces() {
  std::vector<std::string> chinese, pieces;
  for (int i = 0; i < static_cast<int>(TText::Count); ++i) chinese.push_back(Text(static_cast<TText>(i)));
  snapsalvager::SetLanguage(TLanguage::English);
  for (int i = 0; i < static_cast<int>(TText::Count); ++i) {
    const std::string english = Text(static_cast<TText>(i));
    std::string piece;
    for (size_t k = 0; k <= english.size(); ++k) {
      const bool end = k == english.size() || english[k] == '\r' || english[k] == '\n' ||
                       (english[k] == '%' && k + 1 < english.size() && english[k + 1] >= '1' && english[k + 1] <= '9');
      if (!end) {
        piece += english[k];
        continue;
      }
      const bool shared = std::any_of(chinese.begin(), chinese.end(),
                                      [&](const std::string& c) { return c.find(piece) != std::string::npos; });
      if (piece.size() >= 8 && !shared) pieces.push_back(piece);
      piece.clear();
      if (k < english.size() && english[k] == '%') ++k;
    }
  }
  snapsalvager::SetLanguage(TLanguage::Chinese);
  return pieces;
}

TEST_F(RecoverCommandTest, EachRunSpeaksOneLanguageChosenByTheLocaleOrTheOverride) {
  const std::vector<std::string> englishOnly = EnglishOnlyPieces();
  ASSERT_GT(englishOnly.size(), 20u);
  snapsalvager::SetLanguage(TLanguage::English);
  const std::string englishScanning = Text(TText::ScanInProgress);
  snapsalvager::SetLanguage(TLanguage::Chinese);
  const struct {
    const char* Lang;  // LANG; nullptr leaves it unset
    const char* Override;  // SNAPSALVAGER_LANG
    std::vector<std::string> Before, After;  // --lang before and after the command
    TLanguage Expected;
  } cases[] = {
      {"en_US.UTF-8", nullptr, {}, {}, TLanguage::English},
      {"zh_CN.UTF-8", nullptr, {}, {}, TLanguage::Chinese},
      {"C.UTF-8", nullptr, {}, {}, TLanguage::Chinese},
      {nullptr, nullptr, {}, {}, TLanguage::Chinese},
      {"zh_CN.UTF-8", nullptr, {"--lang", "en"}, {}, TLanguage::English},
      {"en_US.UTF-8", nullptr, {}, {"--lang=zh"}, TLanguage::Chinese},
      {"zh_CN.UTF-8", "en", {}, {}, TLanguage::English},
      {"en_US.UTF-8", "en", {}, {"--lang", "zh"}, TLanguage::Chinese},
  };
  std::vector<std::vector<std::string>> firstRows;
  int n = 0;
  for (const auto& c : cases) {
    const std::string label = std::string(c.Lang ? c.Lang : "(unset)") + " " + (c.Override ? c.Override : "");
    std::vector<std::string> args = c.Before;
    for (const std::string& a : {std::string("recover"), card_->Image.string(),
                                 (work_ / ("out" + std::to_string(n++))).string(), std::string("--video"),
                                 std::string("--audio")})
      args.push_back(a);
    args.insert(args.end(), c.After.begin(), c.After.end());
    const TResult run = RunCli(args, work_, -1, [&] {
      for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG", "SNAPSALVAGER_LANG"}) ::unsetenv(name);
      if (c.Lang) ::setenv("LANG", c.Lang, 1);
      if (c.Override) ::setenv("SNAPSALVAGER_LANG", c.Override, 1);
    });
    ASSERT_EQ(run.Status, 0) << label << run.Err;
    // The rows are data, the same in every language.
    if (firstRows.empty()) firstRows = run.Rows;
    EXPECT_EQ(run.Rows, firstRows) << label;
    const std::string all = run.Out + run.Err;
    if (c.Expected == TLanguage::English) {
      EXPECT_FALSE(fixtures::HasCjk(all)) << label << "\n" << all;
      EXPECT_NE(run.Err.find(englishScanning), std::string::npos) << label << run.Err;
    } else {
      for (const std::string& piece : englishOnly)
        EXPECT_EQ(all.find(piece), std::string::npos) << label << ": " << piece << "\n" << all;
      EXPECT_NE(run.Err.find(Text(TText::ScanInProgress)), std::string::npos) << label << run.Err;
    }
  }
  // A --lang naming no language is bad usage, before anything is read.
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"--lang", "fr", "drives"}, {"drives", "--lang"}}) {
    const TResult run = RunCli(args, work_);
    EXPECT_EQ(run.Status, 2);
    EXPECT_EQ(run.Err, Text(TText::LangNeedsName, {"snapsalvager-cli"}));
  }
}

TEST_F(RecoverCommandTest, CameraAndVideoTypeChooseTheTypes) {
  // MOV only: no photos; without the MP4 test nothing switches the QuickTime test off, so
  // the MP4 and 3GP clips (ftyp atoms too) are carved as MOV files.
  const fs::path dest = work_ / "out";
  const TResult run = RunRecover({card_->Image.string(), dest.string(), "--no-photo", "--video=mov",
                                  "--camera", "nikon digital camera"}, work_);
  ASSERT_EQ(run.Status, 0) << run.Err;
  EXPECT_NE(run.Err.find("要检测的文件类型：.MOV\n"), std::string::npos) << run.Err;
  std::vector<const fixtures::MediaFile*> atoms;
  for (auto& f : card_->Files) {
    if (f.Ext == "MOV" || f.Ext == "MP4" || f.Ext == "3GP") atoms.push_back(&f);
  }
  ASSERT_EQ(run.Rows.size(), atoms.size()) << run.Out;
  for (size_t i = 0; i < atoms.size(); ++i) {
    EXPECT_EQ(run.Rows[i][1], "File000" + std::to_string(i + 1) + ".MOV");
    const std::string original = ReadAll(atoms[i]->Original);
    EXPECT_EQ(ReadAll(dest / run.Rows[i][1]).substr(0, original.size()), original) << atoms[i]->Name;
  }
}

TEST_F(RecoverCommandTest, CardWithoutFilesExitsWithOne) {
  const fs::path image = work_ / "blank.img";
  std::ofstream(image, std::ios::binary).close();
  fs::resize_file(image, 4 << 20);
  const TResult run = RunRecover({image.string(), (work_ / "out").string()}, work_);
  EXPECT_EQ(run.Status, 1);
  EXPECT_NE(run.Err.find(Text(TText::NothingFound)), std::string::npos) << run.Err;
}

TEST_F(RecoverCommandTest, UnmeasurableCapacityNeedsTheSectorsOption) {
  // 1000 sectors is below what a card can be: the wizard would ask for the capacity.
  const fs::path image = work_ / "tiny.img";
  std::string bytes(1000 * 512, '\0');
  const std::string photo = ReadAll(card_->Files[0].Original);
  bytes.replace(512 * 10, photo.size(), photo);
  std::ofstream(image, std::ios::binary) << bytes;
  TResult run = RunRecover({image.string(), (work_ / "out").string()}, work_);
  EXPECT_EQ(run.Status, 4);
  EXPECT_NE(run.Err.find(Text(TText::UnknownCapacity)), std::string::npos) << run.Err;

  run = RunRecover({image.string(), (work_ / "out").string(), "--sectors", "1000"}, work_);
  ASSERT_EQ(run.Status, 0) << run.Err;
  ASSERT_EQ(run.Rows.size(), 1u);
  EXPECT_EQ(run.Rows[0][2], std::to_string(990 * 512));
  EXPECT_EQ(ReadAll(work_ / "out" / "File0001.JPG").substr(0, photo.size()), photo);
}

TEST_F(RecoverCommandTest, DriveThatLooksLikeAHardDiskIsAQuestion) {
  const fs::path image = work_ / "huge.img";
  std::ofstream(image, std::ios::binary).close();
  fs::resize_file(image, uint64_t{170} << 30);  // sparse: 170 GiB is no camera card
  const TResult run = RunRecover({image.string(), (work_ / "out").string()}, work_);
  EXPECT_EQ(run.Status, 4);
  EXPECT_NE(run.Err.find(": 您选择好要扫描的硬盘驱动器 (大小: 170.0 GB)"), std::string::npos) << run.Err;
  EXPECT_TRUE(run.Rows.empty());
}

}  // namespace
