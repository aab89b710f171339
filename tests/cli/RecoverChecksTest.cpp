// The wizard's pre-scan rules as the command line runs them.
#include "cli/RecoverChecks.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <fstream>

namespace snapsalvager::cli {
namespace {

namespace fs = std::filesystem;

TEST(RecoverChecksTest, DestinationIsTrimmedAndEndsWithASlash) {
  EXPECT_EQ(NormaliseDestFolder("  /media/out  "), "/media/out/");
  EXPECT_EQ(NormaliseDestFolder("/media/out/"), "/media/out/");
  EXPECT_EQ(NormaliseDestFolder(" \t "), "");
}

TEST(RecoverChecksTest, EarlierRecoveryIsAnyFile0NameWithADot) {
  std::string pattern = (fs::temp_directory_path() / "checks-XXXXXX").string();
  ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
  const fs::path dir = pattern;
  EXPECT_TRUE(NoEarlierRecovery(dir));
  std::ofstream(dir / "File1.JPG").close();
  std::ofstream(dir / "File0").close();
  EXPECT_TRUE(NoEarlierRecovery(dir));
  std::ofstream(dir / "file00001.jpg").close();
  EXPECT_FALSE(NoEarlierRecovery(dir));
  fs::remove_all(dir);
}

TEST(RecoverChecksTest, SizesRoundHalvesToEven) {
  EXPECT_EQ(CardSizes(3 * 1024, 0).CardMB, 2);  // 1.5
  EXPECT_EQ(CardSizes(5 * 1024, 0).CardMB, 2);  // 2.5
  EXPECT_EQ(CardSizes(5 * 1024 + 1, 0).CardMB, 3);
  EXPECT_EQ(CardSizes(4194304, 0).NeededMB, 2252);
}

TEST(RecoverChecksTest, FreeSpaceQuestionWhenTheDestinationHasLessThanTheCardNeeds) {
  const int64_t mb = 1 << 20;
  EXPECT_FALSE(FreeSpaceQuestion(CardSizes(4194304, 2252 * mb)));
  const auto question = FreeSpaceQuestion(CardSizes(4194304, 2251 * mb));
  ASSERT_TRUE(question);
  EXPECT_EQ(question->substr(0, question->find("\r\n\r\n")),
            "记忆卡存储大小: 2048 MB (  2.0 GB)\r\n目标文件夹驱动器可用空间: 2251 MB (  2.2 GB)\r\n"
            "建议的可用磁盘空间: 2252 MB (  2.2 GB)");
}

TEST(RecoverChecksTest, HardDiskQuestionAboveTheCardLimitOrOnDriveC) {
  EXPECT_FALSE(HardDiskQuestion('E', CardSizes(168960u * 2048, 0)));
  const auto big = HardDiskQuestion('E', CardSizes(168961u * 2048, 0));
  ASSERT_TRUE(big);
  EXPECT_EQ(*big,
            "对不起，它看起来像驱动器E: 您选择好要扫描的硬盘驱动器 (大小: 165.0 GB) "
            "而不是一台数码相机的存储卡（存储卡大小通常大于 128 GB）。\r\n\r\n"
            "点击“是”以取消并重新选择一个驱动器盘符，或者单击“否”继续处理。");
  EXPECT_TRUE(HardDiskQuestion('C', CardSizes(65536, 0)));
}

TEST(RecoverChecksTest, SoughtTypesFollowTheTableOrder) {
  EXPECT_EQ(SoughtTypes(MakeRecogniserInputs("Canon Digital Camera", true, false, false, "ALL")),
            ".JPG/.CRW/.CR2");
  EXPECT_EQ(SoughtTypes(MakeRecogniserInputs("Generic Digital Camera", true, false, false, "ALL")),
            ".JPG/.TIF");
  EXPECT_EQ(SoughtTypes(TRecogniserInputs{}), "");
}

}  // namespace
}  // namespace snapsalvager::cli
