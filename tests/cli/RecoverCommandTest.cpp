// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// snapsalvager-cli recover, run as a user runs it, on FAT32 card images with real media.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <linux/capability.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <functional>
#include <fstream>
#include <iterator>
#include <map>
#include <algorithm>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "session/Texts.h"
#include "fixtures/Jpegs.h"
#include "fixtures/Languages.h"
#include "fixtures/LoopDisk.h"
#include "carving/Signatures.h"
#include "fixtures/MediaCard.h"
#include "fixtures/MediaSamples.h"
#include "fixtures/RunCommand.h"
#include "session/ScanJournal.h"
#include "session/ScanThread.h"
#include "tempfile/TempFileFormat.h"

namespace {

namespace fs = std::filesystem;
using snapsalvager::Text;
using snapsalvager::TLanguage;
using snapsalvager::TText;
using snapsalvager::JournalPresent;
using snapsalvager::ReadScanJournal;
using snapsalvager::TScanJournal;

// The suites pin the Chinese texts: their runs speak Chinese whatever the developer's locale.
[[maybe_unused]] const bool kChineseRuns = ::setenv("SNAPSALVAGER_LANG", "zh", 1) == 0;

// A text as the command shows a message: line breaks without their "\r".
std::string Shown(std::string text) {
  std::string line;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\r' || i + 1 >= text.size() || text[i + 1] != '\n') line += text[i];
  }
  return line;
}

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

struct TResult {
  int Status = -1;
  bool Exited = false;  // ended by itself, not by a signal
  std::string Out, Err;
  std::vector<std::vector<std::string>> Rows;  // stdout split into tab-separated fields
};

// Runs snapsalvager-cli with args (the command first); sends SIGINT after interruptAfterMs
// when set; inChild runs in the child just before exec (limits, another user, stdout).
TResult RunCli(const std::vector<std::string>& args, const fs::path& work, int interruptAfterMs = -1,
               const std::function<void()>& inChild = {}, int interrupts = 1) {
  std::vector<std::string> all = {SNAPSALVAGER_CLI};
  all.insert(all.end(), args.begin(), args.end());
  const fixtures::CommandRun run = fixtures::RunCommand(all, work, interruptAfterMs, inChild, interrupts);
  TResult result;
  result.Status = run.Status;
  result.Exited = run.Exited;
  result.Out = run.Out;
  result.Err = run.Err;
  std::istringstream lines(result.Out);
  for (std::string line; std::getline(lines, line);) {
    std::vector<std::string> fields;
    std::istringstream cells(line);
    for (std::string cell; std::getline(cells, cell, '\t');) fields.push_back(cell);
    result.Rows.push_back(fields);
  }
  return result;
}

TResult RunRecover(std::vector<std::string> args, const fs::path& work, int interruptAfterMs = -1,
                   const std::function<void()>& inChild = {}, int interrupts = 1) {
  args.insert(args.begin(), "recover");
  return RunCli(args, work, interruptAfterMs, inChild, interrupts);
}

fs::path MakeTempDir(const char* name) {
  std::string pattern = (fs::temp_directory_path() / (std::string(name) + "-XXXXXX")).string();
  if (::mkdtemp(pattern.data()) == nullptr) return {};
  return pattern;
}

std::vector<std::string> RecoveredNames(const fs::path& dest) {
  std::vector<std::string> names;
  for (auto& entry : fs::directory_iterator(dest)) {
    if (entry.is_regular_file()) names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

// A suite over one media card, made once per test program and removed at its end; each test
// gets a fresh work folder. TCard names the card: its tools, options and folder names.
template <class TCard>
class TMediaCardTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!TCard::Available()) return;
    cardDir_ = new fs::path(MakeTempDir(TCard::kCardFolder));
    card_ = new fixtures::MediaCard(fixtures::MakeMediaCard(*cardDir_, TCard::Options()));
  }
  static void TearDownTestSuite() {
    if (cardDir_) fs::remove_all(*cardDir_);
    delete card_;
    delete cardDir_;
    card_ = nullptr;
    cardDir_ = nullptr;
  }
  void SetUp() override {
    if (!card_) GTEST_SKIP() << TCard::kMissing;
    work_ = MakeTempDir(TCard::kRunFolder);
  }
  void TearDown() override {
    std::error_code ec;
    if (!work_.empty()) fs::remove_all(work_, ec);
  }

  static inline fixtures::MediaCard* card_ = nullptr;
  static inline fs::path* cardDir_ = nullptr;
  fs::path work_;
};

// The demo card: photos, clips and audio, some of them deleted.
struct TDemoCard {
  static bool Available() { return fixtures::MediaToolsAvailable(); }
  static fixtures::MediaCardOptions Options() { return {}; }
  static constexpr const char* kCardFolder = "recover-card";
  static constexpr const char* kRunFolder = "recover-run";
  static constexpr const char* kMissing = "mkfs.fat, mtools, exiftool or ffmpeg missing";
};

class RecoverCommandTest : public TMediaCardTest<TDemoCard> {};

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

class RecoverOnSmallDiskTest : public RecoverCommandTest {
 protected:
  void SetUp() override {
    RecoverCommandTest::SetUp();
    if (IsSkipped()) return;
    small_ = work_ / "small";
    fs::create_directories(small_);
    if (::mount("tmpfs", small_.c_str(), "tmpfs", 0, "size=1m") != 0) {
      GTEST_SKIP() << "cannot mount a small tmpfs here (needs root)";
    }
    mounted_ = true;
  }
  void TearDown() override {
    if (mounted_) ::umount2(small_.c_str(), MNT_DETACH);
    RecoverCommandTest::TearDown();
  }
  fs::path small_;
  bool mounted_ = false;
};

TEST_F(RecoverOnSmallDiskTest, TooLittleFreeSpaceIsAQuestion) {
  const TResult run = RunRecover({card_->Image.string(), (small_ / "out").string()}, work_);
  EXPECT_EQ(run.Status, 4);
  EXPECT_NE(run.Err.find("记忆卡存储大小: 40 MB (  0.0 GB)"), std::string::npos) << run.Err;
  EXPECT_NE(run.Err.find("建议的可用磁盘空间: 44 MB (  0.0 GB)"), std::string::npos) << run.Err;
}

TEST_F(RecoverOnSmallDiskTest, DiskFullEndsTheScanWithThreeAndSavesWhatWasFound) {
  // The last photo runs to the end of the card (tens of MB): it cannot fit.
  const fs::path dest = small_ / "out";
  const TResult run = RunRecover({card_->Image.string(), dest.string(), "--yes", "--video", "--audio"}, work_);
  EXPECT_EQ(run.Status, 3) << run.Err;
  const std::string ended = Text(TText::ScanEndedOnError, {"Cannot write the temporary file"});
  EXPECT_NE(run.Err.find(ended.substr(0, ended.size() - 1)), std::string::npos)
      << run.Err;
  ASSERT_FALSE(run.Rows.empty());
  ASSERT_LT(run.Rows.size(), card_->Files.size());
  for (size_t i = 0; i < run.Rows.size(); ++i) {
    const std::string original = ReadAll(card_->Files[i].Original);
    EXPECT_EQ(ReadAll(dest / run.Rows[i][1]).substr(0, original.size()), original) << run.Rows[i][1];
  }
}

TEST_F(RecoverCommandTest, CtrlCStopsTheScanAndSavesWhatWasFound) {
  // A large sparse card with one photo near its start: the scan takes seconds.
  const fs::path image = work_ / "sparse.img";
  {
    std::ofstream out(image, std::ios::binary);
    out.seekp(512 * 100);
    out << ReadAll(card_->Files[0].Original);
  }
  fs::resize_file(image, uint64_t{16} << 30);
  const fs::path dest = work_ / "out";
  const TResult run = RunRecover({image.string(), dest.string(), "--yes"}, work_, 300);
  ASSERT_EQ(run.Status, 130) << run.Err;
  EXPECT_TRUE(run.Exited);
  EXPECT_NE(run.Err.find(Text(TText::UserStopped)), std::string::npos) << run.Err;
  ASSERT_EQ(run.Rows.size(), 1u);
  const std::string original = ReadAll(card_->Files[0].Original);
  const std::string saved = ReadAll(dest / "File0001.JPG");
  EXPECT_EQ(saved.substr(0, original.size()), original);
  EXPECT_EQ(run.Err.find("33554432/33554432"), std::string::npos) << run.Err;  // stopped early

  // A second Ctrl-C quits at once and says how to save what was found.
  const fs::path later = work_ / "later";
  const TResult quit = RunRecover({image.string(), later.string(), "--yes"}, work_, 300, {}, 2);
  EXPECT_EQ(quit.Status, 130) << quit.Err;
  EXPECT_TRUE(quit.Exited);
  // On a busy machine the second signal can come after the stop was done and the photo saved:
  // then nothing is left to restore. Otherwise the line says how.
  if (quit.Err.find(Text(TText::FilesSaved, {"1"})) == std::string::npos) {
    EXPECT_NE(quit.Err.find("snapsalvager-cli restore " + (later / "TmpFiles").string()), std::string::npos)
        << quit.Err;
  }
}

// A card that goes away mid-scan (its image cut short, so every read past the cut finds
// nothing and a re-open reads nothing there either): the scan ends within seconds with the
// reason and exit 3, and the photo found before is saved.
TEST_F(RecoverCommandTest, CardThatGoesAwayEndsTheScanAndSavesWhatWasFound) {
  const fs::path image = work_ / "vanishing.img";
  {
    std::ofstream out(image, std::ios::binary);
    out.seekp(512 * 100);
    out << ReadAll(card_->Files[0].Original);
  }
  fs::resize_file(image, uint64_t{16} << 30);
  const fs::path dest = work_ / "out";
  std::thread pull([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    fs::resize_file(image, 1 << 20);
  });
  const auto start = std::chrono::steady_clock::now();
  const TResult run = RunRecover({image.string(), dest.string(), "--yes"}, work_);
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - start);
  pull.join();
  EXPECT_EQ(run.Status, 3) << run.Err;
  EXPECT_LT(seconds.count(), 10) << run.Err;
  EXPECT_NE(run.Err.find(snapsalvager::Text(snapsalvager::TText::CardGone)), std::string::npos) << run.Err;
  const std::string original = ReadAll(card_->Files[0].Original);
  EXPECT_EQ(ReadAll(dest / "File0001.JPG").substr(0, original.size()), original);
}

// A card of photos at the given sectors (the rest zeros), in dir/name.
fs::path CardWithPhotosAt(const fs::path& dir, const std::vector<std::pair<uint32_t, std::string>>& photos,
                          uint64_t bytes) {
  const fs::path image = dir / "photos.img";
  {
    std::ofstream out(image, std::ios::binary);
    for (const auto& [sector, photo] : photos) {
      out.seekp(static_cast<std::streamoff>(sector) * 512);
      out << photo;
    }
  }
  fs::resize_file(image, bytes);
  return image;
}

std::vector<std::string> PhotoBytes(const fixtures::MediaCard& card) {
  std::vector<std::string> photos;
  for (const auto& f : card.Files) {
    if (f.Ext == "JPG") photos.push_back(ReadAll(f.Original));
  }
  return photos;
}

TEST_F(RecoverCommandTest, FileSizeLimitCutsOnlyTheFileTooLargeAndTheScanGoesOn) {
  // A 3 MiB run after the first photo, then a photo, then 4 MiB to the card's end, written
  // where no file may grow past 1 MiB (as FAT32 stops at 4 GiB).
  const auto photos = PhotoBytes(*card_);
  ASSERT_GE(photos.size(), 3u);
  const fs::path image = CardWithPhotosAt(work_, {{100, photos[0]}, {6244, photos[1]}, {8000, photos[2]}}, 8 << 20);
  const uint64_t before = fixtures::HashFile(image);
  const fs::path dest = work_ / "out";
  const TResult run = RunRecover({image.string(), dest.string()}, work_, -1, [] {
    ::signal(SIGXFSZ, SIG_DFL);  // the command itself must not die of it
    const struct rlimit limit{1 << 20, 1 << 20};
    ::setrlimit(RLIMIT_FSIZE, &limit);
  });
  ASSERT_EQ(run.Status, 0) << run.Err;
  ASSERT_EQ(run.Rows.size(), 3u) << run.Out;
  const std::string cut = Text(TText::CutFileNote, {"1048576"});
  const struct {
    size_t Photo;
    uint64_t Size;
    bool Cut;
  } expected[] = {{0, 1 << 20, true}, {1, (8000 - 6244) * 512, false}, {2, 1 << 20, true}};
  for (size_t i = 0; i < 3; ++i) {
    const auto& row = run.Rows[i];
    EXPECT_EQ(row[2], std::to_string(expected[i].Size)) << row[1];
    EXPECT_EQ(row[3].find(cut) != std::string::npos, expected[i].Cut) << row[3];
    const std::string saved = ReadAll(dest / row[1]);
    EXPECT_EQ(saved.size(), expected[i].Size) << row[1];
    EXPECT_EQ(saved.substr(0, photos[expected[i].Photo].size()), photos[expected[i].Photo]) << row[1];
  }
  EXPECT_EQ(fixtures::HashFile(image), before);
}

TEST_F(RecoverCommandTest, ClosedStdoutEndsTheRowsNotTheScanOrTheSave) {
  const fs::path dest = work_ / "out";
  const TResult run = RunRecover({card_->Image.string(), dest.string()}, work_, -1, [] {
    int ends[2];
    if (::pipe(ends) != 0) ::_exit(120);
    ::close(ends[0]);  // nobody reads: the first row meets a broken pipe
    ::dup2(ends[1], 1);
    ::signal(SIGPIPE, SIG_DFL);
  });
  ASSERT_EQ(run.Status, 0) << run.Err;
  EXPECT_EQ(RecoveredNames(dest).size(), PhotoBytes(*card_).size());
  EXPECT_NE(run.Err.find(Text(TText::SavedIn)), std::string::npos) << run.Err;
}

TEST_F(RecoverCommandTest, CamerasAsUsersTypeThemAndVideoTypeAsTheNextWord) {
  const fs::path blank = work_ / "blank.img";
  std::ofstream(blank, std::ios::binary).close();
  fs::resize_file(blank, 4 << 20);
  const struct {
    std::vector<std::string> Options;
    int Status;
    std::string Err;  // a line the command must print
  } cases[] = {
      {{"--camera", "canon"}, 1, "要检测的文件类型：.JPG/.CRW/.CR2\n"},
      {{"--camera", "Sony", "--video", "MOV"}, 1, "要检测的文件类型：.JPG/.MOV/.SRF\n"},
      {{"--video", "mov", "--no-photo", "--camera=nikon digital camera"}, 1, "要检测的文件类型：.MOV\n"},
      {{"--camera", "generic"}, 2, "  Generic Phone Camera\n"},
      {{"--camera", "Polaroid"}, 2, "  Sony Digital Camera\n"},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args = {blank.string(), (work_ / "out").string()};
    args.insert(args.end(), c.Options.begin(), c.Options.end());
    const TResult run = RunRecover(args, work_);
    EXPECT_EQ(run.Status, c.Status) << c.Options[1] << "\n" << run.Err;
    EXPECT_NE(run.Err.find(c.Err), std::string::npos) << c.Options[1] << "\n" << run.Err;
  }
}

TEST_F(RecoverCommandTest, RestoreSavesKeptTemporaryFilesAndNeverReplaces) {
  const fs::path dest = work_ / "out";
  ASSERT_EQ(RunRecover({card_->Image.string(), dest.string(), "--scan-only"}, work_).Status, 0);
  const fs::path temp = dest / "TmpFiles";
  const fs::path other = work_ / "restored";
  fs::create_directories(other);
  std::ofstream(other / "File0002.JPG") << "mine";
  const TResult run = RunCli({"restore", (temp / "Temporary_v5_File0001_JPG.~QX").string(),
                              (temp / "Temporary_v5_File0002_JPG.~QX").string(), (temp / "AboutThisFolder.txt").string(),
                              other.string()},
                             work_);
  EXPECT_EQ(run.Status, 1) << run.Err;  // the note is no temporary file
  const auto photos = PhotoBytes(*card_);
  EXPECT_EQ(ReadAll(other / "File0001.JPG").substr(0, photos[0].size()), photos[0]);
  EXPECT_FALSE(fs::exists(temp / "Temporary_v5_File0001_JPG.~QX"));
  // A taken name is never replaced and never blocks the restore.
  EXPECT_EQ(ReadAll(other / "File0002.JPG"), "mine");
  EXPECT_EQ(ReadAll(other / "File0003.JPG").substr(0, photos[1].size()), photos[1]);
  EXPECT_FALSE(fs::exists(temp / "Temporary_v5_File0002_JPG.~QX"));
  EXPECT_NE(run.Err.find("File0002.JPG 已被占用，改存为 File0003.JPG"), std::string::npos) << run.Err;
  EXPECT_NE(run.Err.find(Text(TText::NotRestored, {(temp / "AboutThisFolder.txt").string(),
                                                  Text(TText::NotATemporaryFile, {snapsalvager::TemporaryNameForm()})})),
            std::string::npos)
      << run.Err;
  EXPECT_EQ(RunCli({"restore", (temp / "Temporary_v5_File0003_JPG.~QX").string()}, work_).Status, 2);
}

TEST_F(RecoverCommandTest, RefusalsNameTheRefusedValueAndTheSystemsReason) {
  const std::string image = card_->Image.string();
  fs::create_directories(work_ / "taken");
  std::ofstream(work_ / "file").close();
  std::ofstream(work_ / "taken" / "TmpFiles").close();  // a file where the folder must go
  const struct {
    std::vector<std::string> Args;
    std::string Said;
  } cases[] = {
      {{"--video", "BOGUS", image, (work_ / "a").string()}, Text(TText::VideoTypeAfterVideo, {"BOGUS"})},
      {{image, (work_ / "b").string(), "--video", "BOGUS"}, Text(TText::VideoTypeAfterVideo, {"BOGUS"})},
      {{image, (work_ / "file" / "sub").string()},
       Shown(Text(TText::CannotCreateDest, {(work_ / "file" / "sub").string() + "/"}) +
             Text(TText::SystemReason, {fixtures::SystemMessage(ENOTDIR, true)}))},
      {{image, (work_ / "taken").string()},
       Shown(Text(TText::CannotWriteTemp, {(work_ / "taken").string() + "/"}) +
             Text(TText::SystemReason, {fixtures::SystemMessage(EEXIST, true)}))},
  };
  for (const auto& c : cases) {
    const TResult run = RunRecover(c.Args, work_);
    EXPECT_EQ(run.Status, 2) << run.Err;
    EXPECT_NE(run.Err.find(c.Said), std::string::npos) << run.Err;
  }
}

// Root whose container or security policy withholds the device is not told to become root.
TEST_F(RecoverCommandTest, RootRefusedByItsSandboxIsToldSo) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root";
  const fs::path image = work_ / "withheld.img";
  std::ofstream(image, std::ios::binary).close();
  fs::resize_file(image, 4 << 20);
  fs::permissions(image, fs::perms::none);
  const TResult run = RunRecover({image.string(), (work_ / "out").string()}, work_, -1, [] {
    // Without the rights to pass file permissions (gone from the bounding set, so the
    // command does not get them back), root meets EACCES as a sandbox gives it.
    for (const int cap : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH})
      if (::prctl(PR_CAPBSET_DROP, cap, 0, 0, 0) != 0) ::_exit(121);
  });
  if (run.Status == 121) GTEST_SKIP() << "capabilities cannot be dropped here";
  EXPECT_EQ(run.Status, 5) << run.Err;
  EXPECT_NE(run.Err.find(Shown(Text(TText::CannotOpenCardAsRoot))), std::string::npos) << run.Err;
  EXPECT_EQ(run.Err.find("请以 root 身份运行"), std::string::npos) << run.Err;
  EXPECT_FALSE(fs::exists(work_ / "out"));
}

// Exit statuses by cause; the questions' 4 is shown by the question tests above.
TEST_F(RecoverCommandTest, CardThatCannotBeOpenedIsSaidSoFirstWithFive) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to run the command as another user";
  const fs::path image = work_ / "locked.img";
  std::ofstream(image, std::ios::binary).close();
  fs::resize_file(image, 4 << 20);
  fs::permissions(image, fs::perms::owner_read | fs::perms::owner_write);
  fs::permissions(work_, fs::perms::all);
  const TResult run = RunRecover({image.string(), (work_ / "out").string(), "--sectors", "81920"}, work_, -1, [] {
    if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(121);
  });
  EXPECT_EQ(run.Status, 5) << run.Err;
  EXPECT_NE(run.Err.find(Text(TText::CannotOpenCard, {image.string(), fixtures::SystemMessage(EACCES, true)})), std::string::npos)
      << run.Err;
  EXPECT_EQ(run.Err.find(Text(TText::ScanInProgress)), std::string::npos) << run.Err;
  EXPECT_FALSE(fs::exists(work_ / "out"));
}

// The guard on real devices: a whole disk scanned into one of its partitions, a partition
// scanned into its sibling.
TEST(RecoverOnLoopDiskTest, DestinationOnTheCardsOwnDiskIsRefusedEvenWithYes) {
  const fs::path work = MakeTempDir("recover-loop");
  {
    fixtures::LoopDisk disk(work);
    if (!disk.Skipped().empty()) {
      fs::remove_all(work);
      GTEST_SKIP() << disk.Skipped();
    }
    const uint64_t before = fixtures::HashFile(disk.Image());
    const struct {
      std::string Source;
      fs::path Dest;
    } cases[] = {{disk.Disk(), disk.MountPoint(1) / "out"}, {disk.Partition(1), disk.MountPoint(2) / "out"}};
    for (const auto& c : cases) {
      TResult run = RunRecover({c.Source, c.Dest.string(), "--yes", "--sectors", "8192"}, work);
      EXPECT_EQ(run.Status, 4) << c.Source << "\n" << run.Err;
      EXPECT_NE(run.Err.find(Shown(Text(TText::SameDrive))), std::string::npos) << run.Err;
      EXPECT_NE(run.Err.find(Text(TText::StoppedAtQuestion, {"--onto-card-drive"})), std::string::npos) << run.Err;
      // The option goes past the question (here to the read-only mount's refusal).
      run = RunRecover({c.Source, c.Dest.string(), "--onto-card-drive"}, work);
      EXPECT_EQ(run.Status, 2) << c.Source << "\n" << run.Err;
      EXPECT_NE(run.Err.find(Shown(Text(TText::SystemReason, {fixtures::SystemMessage(EROFS, true)}))), std::string::npos) << run.Err;
    }
    // restore asks the same question before writing onto a card's drive.
    const fs::path kept = work / "kept";
    fs::create_directories(kept);
    TResult restore = RunCli({"restore", kept.string(), (disk.MountPoint(1) / "out").string()}, work);
    EXPECT_EQ(restore.Status, 4) << restore.Err;
    EXPECT_NE(restore.Err.find("警告: 目标文件夹的驱动器与源驱动器是相同的。"), std::string::npos) << restore.Err;
    restore = RunCli({"restore", kept.string(), (disk.MountPoint(1) / "out").string(), "--onto-card-drive"}, work);
    EXPECT_NE(restore.Status, 4) << restore.Err;
    EXPECT_EQ(RunCli({"restore", kept.string(), (work / "restored").string()}, work).Status, 0);

    // Another disk is not asked about.
    const TResult elsewhere = RunRecover({disk.Partition(1), (work / "out").string()}, work);
    EXPECT_EQ(elsewhere.Status, 1) << elsewhere.Err;
    EXPECT_EQ(elsewhere.Err.find(Shown(Text(TText::SameDrive))), std::string::npos) << elsewhere.Err;

    // Opened by a user who may not read the device: said so, nothing measured or scanned.
    const TResult denied = RunRecover({disk.Partition(1), (work / "out").string(), "--sectors", "8192"}, work, -1, [] {
      if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(121);
    });
    EXPECT_EQ(denied.Status, 5) << denied.Err;
    EXPECT_NE(denied.Err.find(Text(TText::CannotOpenCard, {disk.Partition(1), fixtures::SystemMessage(EACCES, true)})), std::string::npos)
        << denied.Err;
    EXPECT_EQ(denied.Err.find(Text(TText::ScanInProgress)), std::string::npos) << denied.Err;

    // drives lists the partitions with where they are mounted.
    const TResult drives = RunCli({"drives"}, work);
    EXPECT_EQ(drives.Status, 0);
    EXPECT_NE(drives.Out.find(disk.Partition(2)), std::string::npos) << drives.Out;
    EXPECT_NE(drives.Out.find(disk.MountPoint(2).string()), std::string::npos) << drives.Out;
    EXPECT_EQ(fixtures::HashFile(disk.Image()), before);
  }
  fs::remove_all(work);
}

}  // namespace

namespace snapsalvager {
namespace {

// A card of today's camera, phone and recorder formats, each made by the tool that writes it.
// A card of today's formats: raw and HEIF photos, FLAC, MXF and M4A beside one JPEG.
struct TTodaysCard {
  static bool Available() { return fixtures::TodaysToolsAvailable(); }
  static fixtures::MediaCardOptions Options() {
    fixtures::MediaCardOptions options;
    options.Photos = 1;
    options.Videos = false;
    options.Audio = false;
    options.DeleteSome = false;
    options.Todays = true;
    return options;
  }
  static constexpr const char* kCardFolder = "todays-card";
  static constexpr const char* kRunFolder = "todays-run";
  static constexpr const char* kMissing = "mkfs.fat, mtools, exiftool, ffmpeg, heif-enc or sox missing";
};

class TodaysFormatsTest : public TMediaCardTest<TTodaysCard> {};

TEST_F(TodaysFormatsTest, DeepScanNamesEachAndEndsItAtItsLastByte) {
  const fs::path dest = work_ / "out";
  const TResult run = RunRecover({card_->Image.string(), dest.string(), "--video", "--audio", "--deep"}, work_);
  ASSERT_EQ(run.Status, 0) << run.Err;
  for (const char* type : {".CR3/", ".HEIC/", ".ARW/", ".FLAC/", ".MXF", ".M4A/"}) {
    EXPECT_NE(run.Err.find(type), std::string::npos) << type << " not in " << run.Err;
  }
  const auto& files = card_->Files;
  ASSERT_EQ(run.Rows.size(), files.size()) << run.Out;
  for (size_t i = 0; i < files.size(); ++i) {
    const auto& row = run.Rows[i];
    ASSERT_EQ(row.size(), 4u) << run.Out;
    char name[32];
    std::snprintf(name, sizeof name, "File%04zu.%s", i + 1, files[i].Ext.c_str());
    EXPECT_EQ(row[1], name) << files[i].Name;
    EXPECT_EQ(row[3], files[i].Summary) << files[i].Name;
    if (files[i].Ext == "JPG") continue;
    EXPECT_EQ(ReadAll(dest / name), ReadAll(files[i].Original)) << files[i].Name << " not recovered whole";
  }
}

TEST_F(TodaysFormatsTest, PlainScanKeepsTheTableAndItsNames) {
  const TResult run = RunRecover({card_->Image.string(), (work_ / "out").string(), "--video", "--audio"}, work_);
  ASSERT_EQ(run.Status, 0) << run.Err;
  EXPECT_NE(run.Err.find("要检测的文件类型：.JPG/.TIF/.AVI/.MPG/.MOV/.MP4/.MP3/.ASF/.WAV/.3GP/.MTS/.AMR\n"),
            std::string::npos) << run.Err;
  ASSERT_FALSE(run.Rows.empty());
  for (const auto& row : run.Rows) {
    ASSERT_EQ(row.size(), 4u) << run.Out;
    const std::string type = row[1].substr(row[1].find('.') + 1);
    EXPECT_GT(IndexOfFileType(type), 0) << row[1];
    EXPECT_LT(IndexOfFileType(type), kFirstDeepOnlyType) << row[1];
  }
}

std::vector<uint8_t> TexturedExifPhoto(uint32_t salt) {
  fixtures::JpegOptions o;
  o.Width = 640;
  o.Height = 480;
  o.Texture = 40;
  o.Salt = salt;
  std::vector<uint8_t> jpeg = fixtures::EncodeJpeg(o);
  // An empty Exif block first, as a camera starts its photos.
  const uint8_t app1[] = {0xFF, 0xE1, 0x00, 0x08, 'E', 'x', 'i', 'f', 0x00, 0x00};
  jpeg.insert(jpeg.begin() + 2, std::begin(app1), std::end(app1));
  return jpeg;
}

// Four photos among noise: whole, a sector of zeros in the middle, cut by the next photo's
// header, whole. Each is carved on into the noise after it, as the scan carves. Returns the
// image file in work.
fs::path WriteVerdictCard(const fs::path& work) {
  const std::vector<uint8_t> whole = TexturedExifPhoto(1);
  const std::vector<uint8_t> zeroed = fixtures::Damaged(TexturedExifPhoto(2), fixtures::Damage::ZeroSector, 0.5);
  const std::vector<uint8_t> cut = fixtures::Damaged(TexturedExifPhoto(3), fixtures::Damage::Cut, 0.4);
  const std::vector<uint8_t> last = TexturedExifPhoto(4);
  const uint32_t cutSector = 1600;
  const uint32_t afterCut = cutSector + static_cast<uint32_t>((cut.size() + 511) / 512);
  // Noise below 0x80 never starts a header.
  std::string card(8192 * 512, '\0');
  for (size_t i = 0; i < card.size(); ++i) card[i] = static_cast<char>((i * 7 + 3) % 128);
  const auto place = [&card](uint32_t sector, const std::vector<uint8_t>& bytes) {
    std::copy(bytes.begin(), bytes.end(), card.begin() + sector * 512);
  };
  place(100, whole);
  place(800, zeroed);
  place(cutSector, cut);
  place(afterCut, last);
  const fs::path image = work / "card.img";
  std::ofstream(image, std::ios::binary) << card;
  return image;
}

TEST(RecoverVerdictsTest, VerdictColumnAndDamagedFolderOnlyWhenAskedFor) {
  const fs::path work = MakeTempDir("recover-verdicts");
  const fs::path image = WriteVerdictCard(work);
  const TResult plain = RunRecover({image.string(), (work / "plain").string(), "--scan-only"}, work);
  ASSERT_EQ(plain.Status, 0) << plain.Err;
  ASSERT_EQ(plain.Rows.size(), 4u) << plain.Out;
  for (const auto& row : plain.Rows) EXPECT_EQ(row.size(), 4u) << plain.Out;

  const fs::path dest = work / "out";
  const TResult run = RunRecover({image.string(), dest.string(), "--verdicts", "--set-aside-damaged"}, work);
  ASSERT_EQ(run.Status, 0) << run.Err;
  ASSERT_EQ(run.Rows.size(), 4u) << run.Out;
  const std::string damagedWord = Text(TText::VerdictDamaged);
  const char* kNames[] = {"File0001.JPG", "File0002.JPG", "File0003.JPG", "File0004.JPG"};
  const bool kWhole[] = {true, false, false, true};
  for (size_t i = 0; i < 4; ++i) {
    const auto& row = run.Rows[i];
    ASSERT_EQ(row.size(), 5u) << run.Out;
    EXPECT_EQ(std::vector<std::string>(row.begin(), row.begin() + 4), plain.Rows[i]) << run.Out;
    if (kWhole[i]) {
      EXPECT_EQ(row[4], Text(TText::VerdictWhole)) << kNames[i];
      EXPECT_TRUE(fs::exists(dest / kNames[i])) << kNames[i];
    } else {
      EXPECT_EQ(row[4].rfind(damagedWord, 0), 0u) << kNames[i] << ": " << row[4];
      EXPECT_FALSE(fs::exists(dest / kNames[i])) << kNames[i];
      EXPECT_TRUE(fs::exists(dest / "damaged" / kNames[i])) << kNames[i];
    }
  }
  EXPECT_NE(run.Err.find(Text(TText::DamagedSetAside, {"2", (dest / "damaged").string()})), std::string::npos) << run.Err;
  const std::vector<uint8_t> whole = TexturedExifPhoto(1);
  EXPECT_EQ(ReadAll(dest / "File0001.JPG").substr(0, whole.size()), std::string(whole.begin(), whole.end()));
  std::error_code ec;
  fs::remove_all(work, ec);
}

// A decoder that never answers: Ctrl-C ends the checking, the rows say no file was checked,
// and every file is saved in DEST as without the option. The scan of the small card is over
// well before the Ctrl-C.
TEST(RecoverVerdictsTest, CtrlCEndsTheCheckingAndTheFilesAreSavedAsUsual) {
  const fs::path work = MakeTempDir("recover-verdicts");
  const fs::path image = WriteVerdictCard(work);
  const fs::path silent = work / "silent-helper";
  std::ofstream(silent) << "#!/bin/sh\nexec sleep 600\n";
  fs::permissions(silent, fs::perms::owner_all);
  const fs::path dest = work / "out";
  const TResult run = RunRecover({image.string(), dest.string(), "--verdicts", "--set-aside-damaged"}, work, 4000,
                                 [silent] { ::setenv("SNAPSALVAGER_DECODE_HELPER", silent.c_str(), 1); });
  EXPECT_EQ(run.Status, 130) << run.Err;
  EXPECT_NE(run.Err.find(Text(TText::CheckingStopped)), std::string::npos) << run.Err;
  ASSERT_EQ(run.Rows.size(), 4u) << run.Out;
  for (const auto& row : run.Rows) {
    ASSERT_EQ(row.size(), 5u) << run.Out;
    EXPECT_TRUE(row[4] == Text(TText::VerdictNotChecked) || row[4] == Text(TText::VerdictCouldNotCheck)) << row[4];
    EXPECT_TRUE(fs::exists(dest / row[1])) << row[1];
  }
  EXPECT_FALSE(fs::exists(dest / "damaged"));
  std::error_code ec;
  fs::remove_all(work, ec);
}

}  // namespace
}  // namespace snapsalvager
