// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// snapsalvager-cli speaks one language per run: every path of the command (recover, resume,
// restore, the refusals, Ctrl-C) under a Chinese and an English locale, and with --lang
// against the locale, shows no line of the other language's own texts.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "fixtures/CardImage.h"
#include "fixtures/Languages.h"
#include "fixtures/RunCommand.h"
#include "session/ScanJournal.h"
#include "session/ScanOptions.h"
#include "session/Texts.h"
#include "tempfile/TempFileFormat.h"

namespace {

namespace fs = std::filesystem;
using snapsalvager::SetLanguage;
using snapsalvager::Text;
using snapsalvager::TLanguage;
using snapsalvager::TText;

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::vector<std::string> TableOf(TLanguage language) {
  SetLanguage(language);
  std::vector<std::string> texts;
  for (int i = 0; i < static_cast<int>(TText::Count); ++i) texts.push_back(Text(static_cast<TText>(i)));
  SetLanguage(TLanguage::Chinese);
  return texts;
}

// The literal pieces (between values and line breaks, 6 bytes or more) of one table's texts
// that no text of the other table holds: a run of the other language shows none of them.
std::vector<std::string> OwnPieces(const std::vector<std::string>& own, const std::vector<std::string>& other) {
  std::vector<std::string> pieces;
  for (const std::string& text : own) {
    std::string piece;
    for (size_t k = 0; k <= text.size(); ++k) {
      const bool end = k == text.size() || text[k] == '\r' || text[k] == '\n' ||
                       (text[k] == '%' && k + 1 < text.size() && text[k + 1] >= '1' && text[k + 1] <= '9');
      if (!end) {
        piece += text[k];
        continue;
      }
      bool shared = false;
      for (const std::string& o : other) shared = shared || o.find(piece) != std::string::npos;
      if (piece.size() >= 6 && !shared) pieces.push_back(piece);
      piece.clear();
      if (k < text.size() && text[k] == '%') ++k;
    }
  }
  return pieces;
}

// The longest literal piece of a text (between its values and line breaks): what shows that
// the path ran.
std::string Lead(TText id) {
  const std::string text = Text(id);
  std::string longest, piece;
  for (size_t k = 0; k <= text.size(); ++k) {
    const bool end = k == text.size() || text[k] == '\r' || text[k] == '\n' ||
                     (text[k] == '%' && k + 1 < text.size() && text[k + 1] >= '1' && text[k + 1] <= '9');
    if (!end) {
      piece += text[k];
      continue;
    }
    if (piece.size() > longest.size()) longest = piece;
    piece.clear();
    if (k < text.size() && text[k] == '%') ++k;
  }
  return longest;
}

// The English words of a line without Chinese: what is left when the paths, file names,
// options and the command's name are taken out.
std::string EnglishWordsOf(const std::string& line) {
  std::istringstream tokens(line);
  std::string words;
  for (std::string token; tokens >> token;) {
    while (!token.empty() && std::string(".,:;)'\"").find(token.back()) != std::string::npos) token.pop_back();
    if (token.empty() || token[0] == '-' || token.find_first_of("/._") != std::string::npos ||
        token == "snapsalvager-cli")
      continue;
    static const std::regex word("[A-Za-z]{2,}");
    if (std::regex_search(token, word)) words += token + " ";
  }
  return words;
}

struct TPath {
  std::string Name;
  std::vector<std::string> Args;  // after the program; "{card}", "{big}", "{w}" are replaced
  int Status;
  std::vector<TText> Said;  // shown (their leads), in the run's language
  int InterruptAfterMs = -1;
  const char* KillAfter = nullptr;  // sectors, for a scan killed as a crash would
};

// A small card with three photos and a clip (the clip's type needs post-processing).
class OneLanguageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "one-language-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    work_ = pattern;
    snapsalvager::fixtures::CardImage card(4096);
    card.noise().jpegAt(10).jpegAt(300).header(600, "MOV").jpegAt(1500);
    card.writeTo(work_ / "card.img");
    // A large sparse card, one photo near its start: a scan long enough for Ctrl-C.
    snapsalvager::fixtures::CardImage start(2048);
    start.noise().jpegAt(100);
    start.writeTo(work_ / "big.img");
    fs::resize_file(work_ / "big.img", uint64_t{16} << 30);
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(work_, ec);
  }

  fixtures::CommandRun Run(const std::vector<std::string>& args, const fs::path& folder, const char* locale,
                           int interruptAfterMs = -1, const char* killAfter = nullptr) {
    std::vector<std::string> all = {SNAPSALVAGER_CLI};
    all.insert(all.end(), args.begin(), args.end());
    return fixtures::RunCommand(all, folder, interruptAfterMs, [locale, killAfter] {
      for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG", "LANGUAGE", "SNAPSALVAGER_LANG"}) ::unsetenv(name);
      ::setenv("LANG", locale, 1);
      if (killAfter) ::setenv("SNAPSALVAGER_TEST_KILL_AFTER", killAfter, 1);
    });
  }

  fs::path work_;
};

TEST_F(OneLanguageTest, EveryPathOfTheCommandSpeaksTheLanguageOfItsRun) {
  const std::vector<std::string> chinese = TableOf(TLanguage::Chinese), english = TableOf(TLanguage::English);
  const std::vector<std::string> chineseOnly = OwnPieces(chinese, english);
  const std::vector<std::string> englishOnly = OwnPieces(english, chinese);
  ASSERT_GT(chineseOnly.size(), 100u);
  ASSERT_GT(englishOnly.size(), 100u);
  std::string chineseTexts;
  for (const std::string& text : chinese) chineseTexts += text + "\n";
  std::set<std::string> cameras;
  for (const auto& camera : snapsalvager::CameraTable()) cameras.insert("  " + camera.Name);
  // Three English words in a row: English prose, unless a Chinese text holds it (the names
  // and the window's few English texts).
  const std::regex prose("[A-Za-z]{2,} [A-Za-z]{2,} [A-Za-z]{2,}");
  // The C library's reasons, where this machine has them in Chinese.
  const bool chineseReasons = fixtures::SystemMessage(ENOENT, true) != fixtures::SystemMessage(ENOENT, false);

  const std::vector<TPath> paths = {
      {"recover", {"recover", "{card}", "{w}/saved", "--video"}, 0,
       {TText::ScanInProgress, TText::FoundCount, TText::FilesSaved, TText::PostProcessing}},
      {"scan only", {"recover", "{card}", "{w}/kept", "--video", "--scan-only"}, 0, {TText::ScanOnlyKept}},
      {"restore", {"restore", "{w}/kept/TmpFiles", "{w}/kept/TmpFiles/AboutThisFolder.txt", "{w}/saved"}, 1,
       {TText::NameTakenSavedAs, TText::NotRestored, TText::FilesRestored}},
      {"killed", {"recover", "{card}", "{w}/killed", "--video", "--scan-only"}, 137, {}, -1, "1000"},
      {"resume", {"recover", "{card}", "{w}/killed", "--video", "--scan-only", "--resume"}, 0,
       {TText::ResumingScan}},
      {"killed again", {"recover", "{card}", "{w}/again", "--video", "--scan-only"}, 137, {}, -1, "1000"},
      {"not resumed", {"recover", "{card}", "{w}/again", "--video", "--scan-only"}, 0,
       {TText::JournalNotResumed, TText::EarlierTempFilesKept, TText::RestoreLater}},
      {"nothing to resume", {"recover", "{card}", "{w}/fresh", "--resume"}, 0, {TText::NoScanToResume}},
      {"Ctrl-C", {"recover", "{big}", "{w}/stopped", "--yes"}, 130,
       {TText::StoppingScan, TText::UserStopped, TText::FilesSaved}, 300},
      {"no command", {}, 2, {TText::CliUsage}},
      {"unknown command", {"frobnicate"}, 2, {TText::CliUnknownCommand}},
      {"help", {"--help"}, 0, {TText::CliUsage}},
      {"recover help", {"recover", "--help"}, 0, {TText::RecoverUsage}},
      {"restore help", {"restore", "--help"}, 0, {TText::RestoreUsage}},
      {"drives help", {"drives", "--help"}, 0, {TText::DrivesUsage}},
      {"exif help", {"exif", "--help"}, 0, {TText::ExifUsage}},
      {"unknown option", {"recover", "{card}", "{w}/x", "--frobnicate"}, 2,
       {TText::RecoverUsageLine, TText::RecoverSeeHelp}},
      {"video type", {"recover", "{card}", "{w}/x", "--video=XYZ"}, 2, {TText::RecoverUsageLine}},
      {"flag with a value", {"recover", "{card}", "{w}/x", "--audio=1"}, 2, {TText::RecoverUsageLine}},
      {"no dest", {"recover", "{card}"}, 2, {TText::RecoverUsageLine}},
      {"camera", {"recover", "{card}", "{w}/x", "--camera", "Polaroid"}, 2, {TText::NoCamera, TText::CameraChoices}},
      {"no kinds", {"recover", "{card}", "{w}/x", "--no-photo"}, 2, {TText::NoKinds}},
      {"no source", {"recover", "{w}/missing.img", "{w}/x"}, 2, {TText::CannotFindSource}},
      {"dest under a file", {"recover", "{card}", "{w}/file/sub"}, 2, {TText::CannotCreateDest, TText::SystemReason}},
      {"restore alone", {"restore", "{w}/x"}, 2, {TText::RestoreNeedsFiles}},
      {"restore option", {"restore", "--frobnicate", "{w}/x"}, 2, {TText::RestoreUnknownOption}},
      {"drives argument", {"drives", "--frobnicate"}, 2, {TText::DrivesUnknownArgument}},
      {"exif option", {"exif", "--frobnicate"}, 2, {TText::ExifUnknownOption}},
      {"bad --lang", {"--lang", "fr", "drives"}, 2, {TText::LangNeedsName}},
  };
  const struct {
    const char* Locale;
    std::vector<std::string> Lang;  // --lang, against the locale
    TLanguage Expected;
  } runs[] = {
      {"zh_CN.UTF-8", {}, TLanguage::Chinese},
      {"en_US.UTF-8", {}, TLanguage::English},
      {"en_US.UTF-8", {"--lang", "zh"}, TLanguage::Chinese},
      {"zh_CN.UTF-8", {"--lang=en"}, TLanguage::English},
  };
  int n = 0;
  for (const auto& run : runs) {
    const fs::path w = work_ / ("run" + std::to_string(n++));
    fs::create_directories(w);
    std::ofstream(w / "file").close();
    for (const TPath& path : paths) {
      std::vector<std::string> args = path.Args;
      for (std::string& arg : args) {
        for (const auto& [key, value] : {std::pair<std::string, std::string>{"{card}", (work_ / "card.img").string()},
                                         {"{big}", (work_ / "big.img").string()},
                                         {"{w}", w.string()}}) {
          if (arg.rfind(key, 0) == 0) arg = value + arg.substr(key.size());
        }
      }
      // A bad --lang chooses nothing: the locale speaks.
      if (path.Name != "bad --lang") args.insert(args.begin(), run.Lang.begin(), run.Lang.end());
      const std::string label = std::string(run.Locale) + " " + (run.Lang.empty() ? "" : run.Lang[0]) + " " + path.Name;
      const fixtures::CommandRun result = Run(args, w, run.Locale, path.InterruptAfterMs, path.KillAfter);
      EXPECT_EQ(result.Status, path.Status) << label << "\n" << result.Err;
      const TLanguage shown = path.Name == "bad --lang" ? (std::string(run.Locale).rfind("en", 0) == 0 ? TLanguage::English
                                                                                                     : TLanguage::Chinese)
                                                       : run.Expected;
      SetLanguage(shown);
      for (const TText id : path.Said)
        EXPECT_NE((result.Out + result.Err).find(Lead(id)), std::string::npos) << label << ": " << Lead(id) << "\n" << result.Err;
      const std::string reason = fixtures::SystemMessage(path.Name == "no source" ? ENOENT : ENOTDIR, shown == TLanguage::Chinese);
      if (path.Name == "no source" || path.Name == "dest under a file") {
        EXPECT_NE(result.Err.find(reason), std::string::npos) << label << ": " << reason << "\n" << result.Err;
      }
      SetLanguage(TLanguage::Chinese);

      const std::string all = result.Out + result.Err;
      if (shown == TLanguage::English) {
        EXPECT_FALSE(fixtures::HasCjk(all)) << label << "\n" << all;
        continue;
      }
      for (const std::string& piece : englishOnly)
        EXPECT_EQ(all.find(piece), std::string::npos) << label << ": " << piece << "\n" << all;
      if (chineseReasons) {
        for (const int error : {ENOENT, ENOTDIR})
          EXPECT_EQ(all.find(fixtures::SystemMessage(error, false)), std::string::npos) << label << "\n" << all;
      }
      std::istringstream lines(result.Err);
      for (std::string line; std::getline(lines, line);) {
        if (cameras.count(line) || chineseTexts.find(line) != std::string::npos) continue;
        std::smatch words;
        if (std::regex_search(line, words, prose)) {
          EXPECT_NE(chineseTexts.find(words.str()), std::string::npos) << label << ": " << line;
        } else if (!fixtures::HasCjk(line)) {
          EXPECT_EQ(EnglishWordsOf(line), "") << label << ": " << line;
        }
      }
    }
    // The temporary folder's note is in the run's language too.
    const std::string note = ReadAll(w / "saved/TmpFiles" / snapsalvager::kFolderNoteName);
    EXPECT_FALSE(note.empty());
    EXPECT_EQ(fixtures::HasCjk(note), run.Expected == TLanguage::Chinese) << note;
  }
}

// The resume question and the kept-files message count the same interrupted scan alike: the
// file the scan was carving when it was killed is one of the files it found.
TEST_F(OneLanguageTest, ResumeCountsTheFileOpenAtTheInterruptionAsTheKeptFilesDo) {
  const std::vector<std::string> args = {"recover", (work_ / "card.img").string(), (work_ / "out").string(), "--video",
                                         "--scan-only"};
  // Killed at sector 1000: two photos recorded, the clip from sector 600 open.
  ASSERT_EQ(Run(args, work_, "zh_CN.UTF-8", -1, "1000").Status, 137);
  const std::optional<snapsalvager::TScanJournal> journal = snapsalvager::ReadScanJournal(work_ / "out/TmpFiles");
  ASSERT_TRUE(journal);
  ASSERT_TRUE(journal->Point.FileOpen);
  EXPECT_EQ(journal->Rows.size(), 2u);
  EXPECT_EQ(journal->FoundFileCount(), 3u);
  const std::string done = std::to_string(journal->Point.Done), total = std::to_string(journal->Point.Total);

  fs::copy(work_ / "out", work_ / "again", fs::copy_options::recursive);
  std::vector<std::string> again = args;
  again[2] = (work_ / "again").string();
  const fixtures::CommandRun anew = Run(again, work_, "zh_CN.UTF-8");
  EXPECT_EQ(anew.Status, 0) << anew.Err;
  const std::string kept = Text(TText::EarlierTempFilesKept, {"3", "\x01"});
  EXPECT_NE(anew.Err.find(kept.substr(0, kept.find('\x01'))), std::string::npos) << anew.Err;

  std::vector<std::string> resume = args;
  resume.push_back("--resume");
  const fixtures::CommandRun resumed = Run(resume, work_, "zh_CN.UTF-8");
  EXPECT_EQ(resumed.Status, 0) << resumed.Err;
  EXPECT_NE(resumed.Err.find(Text(TText::ResumingScan, {done, total, "3"})), std::string::npos) << resumed.Err;
}

}  // namespace
