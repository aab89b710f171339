// The save pass and the finish page: ticked files restored and moved, unticked ones deleted,
// files that could not be saved kept and reported, the post-processing notice.
#include <QProgressBar>
#include <QTimer>
#include <QtTest>

#include "PreviewTestSupport.h"
#include "WizardTestSupport.h"
#include "metadata/JpegDecode.h"
#include "wizard/HelpLinks.h"

using namespace snapsalvager;
using namespace snapsalvager::test;
namespace fs = std::filesystem;

namespace {

const QString kDone = QStringLiteral("完成了整个恢复过程。");
const QString kSavedIn = EngineText(TText::SavedIn);

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

    QCOMPARE(page().LNotice->text(), kDone);
    QCOMPARE(page().LFileName->text(), kSavedIn + scan->DestText());
    QCOMPARE(page().PBar3->value(), 0);
    QCOMPARE(page().PBar3->maximum(), 3);
    QVERIFY(page().LFilePercent->isHidden());
    QVERIFY(page().LPercent->isHidden());
    QVERIFY(page().LCurrentFileImage->isHidden());
    QCOMPARE(page().BFolder->toolTip(), scan->DestText());
    QCOMPARE(form->FoundFiles.Count(), size_t{0});
    QVERIFY(prompter->Messages.isEmpty());
    QVERIFY(documents->Opened.isEmpty());
    QVERIFY(page().LPostProcess->isHidden());
    QCOMPARE(form->ui.BNext->text(), QStringLiteral("完成"));
    QVERIFY(!form->ui.BBack->isEnabled());
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
      QVERIFY2(entry.path().filename() == "TmpFiles", entry.path().c_str());
    QCOMPARE(page().LNotice->text(), kDone);
    QCOMPARE(page().LFileName->text(), kSavedIn + scan->DestText());
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

  void AnExistingFileIsLeftUnchangedAndTheUnsavedFileReportedAndKept() {
    const std::vector<uint8_t> earlier = {'e', 'a', 'r', 'l', 'i', 'e', 'r'};
    fixtures::WritePlainFile(scan->Dest() / "File0001.JPG", earlier);
    const std::vector<uint8_t> a = Photo(1), b = Photo(2);
    const fs::path aTemp = scan->Add("JPG", a).TempFile;
    scan->Add("JPG", b);
    SaveFromPreview();

    QCOMPARE(fixtures::ReadWholeFile(scan->Dest() / "File0001.JPG"), earlier);
    QCOMPARE(fixtures::ReadWholeFile(scan->Dest() / "File0002.JPG"), b);
    // Its only copy stays a valid temporary file.
    QVERIFY(fs::exists(aTemp));
    QCOMPARE(ReadPreviewBytes(aTemp, true), a);

    const QString tempText = QString::fromStdString(scan->Temp().string()) + '/';
    QCOMPARE(page().LNotice->text(), QStringLiteral("恢复过程已结束，但有 1 个文件未能保存。"));
    QVERIFY(page().LNotice->text() != kDone);
    QCOMPARE(page().LFileName->text(), kSavedIn + scan->DestText() +
                                           QStringLiteral("\n未能保存的文件的临时副本保留在 ") +
                                           tempText);
    QCOMPARE(prompter->Texts(),
             QStringList{QStringLiteral("注意： 有 1 个选中的文件未能保存到 %1（该文件夹中可能已有同名的文件）："
                                        "\r\nFile0001.JPG\r\n\r\n"
                                        "它们的临时副本（1 个）没有被删除，保留在 %2 中。\r\n"
                                        "以后可以用此命令保存它们：snapsalvager-cli restore %2Temporary_v5_File*.~QX %1")
                             .arg(scan->DestText(), tempText)});
    QCOMPARE(form->NotSavedFiles.size(), size_t{1});
    QCOMPARE(form->FoundFiles.Count(), size_t{0});
  }

  void ATickedFileWithoutItsTemporaryFileIsReportedWithoutACopy() {
    scan->AddMissing("JPG");
    form->SaveSelectedFiles(scan->DestText());
    QCOMPARE(page().LNotice->text(), QStringLiteral("恢复过程已结束，但有 1 个文件未能保存。"));
    QCOMPARE(page().LFileName->text(), kSavedIn + scan->DestText());
    QCOMPARE(prompter->Messages.size(), 1);
    QVERIFY(!prompter->Messages.first().Text.contains(QStringLiteral("临时副本")));
  }

  void CrwThenMovShowTheNoticeNamingCrwAndOpenThePostProcessPage() {
    scan->Add("JPG", Photo(1));
    scan->Add("CRW", std::vector<uint8_t>(2048, 1));
    scan->Add("MOV", std::vector<uint8_t>(2048, 2));
    SaveFromPreview();

    QCOMPARE(form->SpecialTypeExt, QStringLiteral(".CRW"));
    QVERIFY(page().LPostProcess->isVisibleTo(page().PTab5));
    QVERIFY(page().LPostProcess2Link->isVisibleTo(page().PTab5));
    QVERIFY(page().imgPostProcess->isVisibleTo(page().PTab5));
    QCOMPARE(prompter->Texts(),
             QStringList{QStringLiteral(
                 "重要说明： 已恢复的文件包含\".CRW\"文件。那些已恢复的文件在某些情况下可能需要后处理或他们不能"
                 "正常打开。单击 [确定]，Snapsalvager 将您带入支持网页下载后处理工具。")});
    QCOMPARE(documents->Opened, QStringList{PostProcessLink(".CRW")});
    QVERIFY(documents->Opened.first().endsWith(QStringLiteral("rid=postprocess&filetype=crw")));

    QTest::mouseClick(page().LPostProcess2Link, Qt::LeftButton);
    QCOMPARE(documents->Opened.size(), 2);
    QCOMPARE(documents->Opened.last(), PostProcessLink(".CRW"));
  }

  void OnlyTickedFilesRaiseTheNotice() {
    scan->Add("MOV", std::vector<uint8_t>(1024, 1));
    scan->Add("AVI", std::vector<uint8_t>(1024, 2));
    form->FoundFiles[0].Selected = false;
    form->SaveSelectedFiles(scan->DestText());
    QVERIFY(form->SpecialTypeFound);
    QCOMPARE(form->SpecialTypeExt, QStringLiteral(".AVI"));

    scan->Add("CRW", std::vector<uint8_t>(1024, 3));
    form->FoundFiles[0].Selected = false;
    form->SaveSelectedFiles(scan->DestText());
    QVERIFY(!form->SpecialTypeFound);  // cleared at the start of every pass
    QVERIFY(form->SpecialTypeExt.isEmpty());
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
    QCOMPARE(form->ui.BNext->text(), QStringLiteral("下一步 >"));
    QVERIFY(!form->ui.BBack->isEnabled());
  }
};

QTEST_MAIN(TestWizardSave)
#include "tst_WizardSave.moc"
