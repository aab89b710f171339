// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// The whole window from the welcome page to the finish page, as a user walks it: a FAT32
// card image with photos, videos and audio (some deleted) is scanned, previewed, one clip is
// unticked, and the rest is saved; the destination folder then holds the recovered files.
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QtTest>

#include <algorithm>
#include <filesystem>
#include <map>

#include "WizardTestSupport.h"
#include "fixtures/Jpegs.h"
#include "fixtures/MediaCard.h"
#include "wizard/Thumbnail.h"
#include "metadata/JpegDecode.h"

using namespace snapsalvager;
using namespace snapsalvager::test;
namespace fs = std::filesystem;

namespace {

bool StartsWith(const std::vector<uint8_t>& data, const std::vector<uint8_t>& prefix) {
  return data.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), data.begin());
}

}  // namespace

class TestRecoveryEndToEnd : public QObject {
  Q_OBJECT

 private slots:
  void WelcomeToFinishRecoversTheCardIntoTheDestination() {
    if (!fixtures::MediaToolsAvailable()) QSKIP("mkfs.fat, mtools, exiftool or ffmpeg missing");
    QTemporaryDir work;
    const fs::path root = work.path().toStdString();
    const fixtures::MediaCard card = fixtures::MakeMediaCard(root / "card");
    const QString dest = QString::fromStdString((root / "out").string()) + '/';

    TScriptedPrompter prompter;  // questions: No (go on); information: OK
    TDocumentRecorder documents;
    TDialogScript dialogs([](QDialog&) { return static_cast<int>(QDialog::Accepted); });
    SetFileChooser([&card](const QString&, const QString&) {
      return QString::fromStdString(card.Image.string());
    });
    auto form = MakeMainForm();
    form->show();

    // Welcome -> step 1: the card image as the drive, every kind of file, our folder.
    QTest::mouseClick(form->ui.BNext, Qt::LeftButton);
    QCOMPARE(form->CurrentPage(), 2);
    emit form->ui.CBDrive->activated(form->ui.CBDrive->count() - 1);
    QVERIFY(form->ui.CBDrive->currentIndex() > 0);
    form->ui.CPhoto->setChecked(true);
    form->ui.CVideo->setChecked(true);
    form->ui.CAudio->setChecked(true);
    form->ui.EDestFolder->setText(dest);

    // Step 2: the scan runs on its thread until the card's end.
    QTest::mouseClick(form->ui.BNext, Qt::LeftButton);
    QCOMPARE(form->CurrentPage(), 3);
    QTRY_VERIFY_WITH_TIMEOUT(form->ScanPage.ScanEnded, 60000);
    QVERIFY2(prompter.Messages.isEmpty(), qPrintable(prompter.Texts().join(" / ")));
    QVERIFY(form->ui.BNext->isEnabled());
    const size_t found = form->FoundFiles.Count();
    QVERIFY(found >= card.Files.size());

    std::map<std::string, int> jpgFound;
    for (size_t i = 0; i < found; ++i) ++jpgFound[form->FoundFiles[i].Ext];
    QCOMPARE(jpgFound["JPG"], 4);

    // Step 3: pages of six; photos decoded, the rest placeholders.
    QTest::mouseClick(form->ui.BNext, Qt::LeftButton);
    QCOMPARE(form->CurrentPage(), 4);
    Ui::PreviewPage& preview = form->previewUi;
    QCOMPARE(preview.CFileList->count(), static_cast<int>((found + 5) / 6));
    QCOMPARE(preview.CFileList->itemText(0),
             QStringLiteral("Page #1    File0001.JPG - ") +
                 QString::fromStdString(form->FoundFiles[std::min<size_t>(5, found - 1)].Name));
    QCOMPARE(form->PreviewPage.ThumbnailList.first()->PicStatus(), TJpegDecodeStatus::Image);
    // The photo's summary first; the name and date the card's entry gave it may follow.
    const QString tip = form->PreviewPage.ThumbnailList.first()->toolTip();
    const QString summary = QString::fromStdString(card.Files[0].Summary).replace('|', '\n');
    QVERIFY2(tip == summary || tip.startsWith(summary + '\n'), qPrintable(tip));
    // Untick the first video clip on the first page.
    int untickedSlot = -1;
    for (int s = 0; s < 6; ++s) {
      if (form->PreviewPage.SlotFiles[s] && form->PreviewPage.SlotFiles[s]->Ext == "MOV") untickedSlot = s;
    }
    QVERIFY(untickedSlot >= 0);
    const std::string untickedName = form->PreviewPage.SlotFiles[untickedSlot]->Name;
    QTest::mouseClick(form->PreviewPage.SlotBoxes[untickedSlot], Qt::LeftButton);
    QCOMPARE(preview.LNum2->text(), QString::number(found - 1));
    std::vector<std::pair<std::string, std::string>> expected;  // name, ext of ticked files
    for (size_t i = 0; i < found; ++i)
      if (form->FoundFiles[i].Selected)
        expected.emplace_back(form->FoundFiles[i].Name, form->FoundFiles[i].Ext);

    // Finish: the files are saved, the unticked one is not, the temporary folder is empty.
    // The post-processing help, offered after the save, is taken.
    prompter.Clear();
    prompter.Answers = {QMessageBox::Yes};
    QTest::mouseClick(form->ui.BNext, Qt::LeftButton);
    QCOMPARE(form->CurrentPage(), 5);
    QCOMPARE(form->finishUi.LNotice->text(), Tr("完成了整个恢复过程。"));
    QCOMPARE(form->finishUi.LFileName->text(), EngineText(TText::SavedIn) + dest);
    const fs::path out = dest.toStdString();
    QVERIFY(!fs::exists(out / untickedName));
    for (const auto& [name, ext] : expected) QVERIFY2(fs::exists(out / name), name.c_str());
    for (const auto& entry : fs::directory_iterator(out / "TmpFiles"))
      QVERIFY2(entry.path().filename() == "AboutThisFolder.txt", entry.path().string().c_str());

    // Each photo on the card, deleted ones too, is the start of a saved JPEG that decodes.
    int photos = 0;
    for (const fixtures::MediaFile& original : card.Files) {
      if (original.Ext != "JPG") continue;
      const std::vector<uint8_t> bytes = fixtures::ReadWholeFile(original.Original);
      bool matched = false;
      for (const auto& [name, ext] : expected) {
        if (ext != "JPG") continue;
        const std::vector<uint8_t> saved = fixtures::ReadWholeFile(out / name);
        if (!StartsWith(saved, bytes)) continue;
        matched = true;
        QCOMPARE(DecodeJpeg(saved.data(), saved.size(), 8).Status, TJpegDecodeStatus::Image);
      }
      QVERIFY2(matched, original.Name.c_str());
      ++photos;
    }
    QCOMPARE(photos, 4);

    // A video was saved, so the post-processing notice names the first one saved.
    QVERIFY(form->FinishPage.SpecialTypeFound);
    QVERIFY(form->finishUi.LPostProcess->isVisibleTo(form->finishUi.PTab5));
    QCOMPARE(prompter.Texts(), QStringList{PostProcessingQuestion(form->FinishPage.SpecialTypeExt)});
    QCOMPARE(documents.Opened.size(), 1);
    QVERIFY(documents.Opened.first().contains(QStringLiteral("filetype=")));

    QTest::mouseClick(form->ui.BNext, Qt::LeftButton);
    QCOMPARE(form->CurrentPage(), 1);
    QCOMPARE(form->FoundFiles.Count(), size_t{0});
    SetFileChooser({});
  }
};

SNAPSALVAGER_WIZARD_TEST_MAIN(TestRecoveryEndToEnd)
#include "tst_RecoveryEndToEnd.moc"
