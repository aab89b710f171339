// Help menu, link labels and the about box: every address, the help file lookup.
#include <QFile>
#include <QtTest>

#include "WizardTestSupport.h"
#include "wizard/UAbout.h"

using namespace snapsalvager;
using namespace snapsalvager::test;

namespace {
const QString kBase =
    QStringLiteral("https://snapsalvager.example/ilink.asp?pid=snapsalvager&vid=6.10&bid=1210.130222&rid=");
}

class TestMainHelp : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<TScriptedPrompter> prompter;
  std::unique_ptr<TDocumentRecorder> documents;
  std::unique_ptr<TMainForm> form;

 private slots:
  void init() {
    prompter = std::make_unique<TScriptedPrompter>();
    documents = std::make_unique<TDocumentRecorder>();
    form = MakeMainForm();
    form->show();
  }
  void cleanup() {
    form.reset();
    documents.reset();
    prompter.reset();
  }

  void MenuAndLinksOpenTheirTopics() {
    form->ui.VisitWebsite1->trigger();
    form->ui.ContactSupport1->trigger();
    form->BNextClick();
    QTest::mouseClick(form->ui.LDriveNoteLink, Qt::LeftButton);
    form->LPreviewQuestionLinkClick();
    form->ui.CheckSnapsalvagerUpdate1->trigger();
    QCOMPARE(documents->Opened,
             QStringList({kBase + "home", kBase + "support", kBase + "cardreader", kBase + "previewquestion",
                          QStringLiteral("https://snapsalvager.example/checkupdate.asp?pid=snapsalvager&vid=6.10&bid=1210")}));
    QVERIFY(prompter->Messages.isEmpty());
    QCOMPARE(form->ui.LDriveNoteLink->text(), QStringLiteral("请单击这儿"));
    QCOMPARE(form->ui.LDriveNoteLink->toolTip(),
             QStringLiteral("如果您的内存卡不能显示为一个驱动器号，请单击此处联机帮助。"));
  }

  void PostProcessLinkNamesTheTypeInLowerCase() {
    QCOMPARE(PostProcessLink(QStringLiteral(".X3F")), kBase + "postprocess&filetype=x3f");
    QCOMPARE(PostProcessLink(QStringLiteral(".CRW")), kBase + "postprocess&filetype=crw");
    form->SpecialTypeExt = QStringLiteral(".MOV");
    QTest::mouseClick(form->finishUi.LPostProcess2Link, Qt::LeftButton);
    QCOMPARE(documents->Opened, QStringList{kBase + "postprocess&filetype=mov"});
  }

  void MissingHelpFileShowsTheEnglishMessage() {
    QFile::remove(HelpFilePath());
    form->ui.SnapsalvagerHelp1->trigger();
    QCOMPARE(prompter->Texts(),
             QStringList{QStringLiteral("Sorry, cannot find help file. Please check Help documents from Snapsalvager website.")});
    QVERIFY(documents->Opened.isEmpty());
  }

  void HelpFileBesideTheProgramIsOpened() {
    const QString path = QCoreApplication::applicationDirPath() + QStringLiteral("/snapsalvager.chm");
    QCOMPARE(HelpFilePath(), path);
    {
      QFile f(path);
      QVERIFY(f.open(QIODevice::WriteOnly));
    }
    form->ui.SnapsalvagerHelp1->trigger();
    QFile::remove(path);
    QCOMPARE(documents->Opened, QStringList{path});
    QVERIFY(prompter->Messages.isEmpty());
  }

  void AboutBoxShowsTheVersionAndTheLogoAddsTheBuildOnce() {
    QString version;
    QString clicked;
    QString caption;
    QSize size;
    TDialogScript script([&](QDialog& dialog) {
      auto& about = static_cast<TAboutBox&>(dialog);
      caption = about.windowTitle();
      size = about.size();
      version = about.ui.LVersion->text();
      about.show();
      QTest::mouseClick(about.ui.imgLogo, Qt::LeftButton);
      QTest::mouseClick(about.ui.imgLogo, Qt::LeftButton);
      clicked = about.ui.LVersion->text();
      QTest::mouseClick(about.ui.ButtonOK, Qt::LeftButton);
      return about.result();
    });
    form->ui.About1->trigger();
    QCOMPARE(caption, QStringLiteral("关于 Snapsalvager"));
    QCOMPARE(size, QSize(373, 272));
    QCOMPARE(version, QStringLiteral("版本 6.10 build 1210"));
    QCOMPARE(clicked, QStringLiteral("版本 6.10 build 1210 (130222)"));
  }

  void AboutBoxTexts() {
    TAboutBox about;
    QCOMPARE(about.ui.LTitle->text(), QStringLiteral("Snapsalvager"));
    QVERIFY(about.ui.LTitle->font().bold());
    QCOMPARE(about.ui.L1->text(), QStringLiteral("专业数据恢复软件"));
    QCOMPARE(about.ui.L2->text(), QStringLiteral("for Camera Memory Cards"));
    QCOMPARE(about.ui.ButtonOK->text(), QStringLiteral("确定"));
    QVERIFY(!about.ui.imgLogo->pixmap().isNull());
  }
};

QTEST_MAIN(TestMainHelp)
#include "tst_MainHelp.moc"
