// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// Page T3: measuring the card and the warnings before a scan, starting, pausing and
// stopping the scan thread, the thread's reports in the page, and the end of a scan.
#include "wizard/ScanPage.h"

#include <QCoreApplication>
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileDialog>
#include <QHeaderView>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QStyle>
#include <QTableWidget>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <climits>
#include <filesystem>

#include "session/RecoverySession.h"
#include "metadata/PhotoSummary.h"
#include "card/LinuxDrives.h"
#include "session/SaveFiles.h"
#include "session/ScanChecks.h"
#include "session/Texts.h"
#include "wizard/CardOpening.h"
#include "wizard/Dialogs.h"
#include "wizard/FileTypeIcons.h"
#include "wizard/ScanOptionsPage.h"
#include "wizard/WizardSave.h"
#include "wizard/WaitPanel.h"
#include "wizard/ScanDoneDialog.h"
#include "wizard/CapacityDialog.h"

namespace snapsalvager {
namespace {

// How long rows of the scan list collect before they are painted together.
constexpr int kRowPaintIntervalMs = 100;

const char* const kTagProperty = "Tag";  // the LScanNote tag: 1 once a file was listed

QString Letter(char letter) { return QString(QChar(QLatin1Char(letter))); }

// Runs the scan thread's calls on the GUI thread and waits for them. The application object
// receives them: it outlives every window, and a call for a window that is gone belongs to
// an abandoned thread and does nothing.
void RunOnMainThread(const std::function<void()>& call) {
  QCoreApplication* app = QCoreApplication::instance();
  if (!app) return;
  if (QThread::currentThread() == app->thread()) {
    call();
    return;
  }
  QMetaObject::invokeMethod(app, [&call] { call(); }, Qt::BlockingQueuedConnection);
}

// The recovery's reports, turned into the page's controls, and its questions, asked in
// message boxes.
class TWindowRecoveryReport final : public TRecoveryObserver {
 public:
  TWindowRecoveryReport(Ui::ScanPage& ui, TScanPage& page, TFinishPage& finish)
      : ui_(ui), page_(page), finish_(finish) {}

  void Reset() {
    position_ = 0;
    shift_ = 0;
  }

  void SetProgressPosition(uint64_t value) override {
    position_ = value;
    ShowPosition();
  }

  void SetProgressMaximum(uint64_t value) override {
    // A progress bar counts in int: a count above INT_MAX is shown halved as often as needed.
    shift_ = 0;
    while ((static_cast<uint64_t>(value) >> shift_) > static_cast<uint64_t>(INT_MAX)) ++shift_;
    ui_.PBar->setMaximum(static_cast<int>(value >> shift_));
    ShowPosition();
  }

  void StepProgress() override {
    ++position_;
    ShowPosition();
  }

  void SetLabelText(TScanLabel label, const std::string& text) override {
    QLabel* target = nullptr;
    switch (label) {
      case TScanLabel::LRead: target = ui_.LRead; break;
      case TScanLabel::LBad: target = ui_.LBad; break;
      case TScanLabel::LTime: target = ui_.LTime; break;
    }
    if (target) target->setText(QString::fromStdString(text));
  }

  void AddFoundFile(const std::string& name, const std::string& description,
                    int64_t size) override {
    page_.AddScanRow(QString::fromStdString(name), QString::fromStdString(description), size);
  }

  void Finish(const std::string& error) override {
    page_.ScanThreadFinished(QString::fromStdString(error));
  }

  void SectorsUnreadable(uint64_t firstSector, uint64_t count) override { page_.NoteUnreadable(firstSector, count); }

  void FoundFileChanged(size_t index, const std::string&, const std::string& description, int64_t size) override {
    page_.ChangeScanRow(static_cast<int>(index), QString::fromStdString(description), size);
  }

  // The search for photos' second pieces comes after the read: it takes the time label.
  void SetJoinProgress(uint32_t done, uint32_t total) override {
    const std::string text = Text(TText::JoiningPieces, {std::to_string(done), std::to_string(total)});
    ui_.LTime->setText(QString::fromStdString(text));
  }

  // The scan goes on without the image; the user is told why there is none.
  bool GoOnWithoutCardImage(const std::string& error) override {
    ShowInfo(QCoreApplication::translate("Snapsalvager", "无法写入存储卡映像：") + QString::fromLocal8Bit(error.c_str()));
    return true;
  }

  // An interrupted scan of this card into this folder with these options: the user chooses
  // whether it goes on. Not asked while a card image is made.
  bool ResumeInterruptedScan(const TResumeOffer& offer, bool imaging) override {
    if (imaging || offer.Verdict != TResumeVerdict::Matches) return false;
    const TJournalPoint& at = offer.Journal->Point;
    const QString question =
        QCoreApplication::translate("Snapsalvager",
                                    "上次将此存储卡扫描到此文件夹时被中断（已扫描 %1/%2 个扇区，找到 %3 个文件）。\n"
                                    "是否从中断处继续扫描？选择“否”将从头重新扫描。")
            .arg(at.Done)
            .arg(at.Total)
            .arg(offer.Journal->Rows.size());
    return AskYesNo(question) == QMessageBox::Yes;
  }

  void Info(const std::string& text) override { ShowInfo(QString::fromStdString(text)); }

  void SavingFile(const TSaveStep& step) override { finish_.ShowSaveStep(step); }

 private:
  void ShowPosition() {
    const uint64_t shown = position_ >> shift_;
    ui_.PBar->setValue(
        static_cast<int>(std::min<uint64_t>(shown, static_cast<uint64_t>(ui_.PBar->maximum()))));
  }

  Ui::ScanPage& ui_;
  TScanPage& page_;
  TFinishPage& finish_;
  uint64_t position_ = 0;
  unsigned shift_ = 0;
};

std::filesystem::path ToPath(const QString& path) {
  return std::filesystem::path(path.toStdString());
}

}  // namespace

TScanPage::TScanPage(Ui::ScanPage& ui, Ui::MainForm& frame, QWidget& window, TScanOptionsPage& options,
                     TFinishPage& finish, TFoundFileList& foundFiles, const QStringList& extIconNames,
                     const QList<QIcon>& extIcons)
    : ui_(ui),
      frame_(frame),
      window_(window),
      options_(options),
      finish_(finish),
      found_(foundFiles),
      extIconNames_(extIconNames),
      extIcons_(extIcons) {}

// Runs before the threads are destroyed.
TScanPage::~TScanPage() {
  for (std::unique_ptr<TDigitalReadThread>* thread : {&ScanThread, &EndedScanThread})
    if (*thread && !(*thread)->Finished()) (*thread)->Abandon();
  EndCardImage();
}

void TScanPage::CreateScanDialogs() {
  options_.CreateCheckDialogs();
  if (!RecoveryDoneForm) RecoveryDoneForm = new TRecoveryDoneForm(&window_);
}

void TScanPage::NCardImageToggled(bool checked) {
  CardImagePath.clear();
  if (!checked) return;
  // The writer refuses an existing file itself, so the dialog asks nothing about one.
  CardImagePath = QFileDialog::getSaveFileName(&window_, QCoreApplication::translate("Snapsalvager", "存储卡映像"), QString(),
                                               QString(), nullptr,
                                               QFileDialog::DontConfirmOverwrite);
  if (CardImagePath.isEmpty()) {
    const QSignalBlocker quiet(frame_.NCardImage);
    frame_.NCardImage->setChecked(false);
  }
}

// Stops the recording (no read reaches the writer after this) and closes the image; one
// image per choice, so the menu item is cleared.
void TScanPage::EndCardImage() {
  if (!Recovery) return;
  const TCardImageEnd image = Recovery->EndScan();
  if (!image.Made) return;
  // Its map names the unreadable sectors the card map shows.
  if (image.Written) CardImageMap = image.MapPath;
  if (!image.Written && !ClosingDuringScan)
    ShowInfo(QCoreApplication::translate("Snapsalvager", "无法写入存储卡映像：") + QString::fromStdString(image.Error));
  const QSignalBlocker quiet(frame_.NCardImage);
  frame_.NCardImage->setChecked(false);
  CardImagePath.clear();
}

void TScanPage::Connect() {
  // The window's report is the recovery's observer for the window's lifetime.
  ScanEvents = std::make_unique<TWindowRecoveryReport>(ui_, *this, finish_);
  Recovery = std::make_unique<TRecoverySession>(*ScanEvents, RunOnMainThread, found_);
  QObject::connect(ui_.BPause, &QPushButton::clicked, &window_, [this] { BPauseClick(); });
  QObject::connect(ui_.BStop, &QPushButton::clicked, &window_, [this] { BStopClick(); });
  QTableWidget* list = ui_.LVShow;
  const int widths[] = {60, 90, 70, 500};
  for (int column = 0; column < 4; ++column) list->setColumnWidth(column, widths[column]);
  list->setIconSize(QSize(16, 16));
  list->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  // Whole rows only: the list scrolls by rows and is as high as its whole rows, so the
  // newest row shows complete at the bottom and no row hides half under the header.
  list->setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
  list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  // A row is never lower than its font and the style allow, whatever height was designed.
  const int rowHeight = std::max(list->verticalHeader()->defaultSectionSize(),
                                 list->verticalHeader()->minimumSectionSize());
  list->verticalHeader()->setDefaultSectionSize(rowHeight);
  const int chrome = list->horizontalHeader()->sizeHint().height() + 2 * list->frameWidth() +
                     list->horizontalScrollBar()->sizeHint().height();
  // As many rows as are nearest the designed height, without reaching the note below.
  int rows = std::max(1, (list->height() - chrome + rowHeight / 2) / rowHeight);
  while (rows > 1 && list->y() + chrome + rows * rowHeight > ui_.LScanNote->y()) --rows;
  list->setFixedHeight(chrome + rows * rowHeight);
  ui_.LScanNote->setProperty(kTagProperty, 0);
}

bool TScanPage::PrepareScan() {
  CreateScanDialogs();
  // A thread given up at Stop may still write into the temporary folder a new scan would
  // start afresh.
  if (AbandonedScansRunning() > 0) {
    ShowInfo(QString::fromStdString(AbandonedScanRunningText()));
    return false;
  }
  // A card that cannot be opened is said so before anything is measured: measured, it
  // would pass for one whose capacity is unknown, scanned for one without files. Opening
  // may go through udisks2 (a password prompt) when the device cannot be opened directly.
  if (QString failure; !OpenCardForScan(options_.SelectedDrive.DriveNumber, failure)) {
    ShowInfo(failure);
    ui_.LSize->setText(QStringLiteral("0 MB"));
    return false;
  }
  TScanCheckList checks({}, options_.CheckProbes());
  checks.Drive = options_.SelectedDrive;
  checks.DestFolder = options_.DestFolder.toStdString();
  checks.SkipTo(TCheckPhase::BeforeScan);
  // The quick status shows while the card is measured, the first of these checks.
  options_.ShowQuickStatus(QCoreApplication::translate("Snapsalvager", "获取磁盘信息。它只需几秒钟..."));
  const bool result = options_.RunCheckSteps(checks, TCheckPhase::BeforeScan);
  options_.HideQuickStatus();
  options_.SelectedDrive = checks.Drive;
  const TDriveEntry& drive = options_.SelectedDrive;

  if (result) {
    ui_.LSize->setText(QCoreApplication::translate("Snapsalvager", "存储大小:  %1 MB").arg(static_cast<int>(drive.SectorCount / 2048)));
    // Letters mean little on Linux: name the device or image behind one, as the command does.
    QString driveText = Letter(drive.Letter) + QLatin1Char(':');
    if (const TLinuxDrive* known = LinuxDrives::ByNumber(drive.DriveNumber))
      if (!known->DisplayName.empty())
        driveText += QStringLiteral(" (%1)").arg(QString::fromStdString(known->DisplayName));
    SetFittedText(*ui_.LDrive, driveText);
    ui_.LScanNote->setText(QCoreApplication::translate("Snapsalvager", "扫描正在进行中..."));
    ui_.LScanNote->setProperty(kTagProperty, 0);
    SetListText(*ui_.LFileType,
                QString::fromStdString(SoughtTypes(options_.RecogniserInputs, frame_.NDeepScan->isChecked()) +
                                       (frame_.NDeepScan->isChecked() ? Text(TText::DeepScanSuffix) : "")));
  } else {
    ui_.LSize->setText(QStringLiteral("0 MB"));
  }
  return result;
}

bool TScanPage::StartScan() {
  CardImageMap.clear();  // a card image of an earlier scan is not this card's
  UnreadableAreas.clear();
  UserStopped = false;
  ClosingDuringScan = false;
  ScanError.clear();
  ui_.BStop->setEnabled(true);
  ui_.BPause->setEnabled(true);
  ui_.BPause->setText(QCoreApplication::translate("Snapsalvager", "暂停"));
  frame_.NNewScan->setEnabled(false);

  ui_.LFile->setText(QStringLiteral("0"));
  ui_.LRead->setText(QStringLiteral("0"));
  ui_.LBad->setText(QStringLiteral("0"));
  // No estimate until the thread can make one: not the last scan's "0:00:00", which reads
  // as "about to end".
  ui_.LTime->setText(NoEstimateText());
  ui_.PBar->setValue(0);
  EndScanRowUpdate();
  ui_.LVShow->setUpdatesEnabled(false);
  ui_.LVShow->setRowCount(0);
  ui_.LVShow->setUpdatesEnabled(true);

  ScanInProgress = true;
  ClearFoundFiles(found_);

  // The last scan's thread has long returned; a new scan starts from a clean slate.
  EndedScanThread.reset();
  TRecoverySession& recovery = *Recovery;
  static_cast<TWindowRecoveryReport&>(*ScanEvents).Reset();
  recovery.Settings.Drive = options_.SelectedDrive;
  recovery.Settings.TempFolder = ToPath(options_.TempFolder);
  recovery.Settings.DestFolder = ToPath(options_.DestFolder);
  recovery.Settings.Inputs = options_.RecogniserInputs;
  recovery.Settings.DeepScan = frame_.NDeepScan->isChecked();
  recovery.Settings.CardImage = CardImagePath.isEmpty() ? std::filesystem::path() : ToPath(CardImagePath);
  recovery.Settings.DescribeFile = DescribeFoundFile;
  TScanStart start = recovery.StartScan();
  ScanThread = std::move(start.Thread);
  if (!ScanThread) {
    // No scan could be started: it ends as after an error, once the Next click has shown
    // the scan page and applied its button rules (finished inside the click, the rules
    // would lock both buttons again and leave the user stuck on the page).
    const QString error = QString::fromLocal8Bit(start.Error.c_str());
    QTimer::singleShot(0, &window_, [this, error] { ScanThreadFinished(error); });
  }
  return true;
}

void TScanPage::BPauseClick() {
  ui_.BPause->setEnabled(false);
  if (ScanThread) {
    if (ScanThread->Suspended()) {
      ScanThread->Resume();
      ui_.BStop->setEnabled(true);
      ui_.BPause->setText(QCoreApplication::translate("Snapsalvager", "暂停"));
    } else {
      ScanThread->Suspend();
      ui_.BStop->setEnabled(false);
      ui_.BPause->setText(QCoreApplication::translate("Snapsalvager", "继续"));
    }
  }
  ui_.BPause->setEnabled(true);
}

bool TScanPage::WaitForScanEnd(int timeoutMs) {
  if (ScanEnded) return true;
  QElapsedTimer clock;
  clock.start();
  QEventLoop loop;
  QTimer poll;
  poll.setInterval(10);
  QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
    if (ScanEnded || clock.elapsed() >= timeoutMs) loop.quit();
  });
  poll.start();
  // The thread's calls (and FinishScan among them) run here; clicks wait, so nothing
  // re-enters the page while it ends.
  loop.exec(QEventLoop::ExcludeUserInputEvents);
  return ScanEnded;
}

void TScanPage::BStopClick() {
  ui_.BStop->setEnabled(false);
  ScanEnded = false;
  if (!ScanThread) return;
  StopScanThread();
}

void TScanPage::StopScanThread() {
  UserStopped = true;
  ScanThread->Terminate();
  if (WaitForScanEnd(StopWaitMs)) return;
  // The thread ignored the request: its later calls are dropped and it ends by itself.
  if (ScanThread) {
    ScanThread->Abandon();
    ScanThread.reset();
  }
  FinishScan();
}

void TScanPage::StopScanForClose() {
  if (!ScanThread) return;
  // The process must not end while the thread still writes a temporary file: wait for the
  // end of its batch (its last file closed and recorded), within the same bound as Stop.
  ClosingDuringScan = true;
  ScanEnded = false;
  StopScanThread();
}

void TScanPage::AddScanRow(const QString& name, const QString& description, int64_t size) {
  QTableWidget* list = ui_.LVShow;
  // Each found file waits for its row: painting the list for every one of thousands of small
  // files would cost the scan more than the reading. The bracket stays open for a moment so
  // the rows of that moment are painted together.
  if (!ScanRowsPending) {
    ScanRowsPending = true;
    list->setUpdatesEnabled(false);
    QTimer::singleShot(kRowPaintIntervalMs, &window_, [this] { EndScanRowUpdate(); });
  }
  const int row = list->rowCount();
  list->insertRow(row);
  auto* caption = new QTableWidgetItem(QString::number(row + 1));
  const int image = snapsalvager::ExtIconIndex(extIconNames_, name);
  if (image >= 0 && image < extIcons_.size()) caption->setIcon(extIcons_[image]);
  list->setItem(row, 0, caption);
  list->setItem(row, 1, new QTableWidgetItem(name));
  list->setItem(row, 2, new QTableWidgetItem(QString::number(size)));
  list->setItem(row, 3, new QTableWidgetItem(description));
  list->scrollToItem(caption);
  ui_.LFile->setText(QString::number(list->rowCount()));
  if (ui_.LScanNote->property(kTagProperty).toInt() == 0) {
    ui_.LScanNote->setText(QCoreApplication::translate("Snapsalvager", "上面列出找到的文件如果停止可以恢复并且保存。"));
    ui_.LScanNote->setProperty(kTagProperty, 1);
  }
}

void TScanPage::NoteUnreadable(uint64_t firstSector, uint64_t count) {
  const uint64_t sectorSize = Recovery && Recovery->Settings.Drive.SectorSize != 0 ? Recovery->Settings.Drive.SectorSize : 512;
  const uint64_t begin = firstSector * sectorSize, end = (firstSector + count) * sectorSize;
  // A dying card's scattered bad sectors: past the cap they join the last area, which the
  // map then shows as one, rather than being left off it.
  if (!UnreadableAreas.empty() && (UnreadableAreas.back().second == begin || UnreadableAreas.size() >= kMaxUnreadableAreas)) {
    UnreadableAreas.back().second = std::max(UnreadableAreas.back().second, end);
  } else {
    UnreadableAreas.emplace_back(begin, end);
  }
}

void TScanPage::ChangeScanRow(int row, const QString& description, int64_t size) {
  QTableWidget* list = ui_.LVShow;
  if (row < 0 || row >= list->rowCount()) return;
  list->setItem(row, 2, new QTableWidgetItem(QString::number(size)));
  list->setItem(row, 3, new QTableWidgetItem(description));
}

void TScanPage::EndScanRowUpdate() {
  if (!ScanRowsPending) return;
  ScanRowsPending = false;
  QTableWidget* list = ui_.LVShow;
  list->setUpdatesEnabled(true);
  if (list->rowCount() > 0) list->scrollToItem(list->item(list->rowCount() - 1, 0));
}

void TScanPage::ScanThreadFinished(const QString& error) {
  if (!error.isEmpty()) {
    ScanError = error;
  }
  FinishScan();
}

void TScanPage::FinishScan() {
  EndCardImage();
  CreateScanDialogs();
  ScanEnded = true;
  ScanInProgress = false;
  ui_.BStop->setEnabled(false);
  ui_.BPause->setEnabled(false);
  ui_.LTime->setText(QStringLiteral("0:00:00"));
  EndScanRowUpdate();

  // This may run inside the thread's own finish call: the object is destroyed only once
  // the thread has returned.
  if (ScanThread) {
    EndedScanThread = std::move(ScanThread);
    QTimer::singleShot(0, &window_, [this] { ReapEndedScanThread(); });
  }

  const int found = static_cast<int>(found_.Count());
  if (QuitQuestionOpen) {
    EndMessagesHeld = true;
  } else if (!ClosingDuringScan) {
    ShowScanEndMessages();
  }
  if (found > 0) frame_.NNewScan->setEnabled(true);
  frame_.BNext->setEnabled(found > 0);
  frame_.BBack->setEnabled(true);
  ui_.LScanNote->setText(QCoreApplication::translate("Snapsalvager", "点击“下一步”进行预览恢复的图片。"));
}

void TScanPage::ShowScanEndMessages() {
  const int found = static_cast<int>(found_.Count());
  // The files listed before an error are complete on disk and can still be previewed and saved.
  if (!ScanError.isEmpty())
    ShowInfo(QCoreApplication::translate("Snapsalvager", "扫描因错误而中止：") + QStringLiteral("\r\n\r\n") + ScanError);
  {
    if (UserStopped) ShowInfo(QString::fromUtf8(Text(TText::UserStopped)));
    if (found > 0) {
      const QString message = QCoreApplication::translate(
          "Snapsalvager", "发现共有 %1 个文件。 \r\n\r\n请按[确定]，然后按[下一步]按钮可以预览并保存。").arg(found);
      // A label shows a line break as "\n"; a lone carriage return would show as a glyph.
      RecoveryDoneForm->ui.LMessage->setText(QString(message).replace(QLatin1String("\r\n"),
                                                                      QLatin1String("\n")));
      RunDialog(*RecoveryDoneForm);
    } else if (ScanError.isEmpty()) {
      // After an error the card was not scanned to its end: "nothing found" would mislead.
      ShowInfo(QString::fromUtf8(Text(TText::NothingFound)));
    }
  }
}

void TScanPage::ReapEndedScanThread() {
  if (!EndedScanThread) return;
  if (EndedScanThread->Finished()) {
    EndedScanThread.reset();
    return;
  }
  // Between its finish call and its return: look again shortly.
  QTimer::singleShot(10, &window_, [this] { ReapEndedScanThread(); });
}

}  // namespace snapsalvager
