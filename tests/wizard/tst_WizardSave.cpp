// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// The save pass and the finish page: ticked files restored and moved, unticked ones deleted,
// files that could not be saved kept and reported, the post-processing notice.
#include <QProgressBar>
#include <QTimer>
#include <QtTest>
#include <fstream>

#include "PreviewTestSupport.h"
#include "WizardTestSupport.h"
#include "metadata/JpegDecode.h"
#include "wizard/HelpLinks.h"

using namespace snapsalvager;
using namespace snapsalvager::test;
namespace fs = std::filesystem;

namespace {

QString DoneText() { return Tr("完成了整个恢复过程。"); }
QString SavedInText() { return EngineText(TText::SavedIn); }

std::vector<uint8_t> Photo(uint32_t salt) {
  fixtures::JpegOptions o;
  o.Width = 96;
  o.Height = 64;
  o.Texture = 6;
  o.Salt = salt;
  return fixtures::EncodeJpeg(o);
}

}  // namespace

class TestWizardSave : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<TScriptedPrompter> prompter;
  std::unique_ptr<TDocumentRecorder> documents;
  std::unique_ptr<TMainForm> form;
  std::unique_ptr<TScanLeftovers> scan;

  Ui::FinishPage& page() { return form->finishUi; }

  // Next on the preview page, as the user presses it.
  void SaveFromPreview() {
    form->ShowPage(form->ui.T4);
    form->EnterPreviewStep();
    QTest::mouseClick(form->ui.BNext, Qt::LeftButton);
  }

  // Runs action, presses Enter on the real message box it opens, and returns the caption of
  // that box's default button.
  QString EnterOnTheBoxOf(const std::function<void()>& action) {
    QString defaultButton;
    std::function<void()> pressEnter = [&defaultButton, &pressEnter] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (box == nullptr) {
        QTimer::singleShot(20, pressEnter);
        return;
      }
      defaultButton = box->defaultButton() ? box->defaultButton()->text() : QString();
      QTest::keyClick(box, Qt::Key_Return);
    };
    QTimer::singleShot(0, this, pressEnter);
    action();
    return defaultButton;
  }

 private slots:
  void init() {
    prompter = std::make_unique<TScriptedPrompter>();
    documents = std::make_unique<TDocumentRecorder>();
    form = MakeMainForm();
    form->show();
    scan = std::make_unique<TScanLeftovers>(*form);
  }
  void cleanup() {
    form.reset();
    scan.reset();
    documents.reset();
    prompter.reset();
  }

  void TickedPhotosAreSavedAsTheCarvedBytesAndUntickedOnesDeleted() {
    const std::vector<uint8_t> a = Photo(1), b = Photo(2), c = Photo(3);
    scan->Add("JPG", a);
    const fs::path bTemp = scan->Add("JPG", b).TempFile;
    scan->Add("JPG", c);
    form->FoundFiles[1].Selected = false;
    SaveFromPreview();

    QCOMPARE(form->CurrentPage(), 5);
    QCOMPARE(fixtures::ReadWholeFile(scan->Dest() / "File0001.JPG"), a);
    QCOMPARE(fixtures::ReadWholeFile(scan->Dest() / "File0003.JPG"), c);
    const std::vector<uint8_t> saved = fixtures::ReadWholeFile(scan->Dest() / "File0003.JPG");
    QCOMPARE(DecodeJpeg(saved.data(), saved.size(), 1).Status, TJpegDecodeStatus::Image);
    QVERIFY(!fs::exists(scan->Dest() / "File0002.JPG"));
    QVERIFY(!fs::exists(bTemp));
    QVERIFY(fs::is_empty(scan->Temp()));  // every temporary file moved or deleted

    QCOMPARE(page().LNotice->text(), DoneText());
    QCOMPARE(page().LFileName->text(), SavedInText() + scan->DestText());
    QCOMPARE(page().PBar3->value(), 3);  // a finished save shows a full bar
    QCOMPARE(page().PBar3->maximum(), 3);
    QVERIFY(page().LFilePercent->isHidden());
    QVERIFY(page().LPercent->isHidden());
    QVERIFY(page().LCurrentFileImage->isHidden());
    QCOMPARE(page().BFolder->toolTip(), scan->DestText());
    QCOMPARE(form->FoundFiles.Count(), size_t{0});
    QVERIFY(prompter->Messages.isEmpty());
    QVERIFY(documents->Opened.isEmpty());
    QVERIFY(page().LPostProcess->isHidden());
    QCOMPARE(form->ui.BNext->text(), Tr("完成"));
    QVERIFY(!form->ui.BBack->isEnabled());
    // The card map under the outcome, and beside the saved files.
    QVERIFY(!page().ImgCardMap->isHidden());
    QVERIFY(!QImage(QString::fromStdString((scan->Dest() / "card-map.png").string())).isNull());
    QVERIFY(page().ImgCardMap->toolTip().endsWith(
        Tr("已保存为 %1").arg(QString::fromStdString((scan->Dest() / "card-map.png").string()))));
  }

  void TheSavingLineNamesTheFileWhileItIsSaved() {
    scan->Add("JPG", Photo(1));
    QString seen;
    QTimer::singleShot(0, this, [&] {
      seen = page().LFileName->text();
      QVERIFY(page().LFilePercent->isVisibleTo(page().PTab5));
      QVERIFY(page().LCurrentFileImage->isVisibleTo(page().PTab5));
    });
    form->SaveSelectedFiles(scan->DestText());
    QCOMPARE(seen, EngineText(TText::SavingFile) + scan->DestText() + QStringLiteral("File0001.JPG"));
  }

  void WithEverythingUntickedNothingIsSavedAndThePassStillCompletes() {
    scan->AddClips(3);
    for (size_t i = 0; i < 3; ++i) form->FoundFiles[i].Selected = false;
    form->SaveSelectedFiles(scan->DestText());
    QVERIFY(fs::is_empty(scan->Temp()));
    for (const auto& entry : fs::directory_iterator(scan->Dest()))
      QVERIFY2(entry.path().filename() == "TmpFiles", entry.path().string().c_str());
    QCOMPARE(page().LNotice->text(), DoneText());
    QCOMPARE(page().LFileName->text(), SavedInText() + scan->DestText());
    QVERIFY(prompter->Messages.isEmpty());
  }

  void FilesOfOneSectorOrLessAreRestoredWhole() {
    std::vector<uint8_t> sector(512), shortFile(100);
    for (size_t i = 0; i < sector.size(); ++i) sector[i] = static_cast<uint8_t>(i * 7);
    for (size_t i = 0; i < shortFile.size(); ++i) shortFile[i] = static_cast<uint8_t>(200 - i);
    scan->Add("WAV", sector);
    scan->Add("AMR", shortFile);
    form->SaveSelectedFiles(scan->DestText());
    QCOMPARE(fixtures::ReadWholeFile(scan->Dest() / "File0001.WAV"), sector);
    QCOMPARE(fixtures::ReadWholeFile(scan->Dest() / "File0002.AMR"), shortFile);
  }

  void AnExistingFileIsLeftUnchangedAndTheNewFileSavedUnderTheNextFreeName() {
    const std::vector<uint8_t> earlier = {'e', 'a', 'r', 'l', 'i', 'e', 'r'};
    fixtures::WritePlainFile(scan->Dest() / "File0001.JPG", earlier);
    const std::vector<uint8_t> a = Photo(1), b = Photo(2);
    const fs::path aTemp = scan->Add("JPG", a).TempFile;
    scan->Add("JPG", b);
    SaveFromPreview();

    QCOMPARE(fixtures::ReadWholeFile(scan->Dest() / "File0001.JPG"), earlier);
    QCOMPARE(fixtures::ReadWholeFile(scan->Dest() / "File0002.JPG"), b);
    QCOMPARE(fixtures::ReadWholeFile(scan->Dest() / "File0003.JPG"), a);
    QVERIFY(!fs::exists(aTemp));
    QCOMPARE(page().LNotice->text(), DoneText());
    QCOMPARE(prompter->Texts(),
             QStringList{EngineText(TText::NameTakenSavedAs, {"File0001.JPG", "File0003.JPG"})});
    QCOMPARE(form->FinishPage.NotSavedFiles.size(), size_t{0});
    QCOMPARE(form->FoundFiles.Count(), size_t{0});
  }

  void NothingTickedAsksBeforeDeletingAndNoStaysOnThePreviewPage() {
    const fs::path temp = scan->Add("JPG", Photo(1)).TempFile;
    scan->Add("JPG", Photo(2));
    for (size_t i = 0; i < 2; ++i) form->FoundFiles[i].Selected = false;
    SaveFromPreview();
    QCOMPARE(prompter->Messages.size(), 1);
    QCOMPARE(prompter->Messages[0].Kind, TMessageKind::Deletion);
    QCOMPARE(prompter->Messages[0].Text, EmptySelectionQuestion(2));
    QVERIFY(prompter->Messages[0].Text.contains(QStringLiteral(" 2 ")));
    QCOMPARE(form->CurrentPage(), 4);
    QVERIFY(fs::exists(temp));

    prompter->Answers = {QMessageBox::Yes};
    QTest::mouseClick(form->ui.BNext, Qt::LeftButton);
    QCOMPARE(form->CurrentPage(), 5);
    QVERIFY(fs::is_empty(scan->Temp()));
  }

  // The real box (also under X in the window suites' X run): Enter takes the default, No.
  void TheEmptySelectionQuestionDefaultsToNo() {
    const fs::path temp = scan->Add("JPG", Photo(1)).TempFile;
    form->FoundFiles[0].Selected = false;
    prompter.reset();  // the real message box
    const QString defaultButton = EnterOnTheBoxOf([this] { SaveFromPreview(); });
    QCOMPARE(defaultButton, Tr("否(&N)"));
    QCOMPARE(form->CurrentPage(), 4);
    QVERIFY(fs::exists(temp));
  }

  // 文件 → 新建扫描 drops the found files from the list: the question counts the files whose
  // temporary files stay behind and names the folder; No stays with the list intact.
  void ANewScanFromThePreviewAsksAndNoKeepsTheList() {
    const fs::path temp = scan->Add("JPG", Photo(1)).TempFile;
    scan->Add("MOV", std::vector<uint8_t>(1024, 1));
    scan->AddMissing("JPG");  // nothing of it stays behind
    form->ShowPage(form->ui.T4);
    form->EnterPreviewStep();
    form->ui.NNewScan->setEnabled(true);
    form->ui.NNewScan->trigger();
    QCOMPARE(prompter->Messages.size(), 1);
    QCOMPARE(prompter->Messages[0].Kind, TMessageKind::Leaving);
    QCOMPARE(prompter->Messages[0].Text, NewScanLeavesFilesQuestion(2, scan->TempText()));
    QVERIFY(prompter->Messages[0].Text.contains(QStringLiteral(" 2 ")));
    QVERIFY(prompter->Messages[0].Text.contains(scan->TempText()));
    QCOMPARE(form->CurrentPage(), 4);
    QCOMPARE(form->FoundFiles.Count(), size_t{3});

    prompter->Answers = {QMessageBox::Yes};
    form->ui.NNewScan->trigger();
    QCOMPARE(form->CurrentPage(), 2);
    QVERIFY(fs::exists(temp));  // left behind, not deleted
  }

  // The real box: Enter takes the default, No, and the preview page stays.
  void TheNewScanQuestionDefaultsToStaying() {
    scan->Add("JPG", Photo(1));
    form->ShowPage(form->ui.T4);
    form->EnterPreviewStep();
    prompter.reset();  // the real message box
    form->ui.NNewScan->setEnabled(true);
    const QString defaultButton = EnterOnTheBoxOf([this] { form->ui.NNewScan->trigger(); });
    QCOMPARE(defaultButton, Tr("否(&N)"));
    QCOMPARE(form->CurrentPage(), 4);
    QCOMPARE(form->FoundFiles.Count(), size_t{1});
  }

  void ATickedFileWithoutItsTemporaryFileIsReportedWithoutACopy() {
    scan->AddMissing("JPG");
    form->SaveSelectedFiles(scan->DestText());
    QCOMPARE(page().LNotice->text(), Tr("恢复过程已结束，但有 %1 个文件未能保存。").arg(1));
    QCOMPARE(page().LFileName->text(), SavedInText() + scan->DestText());
    QCOMPARE(prompter->Messages.size(), 1);
    QVERIFY(!prompter->Messages.first().Text.contains(QStringLiteral("临时副本")));
  }

  // The help page is offered, not forced: Yes opens it, No leaves it to the page's link.
  void CrwThenMovOfferThePostProcessPageNamingCrw() {
    scan->Add("JPG", Photo(1));
    scan->Add("CRW", std::vector<uint8_t>(2048, 1));
    scan->Add("MOV", std::vector<uint8_t>(2048, 2));
    prompter->Answers = {QMessageBox::Yes};
    SaveFromPreview();

    QCOMPARE(form->FinishPage.SpecialTypeExt, QStringLiteral(".CRW"));
    QVERIFY(page().LPostProcess->isVisibleTo(page().PTab5));
    QVERIFY(page().LPostProcess2Link->isVisibleTo(page().PTab5));
    QVERIFY(page().imgPostProcess->isVisibleTo(page().PTab5));
    QCOMPARE(
        prompter->Texts(),
        QStringList{
            Tr("重要说明： 已恢复的文件包含\"%1\"文件。那些已恢复的文件在某些情况下可能需要后处理"
               "或他们不能正常打开。\r\n\r\n要现在打开介绍后处理工具的帮助页面吗？")
                .arg(QStringLiteral(".CRW"))});
    QCOMPARE(prompter->Messages.first().Kind, TMessageKind::Confirmation);
    QCOMPARE(documents->Opened, QStringList{PostProcessLink(".CRW")});
    QVERIFY(documents->Opened.first().endsWith(QStringLiteral("rid=postprocess&filetype=crw")));

    QTest::mouseClick(page().LPostProcess2Link, Qt::LeftButton);
    QCOMPARE(documents->Opened.size(), 2);
    QCOMPARE(documents->Opened.last(), PostProcessLink(".CRW"));
  }

  void DecliningThePostProcessOfferOpensNothing() {
    scan->Add("MOV", std::vector<uint8_t>(2048, 2));
    prompter->Answers = {QMessageBox::No};
    SaveFromPreview();
    QCOMPARE(prompter->Texts(), QStringList{PostProcessingQuestion(QStringLiteral(".MOV"))});
    QVERIFY(documents->Opened.isEmpty());
    QVERIFY(page().LPostProcess2Link->isVisibleTo(page().PTab5));
  }

  // Closing during the save keeps the window and its progress; after the pass (all files
  // saved, no further question) it closes. No goes on as if nothing was asked.
  void QuittingWhileSavingWaitsForTheSaveToEnd_data() {
    QTest::addColumn<bool>("quit");
    QTest::newRow("yes") << true;
    QTest::newRow("no") << false;
  }
  void QuittingWhileSavingWaitsForTheSaveToEnd() {
    QFETCH(bool, quit);
    for (int i = 1; i <= 3; ++i) scan->Add("JPG", Photo(i));
    scan->Add("MOV", std::vector<uint8_t>(2048, 2));
    bool visibleAfterClose = false;
    QString progressAfterClose;
    // Closed from the event loop the pass runs while a file is saved.
    std::function<void()> closeWhileSaving = [&] {
      if (!form->SaveInProgress) {
        QTimer::singleShot(0, this, closeWhileSaving);
        return;
      }
      form->close();
      visibleAfterClose = form->isVisible();
      progressAfterClose = page().LFileName->text();
    };
    QTimer::singleShot(0, this, closeWhileSaving);
    prompter->Answers = {quit ? QMessageBox::Yes : QMessageBox::No};
    SaveFromPreview();
    QVERIFY(visibleAfterClose);
    QVERIFY2(progressAfterClose.startsWith(EngineText(TText::SavingFile)), qPrintable(progressAfterClose));
    QVERIFY(!prompter->Messages.isEmpty());
    QCOMPARE(prompter->Texts().first(), SaveRunningQuitQuestion());
    for (int i = 1; i <= 3; ++i)
      QVERIFY(fs::exists(scan->Dest() / QStringLiteral("File%1.JPG").arg(i, 4, 10, QLatin1Char('0')).toStdString()));
    if (quit) {
      // Gone once the pass has ended, without the post-processing offer.
      QTRY_VERIFY(!form->isVisible());
      QCOMPARE(prompter->Texts().size(), 1);
    } else {
      QTest::qWait(50);
      QVERIFY(form->isVisible());
      QCOMPARE(prompter->Texts().last(), PostProcessingQuestion(QStringLiteral(".MOV")));
    }
  }

  // From the preview page, quitting says what happens to the found files.
  void QuittingFromThePreviewSaysWhereTheFoundFilesStay() {
    scan->Add("JPG", Photo(1));
    scan->Add("JPG", Photo(2));
    form->ShowPage(form->ui.T4);
    prompter->Answers = {QMessageBox::No};
    form->close();
    QVERIFY(form->isVisible());
    QCOMPARE(prompter->Messages.size(), 1);
    QCOMPARE(prompter->Messages.first().Kind, TMessageKind::Leaving);
    QCOMPARE(prompter->Messages.first().Text, QuitLeavesFilesQuestion(2, form->ScanOptionsPage.TempFolder));
    QCOMPARE(QuitLeavesFilesQuestion(2, QStringLiteral("/d/TmpFiles/")),
             Tr("你确定现在退出 Snapsalvager?\r\n\r\n这次扫描找到的 %1 个文件还没有保存。它们不会被删除，"
                "其临时文件保留在 %2 中，以后可以用 snapsalvager-cli restore 命令保存它们。")
                 .arg(2)
                 .arg(QStringLiteral("/d/TmpFiles/")));
    QCOMPARE(SaveRunningQuitQuestion(),
             Tr("Snapsalvager 正在保存恢复的文件。窗口将保持打开，直到保存完成。\r\n\r\n保存完成后退出 Snapsalvager 吗？"));
    QVERIFY(fs::exists(form->FoundFiles[0].TempFile));
  }

  void OnlyTickedFilesRaiseTheNotice() {
    scan->Add("MOV", std::vector<uint8_t>(1024, 1));
    scan->Add("AVI", std::vector<uint8_t>(1024, 2));
    form->FoundFiles[0].Selected = false;
    form->SaveSelectedFiles(scan->DestText());
    QVERIFY(form->FinishPage.SpecialTypeFound);
    QCOMPARE(form->FinishPage.SpecialTypeExt, QStringLiteral(".AVI"));

    scan->Add("CRW", std::vector<uint8_t>(1024, 3));
    form->FoundFiles[0].Selected = false;
    form->SaveSelectedFiles(scan->DestText());
    QVERIFY(!form->FinishPage.SpecialTypeFound);  // cleared at the start of every pass
    QVERIFY(form->FinishPage.SpecialTypeExt.isEmpty());
  }

  // A special file that could not be saved (its temporary file gone) and nothing else: no
  // notice, no page opened, no red note on the end page.
  void NothingSavedRaisesNoNotice() {
    scan->Add("MOV", std::vector<uint8_t>(1024, 1));
    fs::remove(form->FoundFiles[0].TempFile);
    SaveFromPreview();
    QVERIFY(!form->FinishPage.SpecialTypeFound);
    QVERIFY(!page().LPostProcess->isVisibleTo(page().PTab5));
    QVERIFY(documents->Opened.isEmpty());
    QCOMPARE(prompter->Messages.size(), 1);  // only the file that was not saved
  }

  void OpenFolderOpensTheDestinationOfTheLastPass() {
    scan->AddClips(1, "WAV");
    SaveFromPreview();
    QTest::mouseClick(page().BFolder, Qt::LeftButton);
    QCOMPARE(documents->Opened, QStringList{scan->DestText()});
  }

  void FinishReturnsToTheWelcomePage() {
    scan->AddClips(2);
    SaveFromPreview();
    QTest::mouseClick(form->ui.BNext, Qt::LeftButton);
    QCOMPARE(form->CurrentPage(), 1);
    QCOMPARE(form->ui.BNext->text(), Tr("下一步 >"));
    QVERIFY(!form->ui.BBack->isEnabled());
  }
};

SNAPSALVAGER_WIZARD_TEST_MAIN(TestWizardSave)
#include "tst_WizardSave.moc"
