// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// The scan options page: drive and camera lists, the video type dialog, the folder browser,
// and the validation with its order of checks, messages and side effects.
#include <QButtonGroup>
#include <QFile>
#include <QTimer>
#include <QLineEdit>
#include <QFileDialog>
#include <QRadioButton>
#include <QStandardPaths>
#include <QtTest>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "WizardTestSupport.h"
#include "card/DriveReads.h"
#include "card/LinuxDrives.h"
#include "fixtures/LoopDisk.h"
#include "wizard/VideoTypeDialog.h"

using namespace snapsalvager;
using namespace snapsalvager::test;

namespace {

QString ChooseDriveText() { return EngineText(TText::NoDrive); }
QString NetworkText() { return EngineText(TText::NetworkDrive); }
QString CdDvdText() { return EngineText(TText::OpticalDrive); }
QString NoKindText() { return EngineText(TText::NoKinds); }
QString NoCameraText() { return EngineText(TText::NoCamera); }
QString EmptyFolderText() { return EngineText(TText::NoDestFolder); }
QString SameDriveText() { return EngineText(TText::SameDrive); }
QString EarlierText() { return EngineText(TText::EarlierRecovery); }

// A blank card that opens: the checks open the card before they make the destination.
class TBlankSource : public TCardSource {
 public:
  bool ReadAt(uint64_t, void* dest, size_t length) override {
    std::memset(dest, 0, length);
    return true;
  }
  bool Geometry(TDiskGeometry&) override { return false; }
  bool Length(int64_t& bytes) override {
    bytes = 1 << 20;
    return true;
  }
};

char AttachFake(uint8_t type, const char* name) {
  return LinuxDrives::AttachSource(name, type, [] { return std::unique_ptr<TCardSource>(new TBlankSource); });
}

void Touch(const QString& path) {
  QFile f(path);
  QVERIFY(f.open(QIODevice::WriteOnly));
  f.write("x");
}

QStringList EnabledTypes(const TRecogniserInputs& inputs) {
  QStringList types;
  for (int i = 1; i <= kFileTypeCount; ++i)
    if (inputs.Enabled(i)) types << QString::fromLatin1(FileTypeTable[static_cast<size_t>(i - 1)].data(), 3);
  return types;
}

}  // namespace

class TestWizardScanOptions : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<TScriptedPrompter> prompter;
  std::unique_ptr<TDocumentRecorder> documents;
  std::unique_ptr<TMainForm> form;
  std::unique_ptr<QTemporaryDir> temp;
  char card = 0;  // a removable drive to choose

  int ItemOfLetter(char letter) {
    for (int i = 0; i < form->ui.CBDrive->count(); ++i) {
      const QVariant row = form->ui.CBDrive->itemData(i, TScanOptionsPage::kDriveRowRole);
      if (row.isValid() && row.toInt() == letter - 'A') return i;
    }
    return -1;
  }
  void ChooseDrive(char letter) {
    form->ScanOptionsPage.FillDriveList();
    const int item = ItemOfLetter(letter);
    QVERIFY(item > 0);
    form->ui.CBDrive->setCurrentIndex(item);
  }
  QString Dest(const QString& name) { return temp->filePath(name); }
  // A drive and a destination that pass every check.
  void ChooseValidOptions() {
    ChooseDrive(card);
    form->ui.EDestFolder->setText(Dest(QStringLiteral("out")));
  }
  void SetKinds(bool photo, bool video, bool audio) {
    form->ui.CPhoto->setChecked(photo);
    form->ui.CVideo->setChecked(video);
    form->ui.CAudio->setChecked(audio);
  }
  void ChooseCamera(const QString& name) {
    const int i = form->ui.CBCamera->findText(name);
    QVERIFY(i >= 0);
    form->ui.CBCamera->setCurrentIndex(i);
  }

 private slots:
  void init() {
    LinuxDrives::DetachAll();
    prompter = std::make_unique<TScriptedPrompter>();
    documents = std::make_unique<TDocumentRecorder>();
    temp = std::make_unique<QTemporaryDir>();
    card = AttachFake(DRIVE_REMOVABLE, "card");
    QVERIFY(card != 0);
    form = MakeMainForm();
    form->ScanOptionsPage.DriveLetterOfFolder = [](const QString&) { return char(0); };
    form->BNextClick();
    QCOMPARE(form->CurrentPage(), 2);
  }

  void cleanup() {
    form.reset();
    documents.reset();
    prompter.reset();
    temp.reset();
    LinuxDrives::DetachAll();
  }

  void DriveListGroupsEveryLetterByType() {
    const char cd = AttachFake(DRIVE_CDROM, "dvd");
    const char net = AttachFake(DRIVE_REMOTE, "share");
    QTest::mouseClick(form->ui.BRefresh, Qt::LeftButton);
    QComboBox* cb = form->ui.CBDrive;
    QCOMPARE(cb->currentIndex(), 0);
    QCOMPARE(cb->itemText(0), Tr("请选择您的存储卡的盘符..."));

    // Walk the list: groups in the fixed order, each drive under the group of its type.
    const QStringList groupOrder = {"Removable Drives", "Hard Drives", "CD/DVD Drives", "Network Drives",
                                    "Unknown or Empty Drives", "Disk Image Files"};
    const QMap<QString, QList<uint8_t>> typesOf = {
        {"Removable Drives", {DRIVE_REMOVABLE}}, {"Hard Drives", {DRIVE_FIXED}},
        {"CD/DVD Drives", {DRIVE_CDROM}},        {"Network Drives", {DRIVE_REMOTE}},
        {"Unknown or Empty Drives", {DRIVE_UNKNOWN, DRIVE_NO_ROOT_DIR, DRIVE_RAMDISK}}};
    const QMap<QString, QPair<int, int>> imagesOf = {
        {"Removable Drives", {1, 1}}, {"Hard Drives", {0, 0}}, {"CD/DVD Drives", {2, 2}},
        {"Network Drives", {0, 0}},   {"Unknown or Empty Drives", {3, 0}}};
    QStringList groupsSeen;
    QString group;
    QSet<int> rows;
    for (int i = 1; i < cb->count(); ++i) {
      const int row = cb->itemData(i, TScanOptionsPage::kDriveRowRole).toInt();
      const int indent = cb->itemData(i, TScanOptionsPage::kIndentRole).toInt();
      if (row < 0 && indent == 0) {
        group = cb->itemText(i);
        groupsSeen << group;
        continue;
      }
      QCOMPARE(indent, 2);
      if (row < 0) continue;  // "[No Removable Drive]", the image chooser
      const TDriveEntry& e = form->ScanOptionsPage.DriveTable[static_cast<size_t>(row)];
      QVERIFY(cb->itemText(i).startsWith(QStringLiteral("%1: ").arg(QLatin1Char(e.Letter))));
      QVERIFY2(typesOf.value(group).contains(e.DriveType), qPrintable(cb->itemText(i) + " under " + group));
      QCOMPARE(cb->itemData(i, TScanOptionsPage::kImageRole).toInt(), imagesOf[group].first);
      QCOMPARE(cb->itemData(i, TScanOptionsPage::kSelectedImageRole).toInt(), imagesOf[group].second);
      QVERIFY(e.Listed);
      QVERIFY(!rows.contains(row));
      rows.insert(row);
    }
    QCOMPARE(groupsSeen, groupOrder);
    // Only letters with a device or image behind them, each once.
    for (int row = 0; row < 26; ++row)
      QCOMPARE(rows.contains(row), LinuxDrives::ByNumber(static_cast<uint8_t>(row + 1)) != nullptr);
    QCOMPARE(cb->itemText(cb->count() - 1), Tr("选择磁盘映像文件..."));
    QCOMPARE(form->ScanOptionsPage.DriveTable[static_cast<size_t>(cd - 'A')].DriveType, DRIVE_CDROM);
    QCOMPARE(form->ScanOptionsPage.DriveTable[static_cast<size_t>(net - 'A')].DriveNumber, uint8_t(net - 'A' + 1));
  }

  void WithoutRemovableDrivesThePlaceholderShows() {
    LinuxDrives::DetachAll();
    form->ScanOptionsPage.FillDriveList();
    for (const TDriveEntry& e : form->ScanOptionsPage.DriveTable)
      if (e.DriveType == DRIVE_REMOVABLE) QSKIP("this machine has a removable drive");
    QComboBox* cb = form->ui.CBDrive;
    QCOMPARE(cb->itemText(1), QStringLiteral("Removable Drives"));
    QCOMPARE(cb->itemText(2), QStringLiteral("[No Removable Drive]"));
    QCOMPARE(cb->itemData(2, TScanOptionsPage::kIndentRole).toInt(), 2);
    QVERIFY(cb->findText(QStringLiteral("CD/DVD Drives")) < 0 || [&] {
      for (const TDriveEntry& e : form->ScanOptionsPage.DriveTable)
        if (e.DriveType == DRIVE_CDROM) return true;
      return false;
    }());
    // Choosing the placeholder, a group or the prompt is not choosing a drive.
    for (int item : {0, 1, 2}) {
      prompter->Clear();
      cb->setCurrentIndex(item);
      QVERIFY(!form->ScanOptionsPage.ValidateScanOptions());
      QCOMPARE(prompter->Texts(), QStringList{ChooseDriveText()});
    }
  }

  void NetworkDriveIsRefused() {
    const char net = AttachFake(DRIVE_REMOTE, "share");
    ChooseDrive(net);
    QVERIFY(!form->ScanOptionsPage.ValidateScanOptions());
    QCOMPARE(prompter->Texts(), QStringList{NetworkText()});
    QCOMPARE(form->ScanOptionsPage.SelectedDrive.Letter, net);
  }

  void CdDriveAsksAndYesOpensHelp() {
    const char cd = AttachFake(DRIVE_CDROM, "dvd");
    ChooseDrive(cd);
    prompter->Answers = {QMessageBox::No};
    QTest::mouseClick(form->ui.BNext, Qt::LeftButton);
    QCOMPARE(prompter->Texts(), QStringList{CdDvdText()});
    QVERIFY(documents->Opened.isEmpty());
    QCOMPARE(form->CurrentPage(), 2);

    prompter->Answers = {QMessageBox::Yes};
    QTest::mouseClick(form->ui.BNext, Qt::LeftButton);
    QCOMPARE(documents->Opened, QStringList{HelpLink(QStringLiteral("cddvd"))});
    QCOMPARE(form->CurrentPage(), 2);
  }

  void AMissingCameraIsReportedBeforeTheKinds() {
    ChooseValidOptions();
    SetKinds(false, false, false);
    form->ui.CBCamera->setCurrentIndex(-1);
    QVERIFY(!form->ScanOptionsPage.ValidateScanOptions());
    QCOMPARE(prompter->Texts(), QStringList{NoCameraText()});

    prompter->Clear();
    SetKinds(true, false, false);
    QVERIFY(!form->ScanOptionsPage.ValidateScanOptions());
    QCOMPARE(prompter->Texts(), QStringList{NoCameraText()});

    prompter->Clear();
    form->ui.CBCamera->setCurrentIndex(0);
    SetKinds(false, false, false);
    QVERIFY(!form->ScanOptionsPage.ValidateScanOptions());
    QCOMPARE(prompter->Texts(), QStringList{NoKindText()});
  }

  void BlankFolderIsRefusedBeforeAnyFolderWork() {
    ChooseDrive(card);
    form->ui.EDestFolder->setText(QStringLiteral("   "));
    QVERIFY(!form->ScanOptionsPage.ValidateScanOptions());
    QCOMPARE(prompter->Texts(), QStringList{EmptyFolderText()});
  }

  // The folders are made when the scan starts, after the last question.
  void PassingValidationSettlesTheFoldersAndMakesNone() {
    ChooseDrive(card);
    form->ui.EDestFolder->setText(QStringLiteral("  ") + Dest(QStringLiteral("a/b")) + QStringLiteral(" "));
    QVERIFY(form->ScanOptionsPage.ValidateScanOptions());
    QVERIFY(prompter->Messages.isEmpty());
    QCOMPARE(form->ScanOptionsPage.DestFolder, Dest(QStringLiteral("a/b/")));
    QCOMPARE(form->ScanOptionsPage.TempFolder, Dest(QStringLiteral("a/b/TmpFiles/")));
    QVERIFY(!QFileInfo::exists(Dest(QStringLiteral("a"))));
    QCOMPARE(form->ScanOptionsPage.SelectedDrive.Letter, card);
    QCOMPARE(form->ScanOptionsPage.SelectedDrive.DriveType, DRIVE_REMOVABLE);
    // A later refresh of the list does not touch the chosen drive.
    form->ScanOptionsPage.DriveTable[static_cast<size_t>(card - 'A')].DriveType = DRIVE_FIXED;
    QCOMPARE(form->ScanOptionsPage.SelectedDrive.DriveType, DRIVE_REMOVABLE);
  }

  void RelativeAndHomeFoldersBecomeAbsolute() {
    ChooseDrive(card);
    const QString before = QDir::currentPath();
    QDir::setCurrent(temp->path());
    form->ui.EDestFolder->setText(QStringLiteral("relative/out"));
    const bool passed = form->ScanOptionsPage.ValidateScanOptions();
    QDir::setCurrent(before);
    QVERIFY(passed);
    QCOMPARE(form->ScanOptionsPage.DestFolder, QDir(temp->path()).canonicalPath() + QStringLiteral("/relative/out/"));

#ifndef _WIN32
    // "~" is the home folder; the check stops at the same-drive question, before any folder work.
    form->ScanOptionsPage.DriveLetterOfFolder = [this](const QString&) { return card; };
    prompter->Answers = {QMessageBox::Yes};
    form->ui.EDestFolder->setText(QStringLiteral("~/Pictures/recovered"));
    QVERIFY(!form->ScanOptionsPage.ValidateScanOptions());
    QCOMPARE(form->ScanOptionsPage.DestFolder, QDir::homePath() + QStringLiteral("/Pictures/recovered/"));
#endif
  }

  void ExistingTmpFilesKeepsItsContent() {
    ChooseValidOptions();
    QDir().mkpath(Dest(QStringLiteral("out/TmpFiles")));
    QVERIFY(form->ScanOptionsPage.ValidateScanOptions());
    QVERIFY(!QFileInfo::exists(Dest(QStringLiteral("out/TmpFiles/AboutThisFolder.txt"))));
  }

  void UncreatableFolderIsReported() {
    ChooseDrive(card);
    Touch(Dest(QStringLiteral("file")));
    form->ui.EDestFolder->setText(Dest(QStringLiteral("file/sub")));
    QVERIFY(!form->ScanOptionsPage.ValidateScanOptions());
    QCOMPARE(prompter->Texts(),
             QStringList{EngineText(TText::CannotCreateDest, {Dest(QStringLiteral("file/sub/")).toStdString()}) +
                         EngineText(TText::SystemReason, {std::strerror(ENOTDIR)})});
  }

  void UnwritableTempFolderIsReported() {
    ChooseValidOptions();
    QDir().mkpath(Dest(QStringLiteral("out")));
    Touch(Dest(QStringLiteral("out/TmpFiles")));  // a file where the folder must go
    QVERIFY(!form->ScanOptionsPage.ValidateScanOptions());
    QCOMPARE(prompter->Texts(),
             QStringList{EngineText(TText::CannotWriteTemp, {Dest(QStringLiteral("out/")).toStdString()}) +
                         EngineText(TText::SystemReason, {std::strerror(EEXIST)})});
  }

  void SameDriveAsksAndOnlyNoGoesOn() {
    ChooseValidOptions();
    const char letter = card;
    form->ScanOptionsPage.DriveLetterOfFolder = [letter](const QString&) { return char(std::tolower(letter)); };
    prompter->Answers = {QMessageBox::Yes};
    QVERIFY(!form->ScanOptionsPage.ValidateScanOptions());
    QCOMPARE(prompter->Texts(), QStringList{SameDriveText()});
    QVERIFY(!QFileInfo::exists(Dest(QStringLiteral("out"))));  // asked before any folder is made

    prompter->Clear();
    prompter->Answers = {QMessageBox::No};
    QVERIFY(form->ScanOptionsPage.ValidateScanOptions());
    QCOMPARE(prompter->Texts(), QStringList{SameDriveText()});

    prompter->Clear();
    form->ScanOptionsPage.DriveLetterOfFolder = [](const QString&) { return 'C'; };
    QVERIFY(form->ScanOptionsPage.ValidateScanOptions());
    QVERIFY(prompter->Messages.isEmpty());
  }

  // A real partitioned loop device: the whole disk chosen through the disk-image item and
  // a destination on its partition, a partition and its sibling, and another disk.
  void SameDriveIsSeenBelowPartitions() {
    fixtures::LoopDisk disk(temp->filePath(QStringLiteral("loop")).toStdString());
    if (!disk.Skipped().empty()) QSKIP(disk.Skipped().c_str());
    form->ScanOptionsPage.DriveLetterOfFolder = [](const QString& f) { return LinuxDrives::LetterHoldingPath(f.toStdString()); };
    LinuxDrives::Refresh();
    const char whole = LinuxDrives::AttachImage(disk.Disk());
    const char first = LinuxDrives::LetterOfPath(disk.Partition(1));
    QVERIFY(whole != 0 && first != 0 && whole != first);
    const struct {
      char Letter;
      std::string Folder;
      bool Asked;
    } cases[] = {{whole, (disk.MountPoint(1) / "out").string(), true},
                 {first, (disk.MountPoint(2) / "out").string(), true},
                 {first, Dest(QStringLiteral("out")).toStdString(), false}};
    for (const auto& c : cases) {
      QCOMPARE(form->ScanOptionsPage.FolderOnCardDrive(c.Letter, QString::fromStdString(c.Folder)), c.Asked);
    }
  }

  void EarlierRecoveryAsksAndYesStays() {
    ChooseValidOptions();
    QDir().mkpath(Dest(QStringLiteral("out")));
    Touch(Dest(QStringLiteral("out/File00001.JPG")));
    prompter->Answers = {QMessageBox::Yes};
    QTest::mouseClick(form->ui.BNext, Qt::LeftButton);
    QCOMPARE(prompter->Texts(), QStringList{EarlierText()});
    QCOMPARE(form->CurrentPage(), 2);

    prompter->Clear();
    prompter->Answers = {QMessageBox::No};
    QVERIFY(form->ScanOptionsPage.ValidateScanOptions());
    QCOMPARE(prompter->Texts(), QStringList{EarlierText()});
  }

  void EarlierRecoveryMatchesAsWindowsDoes() {
    const QString dir = Dest(QStringLiteral("scan"));
    QDir().mkpath(dir);
    QVERIFY(TScanOptionsPage::NoEarlierRecovery(dir + "/"));
    QVERIFY(TScanOptionsPage::NoEarlierRecovery(Dest(QStringLiteral("missing/"))));
    Touch(dir + "/File1.JPG");
    Touch(dir + "/MyFile0001.JPG");
    QVERIFY(TScanOptionsPage::NoEarlierRecovery(dir + "/"));
    for (const QString& name : {QStringLiteral("FILE0010"), QStringLiteral("file0002.jpg")}) {
      Touch(dir + "/" + name);
      QVERIFY2(!TScanOptionsPage::NoEarlierRecovery(dir + "/"), qPrintable(name));
      QFile::remove(dir + "/" + name);
    }
    QDir().mkpath(dir + "/File0Folder");
    QVERIFY(!TScanOptionsPage::NoEarlierRecovery(dir + "/"));
  }

  void RecogniserInputsFollowCameraAndKinds_data() {
    QTest::addColumn<QString>("camera");
    QTest::addColumn<bool>("photo");
    QTest::addColumn<bool>("video");
    QTest::addColumn<bool>("audio");
    QTest::addColumn<QString>("videoType");
    QTest::addColumn<QStringList>("enabled");
    QTest::addColumn<bool>("canon");
    QTest::addColumn<bool>("useChosen");
    QTest::addColumn<QString>("chosenExt");
    QTest::newRow("canon photos") << "Canon Digital Camera" << true << false << false << "ALL"
                                  << QStringList{"JPG", "CRW", "CR2"} << true << false << "MOV";
    QTest::newRow("generic photos") << "Generic Digital Camera" << true << false << false << "ALL"
                                    << QStringList{"JPG", "TIF"} << false << false << "MOV";
    QTest::newRow("video MP4") << "Generic Digital Camera" << false << true << false << "MP4"
                               << QStringList{"MP4"} << false << true << "MP4";
    QTest::newRow("video 3GP") << "Generic Phone Camera" << false << true << false << "3GP"
                               << QStringList{"3GP"} << false << true << "3GP";
    QTest::newRow("video MOV") << "Generic Digital Camera" << false << true << false << "MOV"
                               << QStringList{"MOV"} << false << false << "MOV";
    QTest::newRow("video ALL") << "Generic Digital Camera" << false << true << false << "ALL"
                               << QStringList{"AVI", "MPG", "MOV", "MP4", "ASF", "3GP", "MTS"} << false
                               << false << "MOV";
    QTest::newRow("audio") << "Nikon Digital Camera" << false << false << true << "ALL"
                           << QStringList{"MP3", "WAV", "AMR"} << false << false << "MOV";
    QTest::newRow("canon everything") << "Canon Digital Camera" << true << true << true << "MP4"
                                      << QStringList{"JPG", "CRW", "CR2", "MP4", "MP3", "WAV", "AMR"}
                                      << true << true << "MP4";
  }
  void RecogniserInputsFollowCameraAndKinds() {
    QFETCH(QString, camera);
    QFETCH(bool, photo);
    QFETCH(bool, video);
    QFETCH(bool, audio);
    QFETCH(QString, videoType);
    QFETCH(QStringList, enabled);
    QFETCH(bool, canon);
    QFETCH(bool, useChosen);
    QFETCH(QString, chosenExt);
    ChooseValidOptions();
    ChooseCamera(camera);
    SetKinds(photo, video, audio);
    form->ScanOptionsPage.ChosenVideoType = videoType;
    QVERIFY(form->ScanOptionsPage.ValidateScanOptions());
    QStringList expected = enabled;
    QStringList actual = EnabledTypes(form->ScanOptionsPage.RecogniserInputs);
    expected.sort();
    actual.sort();
    QCOMPARE(actual, expected);
    QCOMPARE(form->ScanOptionsPage.RecogniserInputs.IsCanonCamera, canon);
    QCOMPARE(form->ScanOptionsPage.RecogniserInputs.UseChosenVideoExt, useChosen);
    QCOMPARE(QString::fromStdString(form->ScanOptionsPage.RecogniserInputs.ChosenVideoExt), chosenExt);
    // The icon list follows the types a plain or deep scan may name, in table order.
    QStringList names;
    for (int i = 1; i <= kFileTypeCount; ++i)
      if (form->ScanOptionsPage.RecogniserInputs.EnabledDeep(i)) names << "." + QString::fromLatin1(FileTypeTable[i - 1]);
    QCOMPARE(form->ExtIconNames, names);
    QCOMPARE(form->ImgListExt.size(), names.size());
  }

  void VideoTypeDialogChoosesAndCancelKeepsTheChoice() {
    QStringList offered;
    int preselected = -2;
    auto pick = [&](const QString& wanted, bool ok) {
      return [&, wanted, ok](QDialog& dialog) {
        auto& video = static_cast<TVideoTypeForm&>(dialog);
        offered = video.Items();
        preselected = video.ItemIndex();
        if (!wanted.isEmpty()) video.SetItemIndex(static_cast<int>(video.Items().indexOf(wanted)));
        return ok ? QDialog::Accepted : QDialog::Rejected;
      };
    };
    {
      TDialogScript script(pick(QStringLiteral("MP4"), true));
      QTest::mouseClick(form->ui.CVideo, Qt::LeftButton);
    }
    QCOMPARE(offered, QStringList({"ALL", "MPG", "MOV", "ASF", "MP4", "AVI", "3GP", "MTS"}));
    QCOMPARE(preselected, 0);
    QCOMPARE(form->ScanOptionsPage.ChosenVideoType, QStringLiteral("MP4"));
    QCOMPARE(form->ui.LVideoFileType->text(), QStringLiteral("[MP4]"));
    QVERIFY(form->ui.LVideoFileType->isVisibleTo(form.get()));

    {
      TDialogScript script(pick(QStringLiteral("MOV"), false));
      form->ScanOptionsPage.LVideoFileTypeClick();
    }
    QCOMPARE(preselected, 4);
    QCOMPARE(form->ScanOptionsPage.ChosenVideoType, QStringLiteral("MP4"));
    QCOMPARE(form->ui.LVideoFileType->text(), QStringLiteral("[MP4]"));

    // Unchecking hides the link and keeps the choice.
    QTest::mouseClick(form->ui.CVideo, Qt::LeftButton);
    QVERIFY(!form->ui.LVideoFileType->isVisibleTo(form.get()));
    QCOMPARE(form->ScanOptionsPage.ChosenVideoType, QStringLiteral("MP4"));
  }

  void CancellingTheFirstVideoChoiceShowsAll() {
    QCOMPARE(form->ui.LVideoFileType->text(), Tr("[所有]", "MainForm"));
    TDialogScript script([](QDialog& dialog) {
      dialog.findChild<QPushButton*>(QStringLiteral("Button1"))->click();
      return dialog.result();
    });
    QTest::mouseClick(form->ui.CVideo, Qt::LeftButton);
    QCOMPARE(form->ScanOptionsPage.ChosenVideoType, QStringLiteral("ALL"));
    QCOMPARE(form->ui.LVideoFileType->text(), QStringLiteral("[ALL]"));
  }

  void VideoTypeDialogLooksAsDesigned() {
    TVideoTypeForm dialog;
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Snapsalvager"));
    QCOMPARE(dialog.size(), QSize(395, 273));
    QCOMPARE(dialog.ui.LTitle->text(), Tr("视频文件类型来检测和恢复", "VideoTypeForm"));
    QCOMPARE(dialog.ui.BStop->text(), Tr("确定"));
    QCOMPARE(dialog.ui.Button1->text(), Tr("取消", "StatusForm"));
    dialog.SetItems({"ALL", "MPG"});
    dialog.SetItemIndex(1);
    QTest::mouseClick(dialog.ui.BStop, Qt::LeftButton);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(dialog.ItemIndex(), 1);
  }

  void BrowseSetsTheFolderWithATrailingSlash() {
    QString title, start;
    SetFolderChooser([&](const QString& t, const QString& s) {
      title = t;
      start = s;
      return QStringLiteral("/media/photos");
    });
    QTest::mouseClick(form->ui.Button1, Qt::LeftButton);
    QCOMPARE(title, Tr("选择目标文件夹"));
    QCOMPARE(form->ui.EDestFolder->text(), QStringLiteral("/media/photos/"));
    SetFolderChooser([](const QString&, const QString&) { return QString(); });
    QTest::mouseClick(form->ui.Button1, Qt::LeftButton);
    QCOMPARE(form->ui.EDestFolder->text(), QStringLiteral("/media/photos/"));
    SetFolderChooser({});
  }

  // In the real browser a typed folder that does not exist yet is taken, not "not found".
  void BrowserTakesATypedFolderStillToBeMade() {
    SetFolderChooser({});
    const QString wanted = Dest(QStringLiteral("new/photos"));
    QString typedInto;
    QTimer::singleShot(300, [&] {
      auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
      if (!dialog) return;
      typedInto = dialog->directory().absolutePath();
      if (auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))) {
        edit->setText(wanted);
        QTest::keyClick(edit, Qt::Key_Return);
      }
      if (dialog->isVisible()) dialog->reject();
    });
    form->ui.EDestFolder->setText(Dest(QStringLiteral("out")));
    QTest::mouseClick(form->ui.Button1, Qt::LeftButton);
    QCOMPARE(typedInto, QDir::cleanPath(temp->path()));  // "out" is not made yet: its folder
    QCOMPARE(form->ui.EDestFolder->text(), wanted + QLatin1Char('/'));
    QVERIFY(!QFileInfo::exists(wanted));
  }

  // The browser opens where the box points: its nearest existing folder, or the desktop.
  void BrowseStartsAtTheFolderInTheBox() {
    QString start;
    SetFolderChooser([&](const QString&, const QString& s) {
      start = s;
      return QString();
    });
    QDir().mkpath(Dest(QStringLiteral("out")));
    const struct {
      QString Box;
      QString Start;
    } cases[] = {
        {Dest(QStringLiteral("out")), QDir::cleanPath(Dest(QStringLiteral("out")))},
        {Dest(QStringLiteral("out/new/deeper/")), QDir::cleanPath(Dest(QStringLiteral("out")))},
        {QString(), QStandardPaths::writableLocation(QStandardPaths::DesktopLocation)},
    };
    for (const auto& c : cases) {
      form->ui.EDestFolder->setText(c.Box);
      QTest::mouseClick(form->ui.Button1, Qt::LeftButton);
      QCOMPARE(start, c.Start);
    }
    SetFolderChooser({});
  }

  void ChoosingADiskImageAttachesAndSelectsIt() {
    const QString image = Dest(QStringLiteral("card.img"));
    {
      std::ofstream out(image.toStdString(), std::ios::binary);
      out << std::string(4096, '\0');
    }
    SetFileChooser([image](const QString&, const QString&) { return image; });
    QComboBox* cb = form->ui.CBDrive;
    const int chooser = cb->count() - 1;
    emit cb->activated(chooser);
    const QVariant row = cb->currentData(TScanOptionsPage::kDriveRowRole);
    QVERIFY(row.toInt() >= 0);
    const TDriveEntry& e = form->ScanOptionsPage.DriveTable[static_cast<size_t>(row.toInt())];
    QCOMPARE(e.DriveType, DRIVE_REMOVABLE);
    QCOMPARE(LinuxDrives::LetterOfPath(image.toStdString()), e.Letter);

    // Cancelling the file dialog leaves no drive chosen.
    SetFileChooser([](const QString&, const QString&) { return QString(); });
    emit cb->activated(cb->count() - 1);
    QCOMPARE(cb->currentIndex(), 0);

    SetFileChooser([this](const QString&, const QString&) { return Dest(QStringLiteral("none.img")); });
    emit cb->activated(cb->count() - 1);
    QCOMPARE(prompter->Texts(),
             QStringList{Tr("无法打开磁盘映像文件：\r\n") + Dest(QStringLiteral("none.img"))});
    QCOMPARE(cb->currentIndex(), 0);
    SetFileChooser({});
  }

  // Images named with their size next to the letter; each keeps its letter and the one on
  // show stays chosen through Refresh and the choice of another image.
  void AttachedImagesAreNamedAndKeepTheirLetters() {
    const QString big = Dest(QStringLiteral("big.img")), small = Dest(QStringLiteral("small.img"));
    for (const auto& [image, bytes] : {std::pair{big, int64_t{4} << 30}, std::pair{small, int64_t{64} << 20}}) {
      std::ofstream(image.toStdString()).close();
      std::filesystem::resize_file(image.toStdString(), static_cast<uintmax_t>(bytes));
    }
    QComboBox* cb = form->ui.CBDrive;
    const auto choose = [cb](const QString& image) {
      SetFileChooser([image](const QString&, const QString&) { return image; });
      emit cb->activated(cb->count() - 1);
      SetFileChooser({});
      return static_cast<char>('A' + cb->currentData(TScanOptionsPage::kDriveRowRole).toInt());
    };
    const char bigLetter = choose(big);
    QCOMPARE(cb->currentText(), QStringLiteral("%1: big.img (4.0 GB)").arg(QLatin1Char(bigLetter)));
    QTest::mouseClick(form->ui.BRefresh, Qt::LeftButton);
    QCOMPARE(cb->currentText(), QStringLiteral("%1: big.img (4.0 GB)").arg(QLatin1Char(bigLetter)));
    const char smallLetter = choose(small);
    QVERIFY(smallLetter != bigLetter);
    QCOMPARE(cb->currentText(), QStringLiteral("%1: small.img (64 MB)").arg(QLatin1Char(smallLetter)));
    QTest::mouseClick(form->ui.BRefresh, Qt::LeftButton);
    QCOMPARE(cb->currentText(), QStringLiteral("%1: small.img (64 MB)").arg(QLatin1Char(smallLetter)));
    QCOMPARE(cb->itemText(form->ScanOptionsPage.DriveItemOfLetter(bigLetter)),
             QStringLiteral("%1: big.img (4.0 GB)").arg(QLatin1Char(bigLetter)));
    // A device is named by its device name and size (its model where the system has one).
    for (int i = 0; i < cb->count(); ++i) {
      const QVariant row = cb->itemData(i, TScanOptionsPage::kDriveRowRole);
      if (!row.isValid() || row.toInt() < 0) continue;
      const TLinuxDrive* drive = LinuxDrives::ByNumber(static_cast<uint8_t>(row.toInt() + 1));
      QVERIFY(drive != nullptr);
      if (!drive->Path.empty() && !drive->IsImage)
        QVERIFY2(cb->itemText(i).contains(QString::fromStdString(drive->DisplayName)), qPrintable(cb->itemText(i)));
    }
  }

  void CameraListHoldsTheFifteenCameras() {
    QComboBox* cb = form->ui.CBCamera;
    QCOMPARE(cb->count(), 15);
    QCOMPARE(cb->currentIndex(), 0);
    QCOMPARE(cb->itemText(0), QStringLiteral("Generic Digital Camera"));
    QCOMPARE(cb->itemText(2), QStringLiteral("Canon Digital Camera"));
    QCOMPARE(cb->itemText(14), QStringLiteral("Sony Digital Camera"));
  }
};

SNAPSALVAGER_WIZARD_TEST_MAIN(TestWizardScanOptions)
#include "tst_WizardScanOptions.moc"
