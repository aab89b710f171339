// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// Restoring heads in place, moving without replacing, and the save pass over found files.
#include "session/SaveFiles.h"
#include "session/Texts.h"
#include "tempfile/TempFileFormat.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>
#include <sys/stat.h>

#include <fstream>
#include <iterator>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace snapsalvager {
namespace {

namespace fs = std::filesystem;

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteAll(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

std::string Pattern(size_t length, char salt = 0) {
  std::string bytes(length, '\0');
  for (size_t i = 0; i < length; ++i) bytes[i] = static_cast<char>(salt + i * 7 + i / 256);
  return bytes;
}

std::string Scrambled(std::string bytes) {
  for (size_t i = 0; i < bytes.size() && i < 512; ++i) bytes[i] = static_cast<char>(bytes[i] ^ 0xD3);
  return bytes;
}

class SaveFilesTest : public ::testing::Test {
 protected:
  void SetUp() override { dir_ = MakeDir(fs::temp_directory_path()); }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  static fs::path MakeDir(const fs::path& parent) {
    std::string pattern = (parent / "savefiles-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) return {};
    return pattern;
  }
  // A temporary file as the scan leaves it, holding original under a scrambled head.
  fs::path TempFile(const std::string& name, const std::string& original) {
    fs::create_directories(dir_ / "TmpFiles");
    fs::path path = dir_ / "TmpFiles" / name;
    WriteAll(path, Scrambled(original));
    return path;
  }
  fs::path dir_;
};

TEST_F(SaveFilesTest, UnscrambleHeadRestoresOnlyTheFirst512Bytes) {
  const std::string original = Pattern(2000);
  const fs::path path = TempFile("a.~QX", original);
  UnscrambleHead(path);
  EXPECT_EQ(ReadAll(path), original);
}

TEST_F(SaveFilesTest, UnscrambleHeadRestoresShortFilesWholeAndLeavesEmptyOnes) {
  for (size_t length : {size_t{1}, size_t{300}, size_t{512}}) {
    const std::string original = Pattern(length, 5);
    const fs::path path = TempFile("short.~QX", original);
    UnscrambleHead(path);
    EXPECT_EQ(ReadAll(path), original) << length;
  }
  const fs::path empty = TempFile("empty.~QX", "");
  UnscrambleHead(empty);
  EXPECT_EQ(fs::file_size(empty), 0u);
  EXPECT_THROW(UnscrambleHead(dir_ / "missing.~QX"), std::runtime_error);
}

TEST_F(SaveFilesTest, MoveNeverReplacesAnExistingFile) {
  WriteAll(dir_ / "from", "new");
  WriteAll(dir_ / "to", "old");
  EXPECT_THROW(MoveWithoutReplacing(dir_ / "from", dir_ / "to"), std::runtime_error);
  EXPECT_EQ(ReadAll(dir_ / "to"), "old");
  EXPECT_EQ(ReadAll(dir_ / "from"), "new");
  MoveWithoutReplacing(dir_ / "from", dir_ / "other");
  EXPECT_EQ(ReadAll(dir_ / "other"), "new");
  EXPECT_FALSE(fs::exists(dir_ / "from"));
}

TEST_F(SaveFilesTest, MoveAcrossFileSystemsCopiesThenRemovesTheSource) {
  const fs::path shm = MakeDir("/dev/shm");
  if (shm.empty()) GTEST_SKIP() << "no /dev/shm";
  struct stat a {}, b {};
  ::stat(shm.c_str(), &a);
  ::stat(dir_.c_str(), &b);
  if (a.st_dev == b.st_dev) {
    fs::remove_all(shm);
    GTEST_SKIP() << "/dev/shm and the temporary folder share a file system";
  }
  const std::string bytes = Pattern(3 << 20);  // more than one copy block
  WriteAll(shm / "clip", bytes);
  WriteAll(dir_ / "taken", "keep");
  EXPECT_THROW(MoveWithoutReplacing(shm / "clip", dir_ / "taken"), std::runtime_error);
  EXPECT_EQ(ReadAll(dir_ / "taken"), "keep");
  EXPECT_TRUE(fs::exists(shm / "clip"));

  MoveWithoutReplacing(shm / "clip", dir_ / "clip");
  EXPECT_EQ(ReadAll(dir_ / "clip"), bytes);
  EXPECT_FALSE(fs::exists(shm / "clip"));
  fs::remove_all(shm);
}

TEST_F(SaveFilesTest, FailedMoveLeavesTheTemporaryFileScrambled) {
  const std::string original = Pattern(4096);
  const fs::path temp = TempFile("Temporary_v5_File0001_JPG.~QX", original);
  const std::string before = ReadAll(temp);
  WriteAll(dir_ / "File0001.JPG", "earlier recovery");
  EXPECT_THROW(RestoreAndMove(temp, dir_ / "File0001.JPG"), std::runtime_error);
  EXPECT_EQ(ReadAll(temp), before);
  EXPECT_EQ(ReadAll(dir_ / "File0001.JPG"), "earlier recovery");

  // A move that fails after the head was restored (the target folder is missing).
  EXPECT_THROW(RestoreAndMove(temp, dir_ / "no-such-folder" / "File0001.JPG"), std::runtime_error);
  EXPECT_EQ(ReadAll(temp), before);
}

TEST_F(SaveFilesTest, SavePassMovesTickedFilesAndDeletesUntickedOnes) {
  TFoundFileList list;
  const std::string jpg = Pattern(1500, 1), mov = Pattern(700, 2), crw = Pattern(512, 3);
  list.Append({"File0001.JPG", "JPG", 1500, TempFile("Temporary_v5_File0001_JPG.~QX", jpg), "x", true});
  list.Append({"File0002.CRW", "CRW", 512, TempFile("Temporary_v5_File0002_CRW.~QX", crw), "N/A", false});
  list.Append({"File0003.MOV", "MOV", 700, TempFile("Temporary_v5_File0003_MOV.~QX", mov), "N/A", true});

  std::vector<std::string> lines;
  const TSaveOutcome outcome = SaveFoundFiles(list, dir_, [&](const TSaveStep& step) {
    EXPECT_EQ(step.Count, 3u);
    lines.push_back((step.Selected ? "+" : "-") + step.FinalPath.string());
  });

  EXPECT_EQ(lines, (std::vector<std::string>{"+" + (dir_ / "File0001.JPG").string(),
                                             "-" + (dir_ / "File0002.CRW").string(),
                                             "+" + (dir_ / "File0003.MOV").string()}));
  EXPECT_EQ(outcome.Saved, 2u);
  EXPECT_EQ(outcome.Bypassed, 1u);
  EXPECT_TRUE(outcome.NotSaved.empty());
  EXPECT_EQ(ReadAll(dir_ / "File0001.JPG"), jpg);
  EXPECT_EQ(ReadAll(dir_ / "File0003.MOV"), mov);
  EXPECT_FALSE(fs::exists(dir_ / "File0002.CRW"));
  EXPECT_TRUE(fs::is_empty(dir_ / "TmpFiles"));
  // The unticked CRW never counts; the first ticked special file does.
  EXPECT_TRUE(outcome.SpecialTypeFound);
  EXPECT_EQ(outcome.SpecialTypeExt, ".MOV");
}

TEST_F(SaveFilesTest, SavePassNamesTheFirstSpecialFileSaved) {
  TFoundFileList list;
  list.Append({"File0001.CRW", "CRW", 10, TempFile("Temporary_v5_File0001_CRW.~QX", "crw-bytes!"), "N/A", true});
  list.Append({"File0002.MOV", "MOV", 10, TempFile("Temporary_v5_File0002_MOV.~QX", "mov-bytes!"), "N/A", true});
  EXPECT_EQ(SaveFoundFiles(list, dir_).SpecialTypeExt, ".CRW");

  TFoundFileList photos;
  photos.Append({"File0003.JPG", "JPG", 3, TempFile("Temporary_v5_File0003_JPG.~QX", "jpg"), "N/A", true});
  EXPECT_FALSE(SaveFoundFiles(photos, dir_).SpecialTypeFound);
}

// A taken name never blocks a save: the file gets the next number past every one in use,
// nothing is replaced, and the outcome says which names were used.
TEST_F(SaveFilesTest, SavePassGivesTakenNamesTheNextFreeNumberAndReportsMissingFiles) {
  TFoundFileList list;
  const std::string jpg = Pattern(900, 4), mov = Pattern(600, 6);
  const fs::path temp = TempFile("Temporary_v5_File0001_JPG.~QX", jpg);
  list.Append({"File0001.JPG", "JPG", 900, temp, "x", true});
  list.Append({"File0002.JPG", "JPG", 900, dir_ / "TmpFiles" / "gone.~QX", "x", true});
  list.Append({"File0003.MOV", "MOV", 600, TempFile("Temporary_v5_File0003_MOV.~QX", mov), "N/A", true});
  for (const char* taken : {"File0001.JPG", "File0003.MOV", "File0011.AVI"}) WriteAll(dir_ / taken, "older file");

  const TSaveOutcome outcome = SaveFoundFiles(list, dir_);
  EXPECT_EQ(outcome.Saved, 2u);
  ASSERT_EQ(outcome.NotSaved.size(), 1u);
  EXPECT_EQ(outcome.NotSaved[0].Name, "File0002.JPG");
  ASSERT_EQ(outcome.Renamed.size(), 2u);
  EXPECT_EQ(outcome.Renamed[0].SavedAs, "File0012.JPG");
  EXPECT_EQ(outcome.Renamed[1].SavedAs, "File0013.MOV");
  EXPECT_EQ(ReadAll(dir_ / "File0012.JPG"), jpg);
  EXPECT_EQ(ReadAll(dir_ / "File0013.MOV"), mov);
  for (const char* taken : {"File0001.JPG", "File0003.MOV", "File0011.AVI"}) EXPECT_EQ(ReadAll(dir_ / taken), "older file");
  EXPECT_EQ(RenamedFilesText(outcome.Renamed),
            "File0001.JPG 已被占用，改存为 File0012.JPG\nFile0003.MOV 已被占用，改存为 File0013.MOV");
}

// A save interrupted after the journal was written finds the file's head in any state:
// scrambled, plain, or half written. The journal makes each one come out right.
TEST_F(SaveFilesTest, InterruptedSaveIsFinishedFromTheHeadJournal) {
  const std::string original = Pattern(3000, 9);
  std::string half = Scrambled(original);
  std::copy(original.begin(), original.begin() + 200, half.begin());
  for (const std::string& head : {Scrambled(original), original, half}) {
    const fs::path temp = TempFile("Temporary_v5_File0007_JPG.~QX", "");
    WriteAll(temp, head);  // as the interrupted save left it
    WriteAll(HeadJournalOf(temp), original.substr(0, 512));
    fs::remove(dir_ / "File0007.JPG");
    RestoreAndMove(temp, dir_ / "File0007.JPG");
    EXPECT_EQ(ReadAll(dir_ / "File0007.JPG"), original);
    EXPECT_FALSE(fs::exists(HeadJournalOf(temp)));
    EXPECT_FALSE(fs::exists(temp));
  }
  // Without a journal (every file of an earlier version) the head is scrambled.
  const fs::path old = TempFile("Temporary_v5_File0008_JPG.~QX", original);
  RestoreAndMove(old, dir_ / "File0008.JPG");
  EXPECT_EQ(ReadAll(dir_ / "File0008.JPG"), original);
}

// A save copied across file systems and killed after the copy was named leaves the file
// saved and its source behind: only a file with exactly its bytes counts as that copy.
TEST_F(SaveFilesTest, InterruptedCopyIsRecognisedOnlyByItsExactBytes) {
  const std::string original = Pattern(3000, 4);
  const fs::path temp = TempFile("Temporary_v5_File0005_JPG.~QX", "");
  WriteAll(temp, original);  // the head already restored, as the save left it
  WriteAll(HeadJournalOf(temp), original.substr(0, 512));
  std::string other = original;
  other[2999] ^= 1;
  WriteAll(dir_ / "File0005.JPG", other);  // the user's own file, one byte apart
  WriteAll(dir_ / "File0031.MOV", original);  // the same bytes, another type
  EXPECT_TRUE(SavedBeforeInterruption(temp, dir_).empty());
  EXPECT_TRUE(fs::exists(temp));
  EXPECT_TRUE(fs::exists(HeadJournalOf(temp)));

  WriteAll(dir_ / "File0031.JPG", original);
  WriteAll(dir_ / ".File0031.JPG.partial", original);
  EXPECT_EQ(SavedBeforeInterruption(temp, dir_), dir_ / "File0031.JPG");
  EXPECT_FALSE(fs::exists(temp));
  EXPECT_FALSE(fs::exists(HeadJournalOf(temp)));
  EXPECT_FALSE(fs::exists(dir_ / ".File0031.JPG.partial"));
  EXPECT_EQ(ReadAll(dir_ / "File0005.JPG"), other);
}

// More files than a batch holds, from two folders that share names: every file saved once
// under a name of its own, none replaced, no journal left.
TEST_F(SaveFilesTest, SaveInBatchesSavesEveryFileOnceUnderItsOwnName) {
  const size_t count = kSaveBatchFiles + 3;
  TFoundFileList list;
  std::vector<std::string> bytes;
  for (size_t i = 0; i < count; ++i) {
    const std::string name = RecoveredFileName(static_cast<uint32_t>(i + 1), "JPG");
    bytes.push_back(Pattern(100 + i * 3, static_cast<char>(i)));
    list.Append({name, "JPG", static_cast<int64_t>(bytes.back().size()),
                 TempFile("Temporary_v5_" + name.substr(0, name.find('.')) + "_JPG.~QX", bytes.back()), "x", true});
  }
  // A second folder whose first file has the name of the first folder's.
  fs::create_directories(dir_ / "TmpFiles" / "Kept");
  const fs::path other = dir_ / "TmpFiles" / "Kept" / "Temporary_v5_File0001_JPG.~QX";
  WriteAll(other, Scrambled("kept earlier"));
  list.Append({"File0001.JPG", "JPG", 12, other, "x", true});

  const TSaveOutcome outcome = SaveFoundFiles(list, dir_);
  EXPECT_EQ(outcome.Saved, count + 1);
  EXPECT_TRUE(outcome.NotSaved.empty());
  for (size_t i = 0; i < count; ++i) EXPECT_EQ(ReadAll(dir_ / list[i].Name), bytes[i]) << i;
  ASSERT_EQ(outcome.Renamed.size(), 1u);
  EXPECT_EQ(ReadAll(dir_ / outcome.Renamed[0].SavedAs), "kept earlier");
  EXPECT_FALSE(fs::exists(SaveJournalOf(dir_ / "TmpFiles")));
  EXPECT_FALSE(fs::exists(SaveJournalOf(dir_ / "TmpFiles" / "Kept")));
}

// The batch journal as a kill leaves it: the numbers little-endian, each file's temporary
// name, final path, size and plain head. Journals written by this version must stay readable.
std::string SaveJournal(const std::vector<std::tuple<std::string, fs::path, std::string>>& files) {
  const auto number = [](uint64_t value, int bytes) {
    std::string out;
    for (int i = 0; i < bytes; ++i) out += static_cast<char>(value >> (8 * i));
    return out;
  };
  const auto text = [&](const std::string& t) { return number(t.size(), 4) + t; };
  std::string data = "Snapsalvager save batch 1\n" + number(files.size(), 4);
  for (const auto& [temp, final, content] : files) {
    data += text(temp) + text(final.string()) + number(content.size(), 8) + text(content.substr(0, 512));
  }
  return data + "end\n";
}

// Killed anywhere in a batch, its files are in every state: head scrambled, plain or torn,
// moved to the final name, or copied there with the source still in place. Finishing the
// journal leaves valid temporary files only for those not saved, and the save then gives
// every file its bytes once.
TEST_F(SaveFilesTest, InterruptedBatchIsFinishedFromItsJournal) {
#ifdef _WIN32
  GTEST_SKIP() << "Windows saves file by file, each with its own journal: no batch journal";
#endif
  const std::string a = Pattern(3000, 1), b = Pattern(700, 2), c = Pattern(2000, 3), d = Pattern(900, 4);
  std::string torn = Scrambled(c);
  std::copy(c.begin(), c.begin() + 100, torn.begin());
  const fs::path tmp = dir_ / "TmpFiles";
  const fs::path ta = TempFile("Temporary_v5_File0001_JPG.~QX", "");
  WriteAll(ta, a);  // head already plain
  WriteAll(dir_ / "File0002.JPG", b);  // moved before the kill
  const fs::path tc = TempFile("Temporary_v5_File0003_JPG.~QX", "");
  WriteAll(tc, torn);
  const fs::path td = TempFile("Temporary_v5_File0004_JPG.~QX", "");
  WriteAll(td, d);  // copied across file systems and named, source not yet removed
  WriteAll(dir_ / "File0004.JPG", d);
  WriteAll(dir_ / ".File0001.JPG.partial", a.substr(0, 100));
  WriteAll(SaveJournalOf(tmp), SaveJournal({{"Temporary_v5_File0001_JPG.~QX", dir_ / "File0001.JPG", a},
                                            {"Temporary_v5_File0002_JPG.~QX", dir_ / "File0002.JPG", b},
                                            {"Temporary_v5_File0003_JPG.~QX", dir_ / "File0003.JPG", c},
                                            {"Temporary_v5_File0004_JPG.~QX", dir_ / "File0004.JPG", d}}));
  FinishInterruptedSave(tmp);
  EXPECT_FALSE(fs::exists(SaveJournalOf(tmp)));
  EXPECT_EQ(ReadAll(ta), Scrambled(a));
  EXPECT_EQ(ReadAll(tc), Scrambled(c));
  EXPECT_FALSE(fs::exists(td));
  EXPECT_FALSE(fs::exists(dir_ / ".File0001.JPG.partial"));

  TFoundFileList list;
  list.Append({"File0001.JPG", "JPG", static_cast<int64_t>(a.size()), ta, "x", true});
  list.Append({"File0003.JPG", "JPG", static_cast<int64_t>(c.size()), tc, "x", true});
  EXPECT_EQ(SaveFoundFiles(list, dir_).Saved, 2u);
  for (const auto& [name, content] : {std::pair{"File0001.JPG", a}, {"File0002.JPG", b}, {"File0003.JPG", c},
                                      {"File0004.JPG", d}}) {
    EXPECT_EQ(ReadAll(dir_ / name), content) << name;
  }
  EXPECT_TRUE(fs::is_empty(tmp));
}

// A journal that cannot be read (cut, or not one) must not let a save touch its folder's
// files: they are reported not saved and left as they are; a scratch journal that was never
// renamed in is dropped, as no file was touched under it.
TEST_F(SaveFilesTest, UnreadableBatchJournalLeavesItsFolderUntouched) {
  const std::string a = Pattern(1000, 5);
  const fs::path temp = TempFile("Temporary_v5_File0001_JPG.~QX", a);
  const fs::path tmp = dir_ / "TmpFiles";
  fs::path scratch = SaveJournalOf(tmp);
  scratch += ".new";
  WriteAll(scratch, "half");
  const std::string whole = SaveJournal({{"Temporary_v5_File0001_JPG.~QX", dir_ / "File0001.JPG", a}});
  for (const std::string& bad : {whole.substr(0, whole.size() - 1), std::string("not a journal"),
                                 SaveJournal({{"../escape.~QX", dir_ / "File0001.JPG", a}})}) {
    WriteAll(SaveJournalOf(tmp), bad);
    EXPECT_THROW(FinishInterruptedSave(tmp), std::runtime_error);
    TFoundFileList list;
    list.Append({"File0001.JPG", "JPG", static_cast<int64_t>(a.size()), temp, "x", true});
    const TSaveOutcome outcome = SaveFoundFiles(list, dir_);
    EXPECT_EQ(outcome.Saved, 0u);
    ASSERT_EQ(outcome.NotSaved.size(), 1u);
    EXPECT_EQ(ReadAll(temp), Scrambled(a));
    EXPECT_FALSE(fs::exists(dir_ / "File0001.JPG"));
  }
  EXPECT_FALSE(fs::exists(scratch));
}

TEST(RecoveredNameOfTemporaryTest, GivesTheRecoveredNameOnlyForTemporaryNames) {
  const struct {
    const char* Temp;
    const char* Name;
  } cases[] = {
      {"Temporary_v5_File0001_JPG.~QX", "File0001.JPG"},
      {"Temporary_v5_File12345_mov.~qx", "File12345.MOV"},
      {"Temporary_v5_File001_JPG.~QX", ""},  // fewer than four digits
      {"Temporary_v5_File0001_.~QX", ""},
      {"Temporary_v5_File0001_J/G.~QX", ""},
      {"Temporary_v5_FileABCD_JPG.~QX", ""},
      {"Temporary_v5_File0001_JPG.tmp", ""},
      {"AboutThisFolder.txt", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(RecoveredNameOfTemporary(c.Temp), c.Name) << c.Temp;
}

// A folder is named as it is, never as a pattern a shell expands into one word per file.
TEST(RestoreCommandHintTest, NamesTheKeptFilesSoAShellReadsThemBack) {
  const fs::path dir = fs::temp_directory_path() / ("hint dir's-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  EXPECT_EQ(RestoreCommandHint(dir, "/media/usb/out/"),
            Text(TText::RestoreLater, {"snapsalvager-cli restore '" + dir.string().substr(0, dir.string().find('\'')) +
                                           "'\\''s-" + std::to_string(::getpid()) + "' /media/usb/out/"}));
  EXPECT_EQ(RestoreCommandHint("/x/Temporary_v5_File0001_JPG.~QX", "/my photos/"),
            Text(TText::RestoreLater, {"snapsalvager-cli restore /x/Temporary_v5_File0001_JPG.~QX '/my photos/'"}));
  fs::remove_all(dir);
}

}  // namespace
}  // namespace snapsalvager
