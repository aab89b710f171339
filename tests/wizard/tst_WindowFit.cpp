// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// The window as a user sees it: every message box of the program lies inside the window and
// is centred on it (or on the screen before the window is shown), is never narrower than its
// caption, and every label and tick box shows its whole text at the window's fixed size.
// scripts/test-x11.sh runs this suite in a real X server with a window manager, where frames
// and fonts are real; the offscreen platform runs it too.
#include <QCheckBox>
#include <QFontDatabase>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QTextDocumentFragment>
#include <QtTest>

#include <fstream>
#include <optional>

#include "PreviewTestSupport.h"
#include "WizardTestSupport.h"
#include "card/LinuxDrives.h"
#include "session/ScanChecks.h"
#include "session/ScanOptions.h"
#include "wizard/ScanDoneDialog.h"
#include "wizard/CapacityDialog.h"
#include "wizard/AboutBox.h"
#include "wizard/VideoTypeDialog.h"

using namespace snapsalvager;
using namespace snapsalvager::test;

namespace {

// Room a title bar needs besides the caption: the window icon and the buttons.
constexpr int kTitleBarButtons = 96;
// Frames are drawn by the window manager: centring may be off by a rounding pixel or two.
constexpr int kCentreSlack = 3;

// A command's output, or nothing when it fails.
QString Run(const QString& program, const QStringList& args) {
  QProcess process;
  process.start(program, args);
  if (!process.waitForFinished(5000)) return {};
  return QString::fromLocal8Bit(process.readAllStandardOutput());
}

// The window's frame as the X server and the window manager have it now: the client's
// absolute place from xwininfo, widened by the window manager's _NET_FRAME_EXTENTS. Qt's own
// copy of a window's geometry may still hold a place it asked for and the window manager has
// not yet confirmed.
QRect ServerFrame(WId id) {
  const QString info = Run(QStringLiteral("xwininfo"), {QStringLiteral("-id"), QString::number(id)});
  auto field = [&info](const char* name) {
    const QRegularExpression re(QStringLiteral("%1:\\s*(-?\\d+)").arg(QLatin1String(name)));
    const QRegularExpressionMatch m = re.match(info);
    return m.hasMatch() ? std::optional<int>(m.captured(1).toInt()) : std::nullopt;
  };
  const auto x = field("Absolute upper-left X"), y = field("Absolute upper-left Y");
  const auto width = field("Width"), height = field("Height");
  if (!x || !y || !width || !height) return {};
  // "_NET_FRAME_EXTENTS(CARDINAL) = 1, 1, 20, 1": left, right, top, bottom.
  const QString extents = Run(QStringLiteral("xprop"), {QStringLiteral("-id"), QString::number(id),
                                                        QStringLiteral("_NET_FRAME_EXTENTS")});
  const QStringList values = extents.section(QLatin1Char('='), 1).split(QLatin1Char(','));
  if (values.size() != 4) return {};
  return QRect(*x, *y, *width, *height)
      .adjusted(-values[0].trimmed().toInt(), -values[2].trimmed().toInt(),
                values[1].trimmed().toInt(), values[3].trimmed().toInt());
}

// The window's frame on screen once it has settled: two readings 50 ms apart agree, so a
// frame the window manager is still placing is not measured on its way.
QRect FrameOf(QWidget* window) {
  if (QGuiApplication::platformName() != QLatin1String("xcb")) return window->frameGeometry();
  QRect last;
  for (int attempt = 0; attempt < 40; ++attempt) {
    const QRect now = ServerFrame(window->winId());
    if (!now.isEmpty() && now == last) return now;
    last = now;
    QTest::qWait(50);
  }
  return last.isEmpty() ? window->frameGeometry() : last;
}

struct TShownBox {
  QRect Frame;
  QString Caption;
  QFont Font;
  bool Shown = false;
};

// Shows text in the real box through the program's own call, and measures the box once the
// window system has placed it.
TShownBox ShowAndMeasure(TMessageKind kind, const QString& text) {
  TShownBox shown;
  QTimer::singleShot(0, [&shown] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box) return;
    if (QTest::qWaitForWindowExposed(box)) {
      QTest::qWait(150);  // the window manager's frame and any move it makes
      shown.Frame = FrameOf(box);
      shown.Caption = box->windowTitle();
      shown.Font = box->font();
      shown.Shown = true;
    }
    box->reject();
  });
  if (kind == TMessageKind::Information)
    ShowInfo(text);
  else if (kind == TMessageKind::Warning)
    AskYesNoWarning(text);
  else
    AskYesNo(text);
  return shown;
}

int CaptionNeed(const TShownBox& box) {
  QFont bold = box.Font;
  bold.setBold(true);
  return QFontMetrics(bold).horizontalAdvance(box.Caption) + kTitleBarButtons;
}

// Every visible label and button of a page whose text is cut: "name: text (need/room)".
// The fit is judged in the designed font, SimSun, which every Windows has and wine has not:
// there a stand-in CJK font, measured by wine's GDI, runs a few pixels taller than the same
// font on Linux. Under wine a text that does not fit is therefore reported (the test skips,
// naming it), not failed; on Linux and on a real Windows it fails.
bool DesignedFontMissingOnWindows() {
#ifdef _WIN32
  return !QFontDatabase::hasFamily(QStringLiteral("SimSun"));
#else
  return false;
#endif
}

#define VERIFY_FITS(clipped, where)                                                               \
  do {                                                                                            \
    QString report = where;                                                                       \
    report += (clipped).join(QLatin1String(" | "));                                               \
    if (!(clipped).isEmpty() && DesignedFontMissingOnWindows())                                   \
      QSKIP(qPrintable(QStringLiteral("no SimSun here (wine); does not fit the stand-in: ") + report)); \
    QVERIFY2((clipped).isEmpty(), qPrintable(report));                                            \
  } while (false)

QStringList ClippedTexts(QWidget* page) {
  QStringList clipped;
  auto report = [&clipped](QWidget* w, const QString& text, QSize need, QSize room) {
    clipped << QStringLiteral("%1: %2 (%3x%4 in %5x%6)")
                   .arg(w->objectName(), text)
                   .arg(need.width()).arg(need.height()).arg(room.width()).arg(room.height());
  };
  for (QLabel* label : page->findChildren<QLabel*>()) {
    if (!label->isVisibleTo(page) || label->text().isEmpty() || !label->pixmap().isNull())
      continue;
    const QRect room = label->contentsRect().adjusted(label->margin(), label->margin(),
                                                      -label->margin(), -label->margin());
    const QFontMetrics metrics(label->font());
    const QString text = label->textFormat() == Qt::RichText || Qt::mightBeRichText(label->text())
                             ? QTextDocumentFragment::fromHtml(label->text()).toPlainText()
                             : label->text();
    const QRect need = label->wordWrap()
                           ? metrics.boundingRect(QRect(0, 0, room.width(), 100000),
                                                  Qt::TextWordWrap, text)
                           : metrics.boundingRect(QRect(0, 0, 100000, 100000), 0, text);
    // The width of every label; the lines of a wrapping one, which may reach a pixel into
    // its edge.
    if (need.width() > room.width() || (label->wordWrap() && need.height() > room.height() + 1))
      report(label, label->text(), need.size(), room.size());
  }
  for (QAbstractButton* button : page->findChildren<QAbstractButton*>()) {
    if (!button->isVisibleTo(page) || button->text().isEmpty()) continue;
    QSize need = button->sizeHint();
    if (qobject_cast<QPushButton*>(button)) {
      // A push button's hint has a minimum width; its text needs its advance and a margin.
      need.setWidth(QFontMetrics(button->font()).horizontalAdvance(QString(button->text()).remove(QLatin1Char('&'))) + 8);
    }
    if (need.width() > button->width())
      report(button, button->text(), need, button->size());
  }
  return clipped;
}

}  // namespace

class TestWindowFit : public QObject {
  Q_OBJECT

  std::unique_ptr<TMainForm> form;

  void ShowWindow() {
    form = MakeMainForm();
    const QRect area = form->screen()->availableGeometry();
    form->move(area.center() - form->rect().center());
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    QTest::qWait(150);
  }

 private slots:
  void initTestCase() {
    QApplication::setApplicationName(QStringLiteral("Snapsalvager"));
  }

  void cleanup() {
    form.reset();
    LinuxDrives::DetachAll();
  }

  // ---- message boxes ----

  void MessageBoxesLieCentredInsideTheWindow_data() {
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("text");
    const int info = int(TMessageKind::Information);
    const int question = int(TMessageKind::Confirmation);
    QTest::newRow("user stopped") << info << EngineText(TText::UserStopped);
    QTest::newRow("tab refused") << info << Tr("请点击“下一步”按钮继续，或“返回”按钮返回。");
    QTest::newRow("post-processing") << question << PostProcessingQuestion(QStringLiteral("MOV"));
    QTest::newRow("close while saving") << question << SaveRunningQuitQuestion();
    QTest::newRow("close leaves files") << int(TMessageKind::Leaving)
                                        << QuitLeavesFilesQuestion(1234, QStringLiteral("/home/someone/文档/Snapsalvager "
                                                                                        "Recovered 2026-12-07/TmpFiles/"));
    QTest::newRow("help file missing") << info << QStringLiteral(
        "Sorry, cannot find help file. Please check Help documents from Snapsalvager website.");
    QTest::newRow("same drive") << question << EngineText(TText::SameDrive);
    QTest::newRow("earlier results") << question << EngineText(TText::EarlierRecovery);
    QTest::newRow("back from preview")
        << question
        << Tr("请注意，“步骤3 - 预览”点击[返回]按钮将回到“步骤1 - "
              "扫描选项”。如果你想从存储卡中恢复丢失的"
              "照片,您将需要再次进行扫描。\r\n\r\n你一定要返回到“步骤1 - 扫描选项”吗?");
    QTest::newRow("hard disk") << question
                               << QString::fromStdString(HardDiskQuestion('E', CardSizes(600000000u, -1)).value_or(""));
    QTest::newRow("free space") << question
                                << QString::fromStdString(FreeSpaceQuestion(CardSizes(4194304u, 1024)).value_or(""));
    QTest::newRow("close") << question << Tr("你确定现在退出 Snapsalvager?");
    QTest::newRow("close during scan")
        << int(TMessageKind::Warning)
        << Tr("Snapsalvager 正在扫描你的内存卡。您确定要终止扫描并退出 Snapsalvager 吗？");
    QTest::newRow("new scan leaves files") << int(TMessageKind::Leaving)
                                           << NewScanLeavesFilesQuestion(
                                                  1234, QStringLiteral("/home/someone/文档/Snapsalvager "
                                                                       "Recovered 2026-12-07/TmpFiles/"));
  }

  void MessageBoxesLieCentredInsideTheWindow() {
    QFETCH(int, kind);
    QFETCH(QString, text);
    QVERIFY(!text.isEmpty());
    ShowWindow();
    const QRect window = FrameOf(form.get());
    const TShownBox box = ShowAndMeasure(TMessageKind(kind), text);
    QVERIFY(box.Shown);
    QVERIFY2(window.contains(box.Frame), qPrintable(QStringLiteral("box %1,%2 %3x%4 outside window %5,%6 %7x%8")
                                                        .arg(box.Frame.x()).arg(box.Frame.y())
                                                        .arg(box.Frame.width()).arg(box.Frame.height())
                                                        .arg(window.x()).arg(window.y())
                                                        .arg(window.width()).arg(window.height())));
    const QPoint off = box.Frame.center() - window.center();
    QVERIFY2(std::abs(off.x()) <= kCentreSlack && std::abs(off.y()) <= kCentreSlack,
             qPrintable(QStringLiteral("off centre by %1, %2").arg(off.x()).arg(off.y())));
    QVERIFY2(box.Frame.width() >= CaptionNeed(box),
             qPrintable(QStringLiteral("%1 px for a caption needing %2").arg(box.Frame.width()).arg(CaptionNeed(box))));
  }

  // The start-up question comes before the window: centred on the screen, captioned, with
  // the program's icon.
  void AdministratorQuestionIsCentredOnTheScreen() {
    QRect frame;
    QString caption;
    bool hasIcon = false;
    QTimer::singleShot(0, [&] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (!box) return;
      if (QTest::qWaitForWindowExposed(box)) {
        QTest::qWait(150);
        frame = FrameOf(box);
        caption = box->windowTitle();
        hasIcon = !box->windowIcon().isNull();
      }
      box->button(QMessageBox::No)->click();
    });
    SetAdministratorOverride(false);
    form = std::make_unique<TMainForm>();
    SetAdministratorOverride(std::nullopt);
    QVERIFY(!frame.isEmpty());
    QCOMPARE(caption, QStringLiteral("Snapsalvager"));
    QVERIFY(hasIcon);
    const QRect screen = form->screen()->availableGeometry();
    QVERIFY(screen.contains(frame));
    const QPoint off = frame.center() - screen.center();
    QVERIFY2(std::abs(off.x()) <= kCentreSlack && std::abs(off.y()) <= kCentreSlack,
             qPrintable(QStringLiteral("off centre by %1, %2").arg(off.x()).arg(off.y())));
  }

  // ---- labels ----

  void ScanPageShowsTheWholeFileTypeLineAndDrive() {
    ShowWindow();
    TScriptedPrompter prompter;  // any warning is answered "go on"
    QTemporaryDir dir;
    const QString image = dir.filePath(QStringLiteral("a-card-copied-from-the-camera.img"));
    {
      std::ofstream out(image.toStdString(), std::ios::binary);
      out << std::string(2 * 1024 * 1024, '\0');
    }
    const char letter = LinuxDrives::AttachImage(image.toStdString());
    QVERIFY(letter != 0);
    form->ScanOptionsPage.FillDriveList();
    // The closed list names the image behind the chosen letter, as the item does.
    for (int i = 0; i < form->ui.CBDrive->count(); ++i)
      if (form->ui.CBDrive->itemData(i, TScanOptionsPage::kDriveRowRole).toInt() == letter - 'A')
        form->ui.CBDrive->setCurrentIndex(i);
    // (On Windows the path as Windows writes it.)
    QVERIFY2(form->ui.CBDrive->toolTip().contains(QDir::toNativeSeparators(image)),
             qPrintable(form->ui.CBDrive->toolTip()));
    form->ScanOptionsPage.SelectedDrive = form->ScanOptionsPage.DriveTable[static_cast<size_t>(letter - 'A')];
    form->ScanOptionsPage.DestFolder = dir.path() + QStringLiteral("/Recovered/");
    // The longest list of types: a raw camera with video and audio.
    form->ScanOptionsPage.RecogniserInputs = MakeRecogniserInputs("Canon Digital Camera", true, true, true, "ALL");
    QVERIFY(form->ScanPage.PrepareScan());
    form->ShowPage(form->ui.T3);
    const QString typeLine = form->scanUi.LFileType->text();
    if (!typeLine.contains(QLatin1String("AMR")) && DesignedFontMissingOnWindows())
      QSKIP(qPrintable(QStringLiteral("no SimSun here (wine); the stand-in elides the type line: ") + typeLine));
    QVERIFY2(typeLine.contains(QLatin1String("AMR")), qPrintable(typeLine));
    QVERIFY(form->scanUi.LDrive->text().startsWith(QString(QLatin1Char(letter)) + QLatin1Char(':')));
    QStringList clipped = ClippedTexts(form->ui.T3);
    VERIFY_FITS(clipped, QString());

    // Deep mode makes the line longest: it wraps between types, never inside one.
    form->ui.NDeepScan->setChecked(true);
    QVERIFY(form->ScanPage.PrepareScan());
    const QStringList types = QString::fromStdString(SoughtTypes(form->ScanOptionsPage.RecogniserInputs, true)).split(QLatin1Char('/'));
    const QStringList lines = form->scanUi.LFileType->text().split(QLatin1Char('\n'));
    QVERIFY(lines.size() > 1);
    for (const QString& line : lines) {
      for (QString item : line.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        item.remove(EngineText(TText::DeepScanSuffix));
        QVERIFY2(item == QStringLiteral("…") || types.contains(item), qPrintable(item));
      }
    }
    clipped = ClippedTexts(form->ui.T3);
    VERIFY_FITS(clipped, QString());
  }

  void PreviewTickLabelsAreWhole() {
    ShowWindow();
    TScanLeftovers scan(*form);
    for (const char* type : {"MOV", "MPG", "WAV", "AMR", "3GP", "MTS"})
      scan.Add(type, std::vector<uint8_t>(1024, 7));
    form->EnterPreviewStep();
    form->ShowPage(form->ui.T4);
    QCOMPARE(form->previewUi.C6->text(), QStringLiteral("File0006.MTS"));
    const QStringList clipped = ClippedTexts(form->ui.T4);
    VERIFY_FITS(clipped, QString());
  }

  void EveryOtherPageFits() {
    ShowWindow();
    form->ScanOptionsPage.FillDriveList();
    for (QWidget* page : {form->ui.T1, form->ui.T2, form->ui.T5}) {
      form->ShowPage(page);
      const QStringList clipped = ClippedTexts(page);
      VERIFY_FITS(clipped, page->objectName() + QStringLiteral(": "));
    }
  }

  // The small dialogs as the program fills them.
  void DialogsFit() {
    ShowWindow();
    form->ScanPage.CreateScanDialogs();
    form->ScanOptionsPage.StatusForm->Prepare('E', 65536);
    form->ScanPage.RecoveryDoneForm->ui.LMessage->setText(
        Tr("发现共有 %1 个文件。 \r\n\r\n请按[确定]，然后按[下一步]按钮可以预览并保存。")
            .arg(12345));
    TAboutBox about(form.get());
    about.ui.LVersion->setText(Tr("版本 6.10 build 1210"));
    TVideoTypeForm video(form.get());
    for (QDialog* dialog : {static_cast<QDialog*>(form->ScanOptionsPage.StatusForm),
                            static_cast<QDialog*>(form->ScanPage.RecoveryDoneForm),
                            static_cast<QDialog*>(&about), static_cast<QDialog*>(&video)}) {
      dialog->show();
      QVERIFY(QTest::qWaitForWindowExposed(dialog));
      const QStringList clipped = ClippedTexts(dialog);
      VERIFY_FITS(clipped, dialog->objectName() + QStringLiteral(": "));
      dialog->hide();
    }
  }

  // A destination deep in folders wraps after its separators, or gives way in the middle
  // with the whole path in the tooltip; it is never cut silently.
  void LongDestinationPathIsNeverCutSilently() {
    ShowWindow();
    TScriptedPrompter prompter;
    TScanLeftovers scan(*form);
    QString deep = scan.DestText();
    while (deep.size() < 600) deep += QStringLiteral("照片备份_2026年夏天的旅行/");
    form->ShowPage(form->ui.T5);
    form->SaveSelectedFiles(deep);
    QLabel* label = form->finishUi.LFileName;
    const QStringList clipped = ClippedTexts(form->ui.T5);
    VERIFY_FITS(clipped, QString());
    QVERIFY(label->toolTip().contains(deep));
  }
};

SNAPSALVAGER_WIZARD_TEST_MAIN(TestWindowFit)
#include "tst_WindowFit.moc"
