// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// TMainForm: start-up, closing, the step indicator and the page state machine.
#include "wizard/WizardWindow.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QShortcut>
#include <QTimer>
#include <QKeyEvent>
#include <QMenuBar>
#include <QMouseEvent>
#include <QSettings>
#include <QStandardPaths>
#include <QTabBar>
#include <filesystem>
#include <memory>

#include "session/ScanThread.h"
#include "wizard/Dialogs.h"
#include "wizard/HelpLinks.h"
#include "wizard/DeviceRights.h"

// Resources of a static library must be registered by name, outside any namespace.
static void InitWizardResources() { Q_INIT_RESOURCE(snapsalvager); }

namespace snapsalvager {
namespace {

const QColor kGrey(0x80, 0x80, 0x80);
const QColor kDarkBlue(0x00, 0x33, 0x99);  // 0x993300 in BGR order
const QColor kLinkBlue(0x00, 0x66, 0xCC);  // 0xCC6600 in BGR order

void SetTextColour(QWidget* w, const QColor& colour) {
  if (!w) return;
  QPalette p = w->palette();
  p.setColor(QPalette::WindowText, colour);
  w->setPalette(p);
}

void GiveOwnWhiteBackground(QWidget* w) {
  if (!w) return;
  QPalette p = w->palette();
  p.setColor(QPalette::Window, Qt::white);
  w->setPalette(p);
  w->setAutoFillBackground(true);
}

}  // namespace

TMainForm::TMainForm(QWidget* parent) : QMainWindow(parent) {
  InitWizardResources();
  // The designed default font: SimSun at 12 pixels, a CJK font where SimSun is missing.
  QFont base;
  base.setFamilies({QStringLiteral("SimSun"), QStringLiteral("Noto Sans CJK SC"),
                    QStringLiteral("WenQuanYi Micro Hei")});
  base.setPixelSize(12);
  setFont(base);

  ui.setupUi(this);
  scanUi.setupUi(ui.T3);
  previewUi.setupUi(ui.T4);
  finishUi.setupUi(ui.T5);

  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint |
                 Qt::WindowCloseButtonHint);
  setWindowIcon(QIcon(QStringLiteral(":/images/app_icon.png")));
  // Client area 744 x 487 below the menu, not resizable but on the preview page, which grows.
  ui.centralwidget->setFixedSize(744, 487);
  setFixedSize(744, 487 + menuBar()->sizeHint().height());

  SetMessageOwner(this);
  ScanOptionsPage.LoadImageLists();
  ConnectHandlers();
  FormCreate();
}

TMainForm::~TMainForm() {
  FormDestroy();
  if (MessageOwner() == this) SetMessageOwner(nullptr);
}

void TMainForm::ConnectHandlers() {
  connect(ui.BNext, &QPushButton::clicked, this, &TMainForm::BNextClick);
  connect(ui.BBack, &QPushButton::clicked, this, &TMainForm::BBackClick);
  connect(ui.BCancel, &QPushButton::clicked, this, &TMainForm::BCancelClick);
  connect(ui.Exit1, &QAction::triggered, this, &TMainForm::Exit1Click);
  connect(ui.NNewScan, &QAction::triggered, this, &TMainForm::NNewScanClick);
  connect(ui.NCardImage, &QAction::toggled, this, [this](bool checked) { ScanPage.NCardImageToggled(checked); });

  connect(ui.SnapsalvagerHelp1, &QAction::triggered, this, &TMainForm::SnapsalvagerHelp1Click);
  connect(new QShortcut(QKeySequence::HelpContents, this), &QShortcut::activated, this, &TMainForm::PageHelpKey);
  connect(ui.VisitWebsite1, &QAction::triggered, this, &TMainForm::VisitWebsite1Click);
  connect(ui.ContactSupport1, &QAction::triggered, this, &TMainForm::ContactSupport1Click);
  connect(ui.CheckSnapsalvagerUpdate1, &QAction::triggered, this,
          &TMainForm::CheckSnapsalvagerUpdate1Click);
  connect(ui.About1, &QAction::triggered, this, &TMainForm::About1Click);
  connect(ui.LDriveNoteLink, &TLinkLabel::clicked, this, &TMainForm::LDriveNoteLinkClick);

  ScanOptionsPage.Connect(this);
  ScanPage.Connect();
  ConnectPreviewPage();
  FinishPage.Connect(this);

  // The tabs show the steps but never change the page.
  ui.PC->tabBar()->setFocusPolicy(Qt::NoFocus);
  ui.PC->tabBar()->installEventFilter(this);
  ui.PC->installEventFilter(this);
}

bool TMainForm::eventFilter(QObject* watched, QEvent* event) {
  if (watched == ui.PC->tabBar()) {
    switch (event->type()) {
      case QEvent::MouseButtonPress:
      case QEvent::MouseButtonDblClick: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        const int tab = ui.PC->tabBar()->tabAt(mouse->position().toPoint());
        if (tab >= 0 && tab != ui.PC->currentIndex()) {
          if (event->type() == QEvent::MouseButtonPress) PCChanging();
          return true;
        }
        return false;
      }
      case QEvent::Wheel:
        return true;
      default:
        return false;
    }
  }
  if (watched == ui.PC && event->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(event);
    const bool ctrl = key->modifiers() & Qt::ControlModifier;
    if (ctrl && (key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab ||
                 key->key() == Qt::Key_PageUp || key->key() == Qt::Key_PageDown)) {
      PCChanging();
      return true;
    }
  }
  return QMainWindow::eventFilter(watched, event);
}

void TMainForm::FormCreate() {
  StyleLabels();

  const QPixmap topBar = ui.imgTopBar->pixmap();
  ui.imgTopBarStep1->setPixmap(topBar);
  scanUi.imgTopBarStep2->setPixmap(topBar);
  previewUi.imgTopBarStep3->setPixmap(topBar);
  finishUi.imgTopBarStepComplete->setPixmap(topBar);

  WindowTitle = QStringLiteral("Snapsalvager v6.10 build 1210");

  FoundFiles.Clear();
  ExtIconNames.clear();
  ImgListExt.clear();
  PreviewPage.ThumbnailList.clear();
  PreviewPage.LoadFrameBitmap();

  // White panels and pages, whatever the style paints behind them.
  for (QWidget* w : {static_cast<QWidget*>(ui.PTop), static_cast<QWidget*>(ui.PTab1),
                     static_cast<QWidget*>(ui.PTab2), static_cast<QWidget*>(scanUi.PTab3),
                     static_cast<QWidget*>(previewUi.PTab4),
                     static_cast<QWidget*>(finishUi.PTab5), ui.T1, ui.T2, ui.T3, ui.T4, ui.T5})
    GiveOwnWhiteBackground(w);

  PreviewPage.RegisterSlots();

  ui.CVideo->setChecked(false);
  ui.LVideoFileType->setVisible(false);
  ScanOptionsPage.ChosenVideoType = QStringLiteral("ALL");

  ScanOptionsPage.FillCameraList();

  ShowPage(ui.T1);
  ShowStep(1);

  DefaultDestFolder = MakeDefaultDestFolder(
      QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation), QDate::currentDate());
  ui.EDestFolder->setText(DefaultDestFolder);

  // Keeping the card's names and folders is the user's choice, remembered between runs.
  const auto settings = [] { return std::make_unique<QSettings>(QStringLiteral("Snapsalvager"), QStringLiteral("Snapsalvager")); };
  previewUi.NOriginalNames->setChecked(settings()->value(QStringLiteral("Save/OriginalNames"), false).toBool());
  connect(previewUi.NOriginalNames, &QCheckBox::toggled, this,
          [settings](bool on) { settings()->setValue(QStringLiteral("Save/OriginalNames"), on); });

  ScanPage.ScanInProgress = false;
  setWindowTitle(WindowTitle);
  AskAdministrator();
}

QString TMainForm::MakeDefaultDestFolder(const QString& documentsFolder, const QDate& today) {
  QString folder = documentsFolder;
  if (!folder.endsWith(QLatin1Char('/'))) folder += QLatin1Char('/');
  return folder + QLatin1String("Snapsalvager/") + today.toString(QStringLiteral("yyyy-MM-dd")) +
         QLatin1Char('/');
}

void TMainForm::AskAdministrator() {
  if (!AdministratorQuestionNeeded()) return;
#ifdef _WIN32
  // Windows: only "Run as administrator" gives the rights.
  const QString text = QCoreApplication::translate("Snapsalvager",
      "注意： 看来你没有使用\"管理员身份\"登录。"
      "在某些情况下，没有\"管理员\"权限 Snapsalvager 可能无法访问和恢复您的数据。"
      "如果你没有登录为\"管理员\"，建议您关闭 Snapsalvager，然后重新登录为\"管理员\"或通过右键点击 "
      "Snapsalvager 快捷方式允许 Snapsalvager 到\"用管理员身份运行\"。"
      "\r\n\r\n"
      "单击 [是] 立即关闭 Snapsalvager 或单击 [否]，继续。");
#else
  // What works on this platform: the administrator, the desktop's administrator rights
  // (pkexec), or the group that owns the card devices, named.
  const QString text =
      QCoreApplication::translate("Snapsalvager",
          "注意： 看来你没有使用\"管理员身份\"登录。"
          "在某些情况下，没有\"管理员\"权限 Snapsalvager 可能无法访问和恢复您的数据：它不能直接读取存储卡，"
          "也无法通过系统的磁盘服务 udisks2 请求授权。"
          "\r\n\r\n"
          "可以这样解决：请系统管理员帮助您；或者以桌面的管理员权限启动 Snapsalvager（pkexec snapsalvager）；"
          "或者加入存储卡设备所属的组“%1”（sudo usermod -aG %1 用户名，然后重新登录）。"
          "\r\n\r\n"
          "单击 [是] 立即关闭 Snapsalvager 或单击 [否]，继续。")
          .arg(QString::fromStdString(DeviceGroupName()));
#endif
  if (AskYesNo(text) == QMessageBox::Yes) {
    QuitRequested = true;
    // Posted: the program ends as soon as its event loop runs. exit(), not quit(): quit()
    // first offers every window its close, and the window would ask whether to quit again.
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);
  }
}

void TMainForm::FormDestroy() {
  ClearFoundFiles(FoundFiles);
  ExtIconNames.clear();
  ImgListExt.clear();
  PreviewPage.FrameBitmap = QImage();
  PreviewPage.ClearThumbnails();
  PreviewPage.ClearPages();
}

void TMainForm::StyleLabels() {
  auto named = [this](const char* name) { return findChild<QWidget*>(QLatin1String(name)); };
  for (const char* name :
       {"LDriveTitle", "LCameraTitle", "LFolderTitle", "LPreviewTitle1", "LPreviewTitle2"})
    SetTextColour(named(name), kDarkBlue);
  for (const char* name : {"LDriveNoteLink", "LPreviewQuestionLink", "LPostProcess2Link"})
    SetTextColour(named(name), kLinkBlue);

  const int pageWidth = ui.PTab1->width();
  for (QLabel* title : {ui.LWelcome, ui.LTopNoteStep1, scanUi.LTopNoteStep2,
                        previewUi.LTopNoteStep3, finishUi.LTopNoteStepComplete}) {
    SetTextColour(title, Qt::white);
    title->adjustSize();
    title->move((pageWidth - 25) - title->width(), title->y());
  }
  ui.LWelcomeTitle->adjustSize();
  ui.LWelcomeTitle->move((pageWidth - ui.LWelcomeTitle->width()) / 2, ui.LWelcomeTitle->y());
}

void TMainForm::ShowStep(int step) {
  QLabel* const images[] = {ui.Img1, ui.Img2, ui.Img3, ui.Img4, ui.Img5};
  QLabel* const labels[] = {ui.L1, ui.L2, ui.L3, ui.L4, ui.L5};
  for (int i = 0; i < 5; ++i) {
    images[i]->setPixmap(ui.S1->pixmap());
    QFont f = labels[i]->font();
    f.setBold(false);
    labels[i]->setFont(f);
    SetTextColour(labels[i], kGrey);
  }
  // Steps before the current one are done; step 6 marks all five done.
  for (int i = 0; i < 5 && i < step - 1; ++i) images[i]->setPixmap(ui.S2->pixmap());
  if (step >= 1 && step <= 5) {
    QLabel* current = labels[step - 1];
    QFont f = current->font();
    f.setBold(true);
    current->setFont(f);
    SetTextColour(current, Qt::black);
  }
}

int TMainForm::CurrentPage() const { return ui.PC->currentIndex() + 1; }

void TMainForm::ShowPage(QWidget* page) { ui.PC->setCurrentWidget(page); }

void TMainForm::PCChanging() {
  ShowInfo(QCoreApplication::translate("Snapsalvager", "请点击“下一步”按钮继续，或“返回”按钮返回。"));
}

void TMainForm::BNextClick() {
  switch (CurrentPage()) {
    case 1:
      ScanOptionsPage.FillDriveList();
      ShowPage(ui.T2);
      ShowStep(2);
      break;
    case 2:
      if (ScanOptionsPage.ValidateScanOptions() && ScanPage.PrepareScan() && ScanPage.StartScan()) {
        ShowPage(ui.T3);
        ShowStep(3);
      }
      break;
    case 3:
      if (ScanPage.ScanInProgress) break;  // Next is offered only after the scan
      EnterPreviewStep();
      ShowPage(ui.T4);
      ShowStep(4);
      break;
    case 4:
      // Nothing ticked deletes every found file: only a Yes that says so goes on.
      if (CountSelected() == 0 && FoundFiles.Count() > 0 &&
          AskBeforeDeleting(EmptySelectionQuestion(FoundFiles.Count())) != QMessageBox::Yes)
        return;
      StartSaving();
      break;
    case 5:
      ClearFoundFiles(FoundFiles);
      ShowPage(ui.T1);
      ShowStep(1);
      break;
  }
  ApplyButtonRulesAfterNext();
}

void TMainForm::StartSaving() {
  FinishPage.ShowSaving();
  ShowPage(ui.T5);
  ShowStep(5);
  ui.BBack->setEnabled(false);
  ui.BNext->setEnabled(false);

  SaveSelectedFiles(ScanOptionsPage.DestFolder);

  FinishPage.ShowPostProcessing();
  ShowStep(6);
  // Asked to quit during the pass: the pass has ended (its messages shown), so go now.
  if (QuitAfterSave) {
    QTimer::singleShot(0, this, &TMainForm::close);
    return;
  }
  FinishPage.TellPostProcessing();
}

void TMainForm::ApplyButtonRulesAfterNext() {
  const int page = CurrentPage();
  if (page == 3) {
    ui.BNext->setEnabled(false);
    ui.BBack->setEnabled(false);
  } else {
    ui.BBack->setEnabled(page != 5);
    ui.BNext->setEnabled(true);
  }
  ui.BNext->setText(QCoreApplication::translate("Snapsalvager", "下一步 >"));
  if (page == 1) ui.BBack->setEnabled(false);
  if (page == 5) {
    ui.BNext->setText(QCoreApplication::translate("Snapsalvager", "完成"));
    ui.BNext->setEnabled(true);
  }
}

void TMainForm::BBackClick() {
  switch (CurrentPage()) {
    case 2:
      ShowPage(ui.T1);
      ShowStep(1);
      break;
    case 3:
      if (ScanPage.ScanInProgress) return;  // Back is offered only after the scan
      ShowPage(ui.T2);
      ShowStep(2);
      break;
    case 4:
      if (FoundFiles.Count() >= 30 &&
          AskYesNo(QCoreApplication::translate("Snapsalvager",
              "请注意，“步骤3 - 预览”点击[返回]按钮将回到“步骤1 - 扫描选项”。如果你想从存储卡中恢复丢失的"
              "照片,您将需要再次进行扫描。"
              "\r\n\r\n"
              "你一定要返回到“步骤1 - 扫描选项”吗?")) == QMessageBox::No)
        break;
      ShowPage(ui.T2);
      ShowStep(2);
      break;
    default:
      break;
  }
  ApplyButtonRulesAfterBack();
}

void TMainForm::ApplyButtonRulesAfterBack() {
  ui.BBack->setEnabled(true);
  ui.BNext->setEnabled(true);
  ui.BNext->setText(QCoreApplication::translate("Snapsalvager", "下一步 >"));
  if (CurrentPage() == 1) ui.BBack->setEnabled(false);
}

void TMainForm::BCancelClick() { close(); }

void TMainForm::Exit1Click() { close(); }

void TMainForm::NNewScanClick() {
  // The found files leave the list; their temporary files stay, and the user says so first.
  if (FoundFiles.Count() > 0) {
    size_t kept = 0;
    for (size_t i = 0; i < FoundFiles.Count(); ++i) {
      std::error_code ec;
      if (std::filesystem::exists(FoundFiles[i].TempFile, ec)) ++kept;
    }
    if (kept > 0 && AskBeforeLeaving(NewScanLeavesFilesQuestion(kept, ScanOptionsPage.TempFolder)) != QMessageBox::Yes)
      return;
  }
  ScanOptionsPage.FillDriveList();
  ShowPage(ui.T2);
  // The indicator and the buttons follow the page, whichever page the menu left.
  ShowStep(2);
  ApplyButtonRulesAfterBack();
}

void TMainForm::closeEvent(QCloseEvent* event) {
  if (FormCloseQuery())
    event->accept();
  else
    event->ignore();
}

bool TMainForm::FormCloseQuery() {
  if (ScanPage.ScanInProgress) {
    // The scan waits while the user decides, so it cannot end under the question and leave
    // it asking about nothing; a pause the user chose stays.
    const bool pausedHere = ScanPage.ScanThread && !ScanPage.ScanThread->Suspended();
    if (pausedHere) ScanPage.ScanThread->Suspend();
    ScanPage.QuitQuestionOpen = true;
    const bool quit = AskYesNoWarning(QCoreApplication::translate("Snapsalvager",
                          "Snapsalvager 正在扫描你的内存卡。您确定要终止扫描并退出 Snapsalvager 吗？")) ==
                      QMessageBox::Yes;
    ScanPage.QuitQuestionOpen = false;
    if (quit) {
      ScanPage.StopScanForClose();
      return true;
    }
    if (pausedHere && ScanPage.ScanThread) ScanPage.ScanThread->Resume();
    // A scan that ended while the question was open (its last batch) tells its end now.
    if (ScanPage.EndMessagesHeld) {
      ScanPage.EndMessagesHeld = false;
      ScanPage.ShowScanEndMessages();
    }
    return false;
  }
  if (SaveInProgress) {
    // Quitting mid-pass would hide the window while files are still being moved: it stays,
    // with its progress, and closes when the pass ends.
    if (!QuitAfterSave && AskYesNo(SaveRunningQuitQuestion()) == QMessageBox::Yes) QuitAfterSave = true;
    return false;
  }
  if (QuitAfterSave) return true;  // asked and answered during the save
  // From the preview page the found files are not saved yet: say where they stay.
  if (CurrentPage() == 4) {
    size_t kept = 0;
    for (size_t i = 0; i < FoundFiles.Count(); ++i) {
      std::error_code ec;
      if (std::filesystem::exists(FoundFiles[i].TempFile, ec)) ++kept;
    }
    if (kept > 0) return AskBeforeLeaving(QuitLeavesFilesQuestion(kept, ScanOptionsPage.TempFolder)) == QMessageBox::Yes;
  }
  return AskYesNo(QCoreApplication::translate("Snapsalvager", "你确定现在退出 Snapsalvager?")) == QMessageBox::Yes;
}

}  // namespace snapsalvager
