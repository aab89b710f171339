// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// Help menu, link labels and the about box: every address, the help document lookup, and
// the local page each address opens.
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QtTest>

#include "WizardTestSupport.h"
#include "wizard/AboutBox.h"

using namespace snapsalvager;
using namespace snapsalvager::test;

namespace {
const QString kBase =
    QStringLiteral("https://snapsalvager.example/ilink.asp?pid=snapsalvager&vid=6.10&bid=1210.130222&rid=");

// Records what reaches the desktop after the vendor addresses have been mapped.
class TDesktopRecorder {
 public:
  TDesktopRecorder() {
    SetDesktopOpener([this](const QUrl& url) { Opened << url; });
  }
  ~TDesktopRecorder() { SetDesktopOpener({}); }
  QList<QUrl> Opened;
};

// The built help pages of the run's language: the English ones in "en".
QString BuiltPages() {
  return QStringLiteral(SNAPSALVAGER_BUILD_DATA_DIR "/help") +
         (English() ? QStringLiteral("/en") : QString());
}

// An empty page at `path`, with its folders.
void Touch(const QString& path) {
  QDir().mkpath(QFileInfo(path).path());
  QFile(path).open(QIODevice::WriteOnly);
}

bool PageHasAnchor(const QString& file, const QString& anchor) {
  QFile f(file);
  if (!f.open(QIODevice::ReadOnly)) return false;
  const QString text = QString::fromUtf8(f.readAll());
  return text.contains(QRegularExpression(QStringLiteral("\\bid=\"") +
                                          QRegularExpression::escape(anchor) + QLatin1Char('"')));
}
}  // namespace

class TestWizardHelp : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<TScriptedPrompter> prompter;
  std::unique_ptr<TDocumentRecorder> documents;
  std::unique_ptr<TMainForm> form;
  // Stands for the installed data folder: empty, so only what a test puts there is found.
  QTemporaryDir dataFolder;

  QString BesideTheProgram() const { return QCoreApplication::applicationDirPath() + QStringLiteral("/help"); }

 private slots:
  void init() {
    SetInstalledDataFolder(dataFolder.path());
    prompter = std::make_unique<TScriptedPrompter>();
    documents = std::make_unique<TDocumentRecorder>();
    form = MakeMainForm();
    form->show();
  }
  void cleanup() {
    form.reset();
    documents.reset();
    prompter.reset();
    QDir(BesideTheProgram()).removeRecursively();
    SetInstalledDataFolder({});
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
    QCOMPARE(form->ui.LDriveNoteLink->text(), Tr("请单击这儿", "MainForm"));
    QCOMPARE(form->ui.LDriveNoteLink->toolTip(),
             Tr("如果您的内存卡不能显示为一个驱动器号，请单击此处联机帮助。", "MainForm"));
  }

  // F1 on each page opens that page's topic; the Help menu keeps the whole help document.
  void F1OpensThePagesHelp() {
    QApplication::setActiveWindow(form.get());
    QVERIFY(QTest::qWaitForWindowActive(form.get()));
    QWidget* const pages[] = {form->ui.T1, form->ui.T2, form->ui.T3, form->ui.T4, form->ui.T5};
    const QString topics[] = {"home", "cardreader", "home", "previewquestion", "postprocess"};
    for (int page = 0; page < 5; ++page) {
      form->ShowPage(pages[page]);
      documents->Opened.clear();
      QTest::keyClick(form.get(), Qt::Key_F1);
      QCOMPARE(documents->Opened, QStringList{kBase + topics[page]});
    }
    QVERIFY(prompter->Messages.isEmpty());
  }

  void PostProcessLinkNamesTheTypeInLowerCase() {
    QCOMPARE(PostProcessLink(QStringLiteral(".X3F")), kBase + "postprocess&filetype=x3f");
    QCOMPARE(PostProcessLink(QStringLiteral(".CRW")), kBase + "postprocess&filetype=crw");
    form->FinishPage.SpecialTypeExt = QStringLiteral(".MOV");
    QTest::mouseClick(form->finishUi.LPostProcess2Link, Qt::LeftButton);
    QCOMPARE(documents->Opened, QStringList{kBase + "postprocess&filetype=mov"});
  }

  void MissingHelpFileShowsTheEnglishMessage() {
    QVERIFY(!QFileInfo::exists(HelpFilePath()));
    form->ui.SnapsalvagerHelp1->trigger();
    QCOMPARE(prompter->Texts(),
             QStringList{QStringLiteral("Sorry, cannot find help file. Please check Help documents from Snapsalvager website.")});
    QVERIFY(documents->Opened.isEmpty());
  }

  void HelpDocumentBesideTheProgramComesBeforeTheInstalledOne() {
    const QString installed = dataFolder.path() + QStringLiteral("/help");
    for (const QString& folder : {installed, BesideTheProgram()}) {
      QVERIFY(QDir().mkpath(folder));
      QFile f(folder + QStringLiteral("/index.html"));
      QVERIFY(f.open(QIODevice::WriteOnly));
    }
    const QString beside = BesideTheProgram() + QStringLiteral("/index.html");
    QCOMPARE(HelpFilePath(), beside);
    // The installed program never reads a help folder beside itself.
    SetInstalledProgramFolder(QCoreApplication::applicationDirPath());
    QCOMPARE(HelpFilePath(), installed + QStringLiteral("/index.html"));
    SetInstalledProgramFolder({});
    form->ui.SnapsalvagerHelp1->trigger();
    QVERIFY(QFile::remove(beside));
    QCOMPARE(HelpFilePath(), installed + QStringLiteral("/index.html"));
    form->ui.SnapsalvagerHelp1->trigger();
    QCOMPARE(documents->Opened, QStringList({beside, installed + QStringLiteral("/index.html")}));
    QVERIFY(prompter->Messages.isEmpty());
  }

  // The desktop that cannot open the page (no xdg-open, or one that fails) gets its path.
  void HelpThatCannotOpenSaysWhereThePageIs() {
#ifdef _WIN32
    QSKIP("Windows opens pages through the shell's file associations, which a test cannot break");
#endif
    const QString installed = dataFolder.path() + QStringLiteral("/help");
    QVERIFY(QDir().mkpath(installed));
    QFile page(installed + QStringLiteral("/index.html"));
    QVERIFY(page.open(QIODevice::WriteOnly));
    page.close();
    QTemporaryDir bin;
    QFile failing(bin.filePath(QStringLiteral("xdg-open")));
    QVERIFY(failing.open(QIODevice::WriteOnly));
    failing.write("#!/bin/sh\nexit 4\n");
    failing.close();
    failing.setPermissions(QFile::ReadOwner | QFile::ExeOwner);
    QTemporaryDir empty;
    const QByteArray path = qgetenv("PATH");
    documents.reset();  // the real opener, down to the desktop
    for (const QString& folder : {bin.path(), empty.path()}) {
      prompter->Clear();
      qputenv("PATH", folder.toLocal8Bit());
      form->ui.SnapsalvagerHelp1->trigger();
      QTRY_COMPARE(prompter->Messages.size(), 1);
      QVERIFY2(prompter->Texts().first().endsWith(installed + QStringLiteral("/index.html")),
               qPrintable(prompter->Texts().first()));
    }
    qputenv("PATH", path);
  }

  // Every help item, link and special file type, through the real OpenDocument, with the
  // pages the build copies beside the wizard: each opens its local page at its anchor.
  void EveryTopicOpensItsLocalPageAndNothingReachesTheDeadHost() {
    documents.reset();
    SetInstalledDataFolder(QStringLiteral(SNAPSALVAGER_BUILD_DATA_DIR));
    QCOMPARE(HelpFolder(), QStringLiteral(SNAPSALVAGER_BUILD_DATA_DIR "/help"));
    const QString folder = BuiltPages();
    TDesktopRecorder desktop;
    struct TCase {
      QString Trigger;
      QString Page;
      QString Anchor;
    };
    QList<TCase> cases = {{"Help item", "index.html", {}},
                          {"Website item", "home.html", {}},
                          {"Support item", "support.html", {}},
                          {"Update item", "update.html", {}},
                          {"drive note link", "cardreader.html", {}},
                          {"CD/DVD answer", "cddvd.html", {}},
                          {"preview question link", "previewquestion.html", {}}};
    form->ui.SnapsalvagerHelp1->trigger();
    form->ui.VisitWebsite1->trigger();
    form->ui.ContactSupport1->trigger();
    form->ui.CheckSnapsalvagerUpdate1->trigger();
    form->BNextClick();
    QTest::mouseClick(form->ui.LDriveNoteLink, Qt::LeftButton);
    OpenDocument(HelpLink(QStringLiteral("cddvd")));
    form->LPreviewQuestionLinkClick();
    // The four types the save pass names, then every other video and raw type the page covers.
    const QStringList types = {"CRW", "X3F", "AVI", "MOV", "MP4", "3GP", "MTS", "MPG", "ASF", "CR2", "NEF",
                               "ORF", "RAF", "MRW", "DCR", "PEF", "SRF", "DNG", "RAW"};
    for (const QString& type : types) {
      form->FinishPage.SpecialTypeExt = QLatin1Char('.') + type;
      QTest::mouseClick(form->finishUi.LPostProcess2Link, Qt::LeftButton);
      cases.append({"post-processing " + type, "postprocess.html", type.toLower()});
    }
    QCOMPARE(desktop.Opened.size(), cases.size());
    for (qsizetype i = 0; i < cases.size(); ++i) {
      const QUrl& url = desktop.Opened[i];
      const TCase& c = cases[i];
      QVERIFY2(url.isLocalFile(), qPrintable(c.Trigger + ": " + url.toString()));
      QCOMPARE(url.toLocalFile(), folder + QLatin1Char('/') + c.Page);
      QVERIFY2(QFileInfo(url.toLocalFile()).isFile(), qPrintable(c.Trigger));
      QCOMPARE(url.fragment(), c.Anchor);
      if (!c.Anchor.isEmpty())
        QVERIFY2(PageHasAnchor(url.toLocalFile(), c.Anchor), qPrintable(c.Trigger + ": no anchor"));
    }
    QVERIFY(prompter->Messages.isEmpty());
  }

  void UpdatePageShowsTheProgramsVersion() {
    SetInstalledDataFolder(QStringLiteral(SNAPSALVAGER_BUILD_DATA_DIR));
    QFile page(LocalPageOf(UpdateCheckAddress()).toLocalFile());
    QVERIFY(page.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(page.readAll());
    QVERIFY(text.contains(Tr("版本 6.10 build 1210")));
    QVERIFY(text.contains(QStringLiteral("apt upgrade")));
  }

  void AddressesWithoutALocalPage() {
    documents.reset();
    TDesktopRecorder desktop;
    // No help folder anywhere: the address goes to the browser as it is.
    OpenDocument(HelpLink(QStringLiteral("home")));
    // A folder or file, such as the destination folder, is opened as a file.
    OpenDocument(dataFolder.path());
    // The page opened by itself after saving is never a dead web page.
    OpenLocalPage(PostProcessLink(QStringLiteral(".MOV")));
    QCOMPARE(desktop.Opened, QList<QUrl>({QUrl(kBase + "home"), QUrl::fromLocalFile(dataFolder.path())}));

    // With the pages: an unknown topic or address on the vendor site lands on the table of
    // contents, and a file type that is no plain word gives no anchor.
    SetInstalledDataFolder(QStringLiteral(SNAPSALVAGER_BUILD_DATA_DIR));
    const QString folder = BuiltPages() + QLatin1Char('/');
    QCOMPARE(LocalPageOf(HelpLink(QStringLiteral("nosuchtopic"))), QUrl::fromLocalFile(folder + "index.html"));
    QCOMPARE(LocalPageOf(QStringLiteral("https://snapsalvager.example/download.asp")),
             QUrl::fromLocalFile(folder + "index.html"));
    QCOMPARE(LocalPageOf(PostProcessLink(QStringLiteral(".a\"\'"))), QUrl::fromLocalFile(folder + "postprocess.html"));
    QCOMPARE(LocalPageOf(QStringLiteral("https://example.org/ilink.asp?rid=home")), QUrl());
    OpenLocalPage(PostProcessLink(QStringLiteral(".MOV")));
    QCOMPARE(desktop.Opened.size(), 3);
    QCOMPARE(desktop.Opened.last().toLocalFile(), folder + "postprocess.html");
    QCOMPARE(desktop.Opened.last().fragment(), QStringLiteral("mov"));
  }

  // Either language opens its own pages; a page missing in English opens in Chinese.
  void PagesFollowTheLanguageAndFallBackToChinese() {
    const QString help = dataFolder.path() + QStringLiteral("/help/");
    for (const char* page :
         {"index.html", "home.html", "support.html", "en/index.html", "en/home.html"})
      Touch(help + QLatin1String(page));
    const TLanguage run = Language();
    const auto pageOf = [](const QString& topic) {
      return LocalPageOf(HelpLink(topic)).toLocalFile();
    };
    SetLanguage(TLanguage::English);
    const QStringList english = {HelpFilePath(), pageOf(QStringLiteral("home")),
                                 pageOf(QStringLiteral("support"))};
    SetLanguage(TLanguage::Chinese);
    const QStringList chinese = {HelpFilePath(), pageOf(QStringLiteral("home")),
                                 pageOf(QStringLiteral("support"))};
    SetLanguage(run);
    QCOMPARE(english,
             QStringList({help + "en/index.html", help + "en/home.html", help + "support.html"}));
    QCOMPARE(chinese,
             QStringList({help + "index.html", help + "home.html", help + "support.html"}));
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
    QCOMPARE(caption, Tr("关于 Snapsalvager", "AboutBox"));
    QCOMPARE(size, QSize(373, 272));
    QCOMPARE(version, Tr("版本 6.10 build 1210"));
    QCOMPARE(clicked, Tr("版本 6.10 build 1210") + QStringLiteral(" (130222)"));
  }

  void AboutBoxTexts() {
    TAboutBox about;
    QCOMPARE(about.ui.LTitle->text(), QStringLiteral("Snapsalvager"));
    QVERIFY(about.ui.LTitle->font().bold());
    QCOMPARE(about.ui.L1->text(), Tr("专业数据恢复软件", "AboutBox"));
    QCOMPARE(about.ui.L2->text(), QStringLiteral("for Camera Memory Cards"));
    QCOMPARE(about.ui.ButtonOK->text(), Tr("确定"));
    QVERIFY(!about.ui.imgLogo->pixmap().isNull());
  }
};

SNAPSALVAGER_WIZARD_TEST_MAIN(TestWizardHelp)
#include "tst_WizardHelp.moc"
