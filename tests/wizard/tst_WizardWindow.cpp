// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// The wizard window: start-up state, the step indicator, the page state machine with its
// button rules, the refused tab clicks and the close questions.
#include <QMenu>
#include <QSignalSpy>
#include <QTabBar>
#include <QtTest>

#include <cerrno>
#include <cstring>

#include "fixtures/CardImage.h"
#include "WizardTestSupport.h"
#include "card/DriveReads.h"
#include "card/LinuxDrives.h"
#ifndef _WIN32
#include "wizard/UDisks2Client.h"
#endif

using namespace snapsalvager;
using namespace snapsalvager::test;

namespace {

QString TabRefusedText() { return Tr("请点击“下一步”按钮继续，或“返回”按钮返回。"); }
QString QuitQuestionText() { return Tr("你确定现在退出 Snapsalvager?"); }
QString QuitDuringScanText() {
  return Tr("Snapsalvager 正在扫描你的内存卡。您确定要终止扫描并退出 Snapsalvager 吗？");
}
QString BackFromPreviewText() {
  return Tr(
      "请注意，“步骤3 - 预览”点击[返回]按钮将回到“步骤1 - "
      "扫描选项”。如果你想从存储卡中恢复丢失的照片,"
      "您将需要再次进行扫描。\r\n\r\n你一定要返回到“步骤1 - 扫描选项”吗?");
}

// Found files as a scan leaves them: temporary files in the form's TempFolder.
void AddRecords(TMainForm& form, int count, const QString& type = QStringLiteral("JPG")) {
  QDir().mkpath(form.ScanOptionsPage.TempFolder);
  for (int i = 1; i <= count; ++i) {
    TFoundFile f;
    f.Name = RecoveredFileName(static_cast<uint32_t>(i), type.toStdString());
    f.Ext = type.toStdString();
    f.Size = 1024;
    f.TempFile = (form.ScanOptionsPage.TempFolder + QString::fromStdString(
                      TemporaryFileName(static_cast<uint32_t>(i), type.toStdString()))).toStdString();
    f.Info = "N/A";
    QFile file(QString::fromStdString(f.TempFile.string()));
    if (file.open(QIODevice::WriteOnly)) file.write(QByteArray(1024, 'x'));
    form.FoundFiles.Append(f);
  }
}

QImage ImageOf(const QLabel* label) { return label->pixmap().toImage(); }

}  // namespace

class TestWizardWindow : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<TScriptedPrompter> prompter;
  std::unique_ptr<TMainForm> form;
  std::unique_ptr<QTemporaryDir> work;

  void ClickNext() { QTest::mouseClick(form->ui.BNext, Qt::LeftButton); }
  void ClickBack() { QTest::mouseClick(form->ui.BBack, Qt::LeftButton); }

  // The indicator shows `step` (1..6) exactly as tabled.
  void VerifyStep(int step) {
    QLabel* images[] = {form->ui.Img1, form->ui.Img2, form->ui.Img3, form->ui.Img4, form->ui.Img5};
    QLabel* labels[] = {form->ui.L1, form->ui.L2, form->ui.L3, form->ui.L4, form->ui.L5};
    for (int i = 1; i <= 5; ++i) {
      const QLabel* mark = i < step ? form->ui.S2 : form->ui.S1;
      QVERIFY2(ImageOf(images[i - 1]) == ImageOf(mark), qPrintable(QStringLiteral("Img%1").arg(i)));
      const bool current = i == step;
      QCOMPARE(labels[i - 1]->font().bold(), current);
      QCOMPARE(labels[i - 1]->palette().color(QPalette::WindowText),
               current ? QColor(Qt::black) : QColor(0x80, 0x80, 0x80));
    }
  }

  void VerifyButtons(bool back, bool next, const QString& caption) {
    QCOMPARE(form->ui.BBack->isEnabled(), back);
    QCOMPARE(form->ui.BNext->isEnabled(), next);
    QCOMPARE(form->ui.BNext->text(), caption);
  }

  // Puts the window on the preview page as after a scan that found `files` files.
  void ArriveOnPreview(int files) {
    AddRecords(*form, files);
    form->ShowPage(form->ui.T3);
    form->ShowStep(3);
    ClickNext();
    QCOMPARE(form->CurrentPage(), 4);
  }

 private slots:
  void initTestCase() {
#ifndef _WIN32
    // No udisks2 here: the start-up questions below must not depend on this machine's bus.
    TUDisks2Client::SetBusAddressForTests(QStringLiteral("unix:path=/nonexistent"));
#endif
  }

  void init() {
    prompter = std::make_unique<TScriptedPrompter>();
    form = MakeMainForm();
    work = std::make_unique<QTemporaryDir>();
    form->ScanOptionsPage.DestFolder = work->path() + "/";
    form->ScanOptionsPage.TempFolder = form->ScanOptionsPage.DestFolder + "TmpFiles/";
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));
  }

  void cleanup() {
    form.reset();
    prompter.reset();
    work.reset();
    LinuxDrives::DetachAll();
  }

  void WindowStartsOnWelcomeWithTheDesignedFrame() {
    QCOMPARE(form->ui.centralwidget->size(), QSize(744, 487));
    QCOMPARE(form->minimumSize(), form->maximumSize());
    QCOMPARE(form->windowTitle(), QStringLiteral("Snapsalvager v6.10 build 1210"));
    QCOMPARE(form->ui.LTitle->text(), QStringLiteral("Snapsalvager"));
    QVERIFY(form->ui.LTitle->font().bold());
    QCOMPARE(form->CurrentPage(), 1);
    VerifyStep(1);
    VerifyButtons(false, true, Tr("下一步 >"));
    QCOMPARE(form->ui.BBack->text(), Tr("< 返回", "MainForm"));
    QCOMPARE(form->ui.BCancel->text(), Tr("关闭", "MainForm"));
    QVERIFY(!form->ScanPage.ScanInProgress);
    QVERIFY(!form->ui.CVideo->isChecked());
    QVERIFY(!form->ui.LVideoFileType->isVisible());
    QCOMPARE(form->ScanOptionsPage.ChosenVideoType, QStringLiteral("ALL"));
    QCOMPARE(form->ui.CBCamera->currentText(), QStringLiteral("Generic Digital Camera"));
    QCOMPARE(form->ui.EDestFolder->text(), form->DefaultDestFolder);
    QVERIFY(prompter->Messages.isEmpty());

    const QStringList tabs = {Tr("欢迎使用", "MainForm"), Tr("第 1 步-", "MainForm"),
                              Tr("第 2 步-", "MainForm"), Tr("第 3 步-", "MainForm"), Tr("完成")};
    for (int i = 0; i < tabs.size(); ++i) QCOMPARE(form->ui.PC->tabText(i), tabs[i]);
    QCOMPARE(form->ui.LTopNoteStep1->text(), Tr("扫描选项", "MainForm"));
    QCOMPARE(form->scanUi.LTopNoteStep2->text(), Tr("扫描进度", "ScanPage"));
    QCOMPARE(form->previewUi.LTopNoteStep3->text(), Tr("结果预览", "PreviewPage"));
    QCOMPARE(form->finishUi.LTopNoteStepComplete->text(), Tr("恢复完成", "FinishPage"));
    // Every page shows the welcome page's top bar.
    const QImage bar = ImageOf(form->ui.imgTopBar);
    QVERIFY(!bar.isNull());
    QCOMPARE(ImageOf(form->ui.imgTopBarStep1), bar);
    QCOMPARE(ImageOf(form->scanUi.imgTopBarStep2), bar);
    QCOMPARE(ImageOf(form->previewUi.imgTopBarStep3), bar);
    QCOMPARE(ImageOf(form->finishUi.imgTopBarStepComplete), bar);
  }

  void MenuHoldsEveryItemInOrder() {
    auto texts = [](QMenu* menu) {
      QStringList t;
      for (QAction* a : menu->actions()) t << (a->isSeparator() ? QStringLiteral("-") : a->text());
      return t;
    };
    QCOMPARE(form->ui.File1->title(), Tr("文件(&F)", "MainForm"));
    QCOMPARE(texts(form->ui.File1),
             QStringList({Tr("新建扫描 （转到第 1 步）", "MainForm"),
                          Tr("深度扫描（精确文件结尾）", "MainForm"),
                          Tr("扫描时保存存储卡映像…", "MainForm"), "-", Tr("退出", "MainForm")}));
    // Deep scan and the card image: switches, off at start.
    QVERIFY(form->ui.NDeepScan->isCheckable());
    QVERIFY(!form->ui.NDeepScan->isChecked());
    QVERIFY(form->ui.NCardImage->isCheckable());
    QVERIFY(!form->ui.NCardImage->isChecked());
    QCOMPARE(form->ui.Help1->title(), Tr("帮助(&H)", "MainForm"));
    QCOMPARE(texts(form->ui.Help1),
             QStringList({Tr("Snapsalvager 帮助", "MainForm"), "-",
                          Tr("Snapsalvager 网站", "MainForm"), Tr("Snapsalvager 支持", "MainForm"),
                          Tr("检查 Snapsalvager 更新", "MainForm"), "-", Tr("关于", "MainForm")}));
  }

  void DefaultDestFolderIsDocumentsSnapsalvagerAndDate() {
    QCOMPARE(TMainForm::MakeDefaultDestFolder(QStringLiteral("/home/ann/Documents"), QDate(2027, 3, 1)),
             QStringLiteral("/home/ann/Documents/Snapsalvager/2027-03-01/"));
    QCOMPARE(TMainForm::MakeDefaultDestFolder(QStringLiteral("/docs/"), QDate(2026, 12, 6)),
             QStringLiteral("/docs/Snapsalvager/2026-12-06/"));
    QVERIFY(form->DefaultDestFolder.endsWith(
        QStringLiteral("/Snapsalvager/") + QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd")) + "/"));
  }

  void ShowStepMarksEarlierStepsDone_data() {
    QTest::addColumn<int>("step");
    for (int s = 1; s <= 6; ++s) QTest::addRow("step %d", s) << s;
  }
  void ShowStepMarksEarlierStepsDone() {
    QFETCH(int, step);
    form->ShowStep(3);  // a different state first: ShowStep must reset everything
    form->ShowStep(step);
    VerifyStep(step);
  }

  void LabelsAreStyledAndTitlesRightAligned() {
    QCOMPARE(form->ui.LDriveTitle->palette().color(QPalette::WindowText), QColor(0x00, 0x33, 0x99));
    QCOMPARE(form->ui.LFolderTitle->palette().color(QPalette::WindowText), QColor(0x00, 0x33, 0x99));
    QCOMPARE(form->ui.LDriveNoteLink->palette().color(QPalette::WindowText), QColor(0x00, 0x66, 0xCC));
    QCOMPARE(form->finishUi.LPostProcess2Link->palette().color(QPalette::WindowText),
             QColor(0x00, 0x66, 0xCC));
    const int width = form->ui.PTab1->width();
    for (QLabel* title : {form->ui.LWelcome, form->ui.LTopNoteStep1, form->scanUi.LTopNoteStep2,
                          form->previewUi.LTopNoteStep3, form->finishUi.LTopNoteStepComplete})
      QCOMPARE(title->x() + title->width(), width - 25);
    QCOMPARE(form->ui.LWelcomeTitle->x(), (width - form->ui.LWelcomeTitle->width()) / 2);
  }

  void ClickingATabIsRefused() {
    form->BNextClick();
    QCOMPARE(form->CurrentPage(), 2);
    QTabBar* tabs = form->ui.PC->tabBar();
    QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(3).center());
    QCOMPARE(form->CurrentPage(), 2);
    QCOMPARE(prompter->Texts(), QStringList{TabRefusedText()});
    QCOMPARE(prompter->Messages[0].Kind, TMessageKind::Information);

    QTest::keyClick(form->ui.PC, Qt::Key_Tab, Qt::ControlModifier);
    QCOMPARE(form->CurrentPage(), 2);
    QCOMPARE(prompter->Texts(), QStringList({TabRefusedText(), TabRefusedText()}));
  }

  void WelcomeNextShowsOptionsWithAFreshDriveList() {
    ClickNext();
    QCOMPARE(form->CurrentPage(), 2);
    VerifyStep(2);
    VerifyButtons(true, true, Tr("下一步 >"));
    QCOMPARE(form->ui.CBDrive->currentIndex(), 0);
    QCOMPARE(form->ui.CBDrive->currentText(), Tr("请选择您的存储卡的盘符..."));
  }

  void OptionsBackReturnsToWelcome() {
    ClickNext();
    ClickBack();
    QCOMPARE(form->CurrentPage(), 1);
    VerifyStep(1);
    VerifyButtons(false, true, Tr("下一步 >"));
  }

  void FailedValidationStaysOnOptionsWithBothButtons() {
    ClickNext();
    ClickNext();  // no drive chosen
    QCOMPARE(prompter->Texts(), QStringList{EngineText(TText::NoDrive)});
    QCOMPARE(form->CurrentPage(), 2);
    VerifyStep(2);
    VerifyButtons(true, true, Tr("下一步 >"));
  }

  void ScanPageBackAfterTheScanReturnsToOptions() {
    form->ShowPage(form->ui.T3);
    form->ShowStep(3);
    form->ScanPage.FinishScan();  // the scan has ended; Back is offered
    ClickBack();
    QCOMPARE(form->CurrentPage(), 2);
    VerifyStep(2);
    VerifyButtons(true, true, Tr("下一步 >"));
  }

  void ScanPageNextEntersThePreview() {
    ArriveOnPreview(3);
    VerifyStep(4);
    VerifyButtons(true, true, Tr("下一步 >"));
  }

  void PreviewBackWith29FilesAsksNothing() {
    ArriveOnPreview(29);
    ClickBack();
    QVERIFY(prompter->Messages.isEmpty());
    QCOMPARE(form->CurrentPage(), 2);
    VerifyStep(2);
    VerifyButtons(true, true, Tr("下一步 >"));
  }

  void PreviewBackWith30FilesAsksAndNoKeepsThePreview() {
    ArriveOnPreview(30);
    prompter->Answers = {QMessageBox::No};
    ClickBack();
    QCOMPARE(prompter->Texts(), QStringList{BackFromPreviewText()});
    QCOMPARE(prompter->Messages[0].Kind, TMessageKind::Confirmation);
    QCOMPARE(form->CurrentPage(), 4);
    VerifyStep(4);
    VerifyButtons(true, true, Tr("下一步 >"));
  }

  void PreviewBackWith30FilesGoesBackUnlessNo() {
    ArriveOnPreview(30);
    prompter->Answers = {QMessageBox::Cancel};  // a box closed otherwise counts as going back
    ClickBack();
    QCOMPARE(form->CurrentPage(), 2);
    VerifyStep(2);
    QCOMPARE(form->FoundFiles.Count(), size_t(30));
  }

  void PreviewNextSavesAndFinishes() {
    ArriveOnPreview(2);
    ClickNext();
    QCOMPARE(form->CurrentPage(), 5);
    VerifyStep(6);
    VerifyButtons(false, true, Tr("完成"));
    QCOMPARE(form->FoundFiles.Count(), size_t(0));
    QVERIFY(!form->finishUi.LPostProcess->isVisibleTo(form.get()));
    QVERIFY(!form->finishUi.LPostProcess2Link->isVisibleTo(form.get()));
    QVERIFY(prompter->Messages.isEmpty());
    QVERIFY(QFileInfo::exists(form->ScanOptionsPage.DestFolder + "File0001.JPG"));
    QVERIFY(QFileInfo::exists(form->ScanOptionsPage.DestFolder + "File0002.JPG"));
  }

  void SavingASpecialTypeShowsTheNoticeAndOpensThePage() {
    TDocumentRecorder documents;
    prompter->Answers = {QMessageBox::Yes};
    AddRecords(*form, 2, QStringLiteral("CRW"));
    form->ShowPage(form->ui.T3);
    ClickNext();
    ClickNext();
    QCOMPARE(form->CurrentPage(), 5);
    QCOMPARE(
        prompter->Texts(),
        QStringList{PostProcessingQuestion(QStringLiteral(".CRW"))});
    QCOMPARE(documents.Opened, QStringList{PostProcessLink(QStringLiteral(".CRW"))});
    QVERIFY(form->finishUi.LPostProcess->isVisibleTo(form.get()));
    QVERIFY(form->finishUi.LPostProcess2Link->isVisibleTo(form.get()));
    QVERIFY(form->finishUi.imgPostProcess->isVisibleTo(form.get()));
    VerifyButtons(false, true, Tr("完成"));
  }

  void FinishReturnsToWelcomeWithAnEmptyList() {
    ArriveOnPreview(2);
    ClickNext();
    AddRecords(*form, 1);  // whatever is left is dropped
    ClickNext();
    QCOMPARE(form->CurrentPage(), 1);
    VerifyStep(1);
    QCOMPARE(form->FoundFiles.Count(), size_t(0));
    VerifyButtons(false, true, Tr("下一步 >"));
  }

  // After a recovery the menu's new scan shows step 2 as the options page it is: the
  // indicator, Back to the welcome page and Next to the scan follow the page.
  void NewScanFromAnyPageShowsTheOptionsStep() {
    for (const int files : {1, 0}) {
      ArriveOnPreview(1);
      if (files == 1) ClickNext();  // from the end page; else from the preview page
      prompter->Answers = {QMessageBox::Yes};  // leave the found file behind
      form->ui.NNewScan->trigger();
      QCOMPARE(form->CurrentPage(), 2);
      VerifyStep(2);
      VerifyButtons(true, true, Tr("下一步 >"));
      ClickBack();
      QCOMPARE(form->CurrentPage(), 1);
      VerifyStep(1);
      ClickNext();
    }
  }

  // Chooses the card on the options page as the user would.
  void ChooseCard(char letter) {
    for (int i = 0; i < form->ui.CBDrive->count(); ++i)
      if (form->ui.CBDrive->itemData(i, TScanOptionsPage::kDriveRowRole).toInt() == letter - 'A')
        form->ui.CBDrive->setCurrentIndex(i);
    QCOMPARE(form->ui.CBDrive->currentData(TScanOptionsPage::kDriveRowRole).toInt(), letter - 'A');
  }

  void AWholeRecoveryWalksEveryPage() {
    const char letter = fixtures::CardImage(4096).noise().jpegAt(10).jpegAt(300).attach();
    QVERIFY(letter != 0);
    TDialogScript scanDone([](QDialog&) { return int(QDialog::Accepted); });
    ClickNext();
    ChooseCard(letter);
    form->ui.EDestFolder->setText(work->filePath(QStringLiteral("photos")));
    ClickNext();
    QCOMPARE(form->CurrentPage(), 3);
    VerifyStep(3);
    QVERIFY(form->ScanPage.ScanInProgress);
    VerifyButtons(false, false, Tr("下一步 >"));
    QTRY_VERIFY_WITH_TIMEOUT(!form->ScanPage.ScanInProgress, 20000);
    QCOMPARE(form->FoundFiles.Count(), size_t(2));
    VerifyButtons(true, true, Tr("下一步 >"));

    ClickNext();
    QCOMPARE(form->CurrentPage(), 4);
    VerifyStep(4);
    ClickNext();
    QCOMPARE(form->CurrentPage(), 5);
    VerifyStep(6);
    VerifyButtons(false, true, Tr("完成"));
    QVERIFY(QFileInfo::exists(work->filePath(QStringLiteral("photos/File0001.JPG"))));
    QVERIFY(QFileInfo::exists(work->filePath(QStringLiteral("photos/File0002.JPG"))));
    ClickNext();
    QCOMPARE(form->CurrentPage(), 1);
    VerifyButtons(false, true, Tr("下一步 >"));
    QVERIFY(prompter->Messages.isEmpty());
    // The next scan starts with the card of this one still chosen.
    ClickNext();
    QCOMPARE(form->ui.CBDrive->currentData(TScanOptionsPage::kDriveRowRole).toInt(), letter - 'A');
  }

  // A card that cannot be opened is said so before anything is made in the destination.
  void ACardThatDoesNotOpenLeavesTheDestinationUnmade() {
    const char letter = LinuxDrives::AttachSource("gone.img", DRIVE_REMOVABLE, [] {
      errno = EIO;
      return std::unique_ptr<TCardSource>();
    });
    QVERIFY(letter != 0);
    ClickNext();
    ChooseCard(letter);
    form->ui.EDestFolder->setText(work->filePath(QStringLiteral("never/made")));
    ClickNext();
    QCOMPARE(form->CurrentPage(), 2);
    QCOMPARE(prompter->Texts(), QStringList{EngineText(TText::CannotOpenCard, {"gone.img", std::strerror(EIO)})});
    QVERIFY(!QFileInfo::exists(work->filePath(QStringLiteral("never"))));
  }

  void AScanThatFindsNothingOffersOnlyBack() {
    const char letter = fixtures::CardImage(4096).attach();
    QVERIFY(letter != 0);
    ClickNext();
    ChooseCard(letter);
    form->ui.EDestFolder->setText(work->filePath(QStringLiteral("empty")));
    ClickNext();
    QCOMPARE(form->CurrentPage(), 3);
    QTRY_VERIFY_WITH_TIMEOUT(!form->ScanPage.ScanInProgress, 20000);
    QCOMPARE(prompter->Texts(), QStringList{EngineText(TText::NothingFound)});
    VerifyButtons(true, false, Tr("下一步 >"));
    ClickBack();
    QCOMPARE(form->CurrentPage(), 2);
    VerifyStep(2);
    VerifyButtons(true, true, Tr("下一步 >"));
  }

  void ClosingWhileIdleAsksAndNoKeepsTheWindow() {
    prompter->Answers = {QMessageBox::No};
    QVERIFY(!form->close());
    QVERIFY(form->isVisible());
    QCOMPARE(prompter->Texts(), QStringList{QuitQuestionText()});
    QCOMPARE(prompter->Messages[0].Kind, TMessageKind::Confirmation);

    prompter->Answers = {QMessageBox::Yes};
    QTest::mouseClick(form->ui.BCancel, Qt::LeftButton);
    QVERIFY(!form->isVisible());
    QCOMPARE(prompter->Texts(), QStringList({QuitQuestionText(), QuitQuestionText()}));
  }

  void ExitMenuAsksTheSameQuestion() {
    prompter->Answers = {QMessageBox::Cancel};
    form->ui.Exit1->trigger();
    QVERIFY(form->isVisible());
    QCOMPARE(prompter->Texts(), QStringList{QuitQuestionText()});
  }

  void ClosingDuringAScanWarnsFirst() {
    form->ScanPage.ScanInProgress = true;
    prompter->Answers = {QMessageBox::No};
    QVERIFY(!form->close());
    QCOMPARE(prompter->Texts(), QStringList{QuitDuringScanText()});
    QCOMPARE(prompter->Messages[0].Kind, TMessageKind::Warning);
    QVERIFY(form->isVisible());

    prompter->Answers = {QMessageBox::Yes};
    QVERIFY(form->close());
    QCOMPARE(prompter->Messages.size(), 2);  // no second question
    form->ScanPage.ScanInProgress = false;
  }

  void NonAdministratorIsAskedAndNoContinues() {
    form.reset();
    prompter->Clear();
    prompter->Answers = {QMessageBox::No};
    SetAdministratorOverride(false);
    TMainForm asked;
    SetAdministratorOverride(std::nullopt);
#ifdef _WIN32
    // Windows: only "Run as administrator" gives the rights.
    QCOMPARE(prompter->Texts(),
             QStringList{Tr("注意： 看来你没有使用\"管理员身份\"登录。"
                            "在某些情况下，没有\"管理员\"权限 Snapsalvager 可能无法访问和恢复您的数据。"
                            "如果你没有登录为\"管理员\"，建议您关闭 Snapsalvager，然后重新登录为\"管理员\"或通过右键点击 "
                            "Snapsalvager 快捷方式允许 Snapsalvager 到\"用管理员身份运行\"。"
                            "\r\n\r\n"
                            "单击 [是] 立即关闭 Snapsalvager 或单击 [否]，继续。")});
#else
    QCOMPARE(
        prompter->Texts(),
        QStringList{
            Tr("注意： 看来你没有使用\"管理员身份\"登录。在某些情况下，没有\"管理员\"权限 "
               "Snapsalvager "
               "可能无法访问和恢复您的数据：它不能直接读取存储卡，也无法通过系统的磁盘服务 udisks2 "
               "请求授权。"
               "\r\n\r\n可以这样解决：请系统管理员帮助您；或者以桌面的管理员权限启动 Snapsalvager"
               "（pkexec snapsalvager）；或者加入存储卡设备所属的组“%1”（sudo usermod -aG %1 "
               "用户名，然后重新登录）。"
               "\r\n\r\n单击 [是] 立即关闭 Snapsalvager 或单击 [否]，继续。")
                .arg(QString::fromStdString(DeviceGroupName()))});
    QVERIFY(!prompter->Texts().first().contains(QStringLiteral("快捷方式")));  // no Windows advice
#endif
    QVERIFY(!asked.QuitRequested);
  }

  void NonAdministratorAnsweringYesQuits() {
    form.reset();
    prompter->Clear();
    prompter->Answers = {QMessageBox::Yes};
    prompter->Fallback = QMessageBox::No;  // a second question would keep the program open
    SetAdministratorOverride(false);
    {
      TMainForm asked;
      QVERIFY(asked.QuitRequested);
      asked.show();
      // The program's loop ends as soon as it runs, without asking anything more.
      QTimer stuck;
      stuck.setSingleShot(true);
      connect(&stuck, &QTimer::timeout, qApp, [] { QCoreApplication::exit(1); });
      stuck.start(5000);
      QCOMPARE(QCoreApplication::exec(), 0);
      QCOMPARE(prompter->Messages.size(), 1);
    }
    SetAdministratorOverride(std::nullopt);
  }
};

SNAPSALVAGER_WIZARD_TEST_MAIN(TestWizardWindow)
#include "tst_WizardWindow.moc"
