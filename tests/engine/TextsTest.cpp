// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// The text table: the texts both front ends show, pinned here once; other tests use Text().
#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "session/Texts.h"
#include "fixtures/Languages.h"

namespace snapsalvager {
namespace {

TEST(TextsTest, TheEndOfAScanAndTheChecksReadAsTheyAlwaysHave) {
  const struct {
    TText Id;
    const char* Expected;
  } cases[] = {
      {TText::UserStopped, "用户扫描停止"},
      {TText::NothingFound, "不幸的是，没有检测到可恢复的文件。"},
      {TText::SavedIn, "已恢复的文件被保存在"},
      {TText::SavingFile, "保存中 "},
      {TText::BypassingFile, "Bypassing "},
      {TText::DeepScanSuffix, "（深度扫描）"},
      {TText::NoDrive, "请选择您的存储卡盘符。"},
      {TText::NetworkDrive,
       "对不起，Snapsalvager 不能恢复网络驱动器的数据。您需要有驱动器在 PC 上运行 Snapsalvager。"},
      {TText::OpticalDrive, "对不起，Snapsalvager 不能恢复从 CD/DVD 的数据。"},
      {TText::NoCamera, "请选择您的数码相机类型，或者如果不知道，请选择普通数码相机。"},
      {TText::NoKinds, "请至少选择一个文件类型。例如照片，视频或音频剪辑。"},
      {TText::NoDestFolder, "目标文件夹不能为空。"},
      {TText::EarlierRecovery,
       "你选择了当前的“目标文件夹”中包含之前恢复一些文件。新恢复的文件可能会写入他们。\r\n\r\n"
       "点击“是”以取消并重新选择目标文件夹，或单击“否”来进行，而无需使用不同的目标文件夹。"},
      {TText::SameDrive,
       "警告: 目标文件夹的驱动器与源驱动器是相同的。恢复到同一磁盘可能会导致数据永久丢失。 "
       "我们强烈建议您选择另一个驱动器作为一个目标保存恢复的文件。\r\n\r\n"
       "单击 [是] 取消并重新选择目标文件夹，或单击 [否] 仍然继续。"},
      {TText::UnknownCapacity,
       "Snapsalvager 不能准确地检测你的记忆卡容量。请确认您已经插入了新卡，并选择正确的驱动器号的卡。"
       "如果是的话，Snapsalvager 可能无法在某些情况下检测内存卡容量应有卡损坏。若要检索最可恢复的文件，"
       "请验证以下卡容量值，如果它不正确并调整它。"},
      {TText::SpecialTypesNote,
       "重要说明： 已恢复的文件包含一些特殊的文件类型。在某些情况下，它可能需要生成的程序或它不能正常打开。"},
  };
  for (const auto& c : cases) EXPECT_STREQ(Text(c.Id), c.Expected) << static_cast<int>(c.Id);
}

TEST(TextsTest, ValuesFillTheirPlacesInOrderAndAreNotReadForPlaceholders) {
  EXPECT_EQ(Text(TText::CannotCreateDest, {"/media/out/"}), "无法创建目标文件夹\r\n/media/out/");
  EXPECT_EQ(Text(TText::ProgressCounters, {"400", "0", "3"}),
            "已扫描的扇区: 400  无法访问的扇区：0  找到的文件：3");
  EXPECT_EQ(Text(TText::CannotOpenCardGroup, {"disk"}),
            "，或者以拥有该设备的组“disk”的成员身份运行（sudo usermod -aG disk 用户名，然后重新登录）");
  // A path holding "%2" stays as it is; a missing value leaves its place empty.
  EXPECT_EQ(Text(TText::NameTaken, {"File0001.JPG", "/a%2b/"}), "文件名 File0001.JPG 在 /a%2b/ 中已被占用");
  EXPECT_EQ(Text(TText::NameTaken, {"File0001.JPG"}), "文件名 File0001.JPG 在  中已被占用");
}

TEST(TextsTest, EveryTextExistsAndAnIdOutsideTheTableIsEmpty) {
  for (int i = 0; i < static_cast<int>(TText::Count); ++i) {
    EXPECT_NE(Text(static_cast<TText>(i)), nullptr);
    EXPECT_GT(std::string(Text(static_cast<TText>(i))).size(), 0u) << i;
  }
  EXPECT_STREQ(Text(TText::Count), "");
}

// The %1 ... %9 a text holds: a translation that drops one loses a value.
std::set<char> Placeholders(std::string_view text) {
  std::set<char> found;
  for (size_t i = 0; i + 1 < text.size(); ++i) {
    if (text[i] == '%' && text[i + 1] >= '1' && text[i + 1] <= '9') found.insert(text[i + 1]);
  }
  return found;
}

TEST(TextsTest, EveryEnglishTextIsEnglishAndKeepsEveryValue) {
  std::vector<std::string> chinese;
  for (int i = 0; i < static_cast<int>(TText::Count); ++i) chinese.push_back(Text(static_cast<TText>(i)));
  SetLanguage(TLanguage::English);
  for (int i = 0; i < static_cast<int>(TText::Count); ++i) {
    const std::string english = Text(static_cast<TText>(i));
    EXPECT_FALSE(english.empty()) << i;
    EXPECT_FALSE(fixtures::HasCjk(english)) << i << ": " << english;
    EXPECT_EQ(Placeholders(english), Placeholders(chinese[i])) << i << ": " << english;
  }
  EXPECT_EQ(Text(TText::ProgressCounters, {"400", "0", "3"}),
            "Sectors scanned: 400  Unreadable sectors: 0  Files found: 3");
  SetLanguage(TLanguage::Chinese);
  EXPECT_STREQ(Text(TText::SavingFile), "保存中 ");
}

// A Chinese run shows no English line of the program's own: every Chinese text holds Chinese,
// but the window's few texts that have always been English and the names that are the same
// in both languages.
TEST(TextsTest, EveryChineseTextIsChineseButTheFewThatAlwaysWereEnglish) {
  const std::set<TText> english = {TText::BypassingFile, TText::CannotWriteTemp, TText::DriveOptical};
  for (int i = 0; i < static_cast<int>(TText::Count); ++i) {
    const TText id = static_cast<TText>(i);
    EXPECT_EQ(fixtures::HasCjk(Text(id)), !english.count(id)) << i << ": " << Text(id);
  }
  EXPECT_EQ(Text(TText::FilesSaved, {"11"}), "已保存 11 个文件。\n");
  EXPECT_EQ(Text(TText::PostProcessing, {".MOV"}), "（.MOV 文件可能需要后处理）\n");
  EXPECT_EQ(Text(TText::FilesRestored, {"3", "/out"}), "已恢复 3 个文件到 /out。\n");
  // Kept files and the command that saves them are two sentences.
  SetLanguage(TLanguage::English);
  const std::string kept = std::string(Text(TText::EarlierTempFilesKept)) + Text(TText::RestoreLater);
  EXPECT_NE(kept.find("overwrite them.\r\nYou can save them later"), std::string::npos) << kept;
  SetLanguage(TLanguage::Chinese);
}

// Sets the variables of a case, every other one unset, and puts them back when done.
class TEnvironment {
 public:
  explicit TEnvironment(const std::vector<std::pair<const char*, const char*>>& values) {
    for (const char* name : kNames) {
      const char* old = std::getenv(name);
      saved_.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
      ::unsetenv(name);
    }
    for (const auto& [name, value] : values) ::setenv(name, value, 1);
  }
  ~TEnvironment() {
    for (const auto& [name, value] : saved_) {
      if (value) ::setenv(name, value->c_str(), 1);
      else ::unsetenv(name);
    }
  }
  static constexpr const char* kNames[] = {"SNAPSALVAGER_LANG", "LC_ALL", "LC_MESSAGES", "LANG"};

 private:
  std::vector<std::pair<const char*, std::optional<std::string>>> saved_;
};

TEST(TextsTest, EnglishOnlyForAnEnglishLocaleOrWhenAskedFor) {
  const struct {
    std::vector<std::pair<const char*, const char*>> Env;
    TLanguage Expected;
  } cases[] = {
      {{}, TLanguage::Chinese},
      {{{"LANG", "C.UTF-8"}}, TLanguage::Chinese},
      {{{"LANG", "zh_CN.UTF-8"}}, TLanguage::Chinese},
      {{{"LANG", "de_DE.UTF-8"}}, TLanguage::Chinese},
      {{{"LANG", "en_US.UTF-8"}}, TLanguage::English},
      {{{"LANG", "en"}}, TLanguage::English},
      {{{"LANG", "eo"}}, TLanguage::Chinese},
      // The first variable set decides, as for the C library's messages.
      {{{"LANG", "en_GB.UTF-8"}, {"LC_MESSAGES", "zh_CN.UTF-8"}}, TLanguage::Chinese},
      {{{"LANG", "zh_CN.UTF-8"}, {"LC_MESSAGES", "en_US.UTF-8"}}, TLanguage::English},
      {{{"LC_MESSAGES", "en_US.UTF-8"}, {"LC_ALL", "C"}}, TLanguage::Chinese},
      {{{"LANG", "zh_CN.UTF-8"}, {"LC_ALL", "en_AU.UTF-8"}}, TLanguage::English},
      {{{"LANG", "en_US.UTF-8"}, {"LC_ALL", ""}}, TLanguage::English},
      // The override beats the locale both ways; a value naming no language is ignored.
      {{{"LANG", "zh_CN.UTF-8"}, {"SNAPSALVAGER_LANG", "en"}}, TLanguage::English},
      {{{"LANG", "en_US.UTF-8"}, {"SNAPSALVAGER_LANG", "zh"}}, TLanguage::Chinese},
      {{{"LANG", "en_US.UTF-8"}, {"SNAPSALVAGER_LANG", "fr"}}, TLanguage::English},
  };
  for (const auto& c : cases) {
    TEnvironment env(c.Env);
    EXPECT_EQ(LanguageFromEnvironment(), c.Expected) << (c.Env.empty() ? "" : c.Env.back().second);
  }
}

}  // namespace
}  // namespace snapsalvager
