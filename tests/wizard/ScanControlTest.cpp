// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// The scan page: measuring the card and the warnings before a scan, real scans of card
// images through the window (rows, counts, labels, the end-of-scan dialog), pause and
// continue, stop, an error that ends the scan, and closing the window during a scan.
#include <QDir>
#include <QFileInfo>
#include <QtTest>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <fstream>
#include <iterator>
#include <mutex>
#include <thread>

#include "fixtures/CardImage.h"
#include "fixtures/Jpegs.h"
#include "fixtures/LoopDisk.h"
#include "fixtures/Photos.h"
#include "WizardTestSupport.h"
#include "session/ScanJournal.h"
#include "session/ScanThread.h"
#include "card/LinuxDrives.h"
#include "session/ScanChecks.h"
#include "wizard/WaitPanel.h"
#include "wizard/ScanDoneDialog.h"
#include "wizard/CapacityDialog.h"

using namespace snapsalvager;
using namespace snapsalvager::test;
using snapsalvager::fixtures::CardImage;

namespace {

QString UserStoppedText() { return EngineText(TText::UserStopped); }
QString NothingFoundText() { return EngineText(TText::NothingFound); }
QString FirstRowNoteText() { return Tr("上面列出找到的文件如果停止可以恢复并且保存。"); }
QString EndNoteText() { return Tr("点击“下一步”进行预览恢复的图片。"); }
QString ScanningNoteText() { return Tr("扫描正在进行中..."); }
QString CloseDuringScanText() {
  return Tr("Snapsalvager 正在扫描你的内存卡。您确定要终止扫描并退出 Snapsalvager 吗？");
}

QString DoneMessage(int files) {
  return Tr("发现共有 %1 个文件。 \r\n\r\n请按[确定]，然后按[下一步]按钮可以预览并保存。")
      .arg(files)
      .replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

QString HardDiskQuestion(char letter, const QString& size) {
  return EngineText(TText::HardDisk, {std::string(1, letter), size.toStdString()});
}

QString FreeSpace2048Text() {
  return EngineText(TText::FreeSpace,
                    {"2048 MB (  2.0 GB)", "2251 MB (  2.2 GB)", "2252 MB (  2.2 GB)"});
}

constexpr int64_t kMiB = 1024 * 1024;

// A card of any size whose sectors all read as zeros. Its geometry and length answer only
// when given (0 sectors / -1 bytes: the query fails), so the window has to ask the user.
class ZeroCardSource : public TCardSource {
 public:
  ZeroCardSource(uint32_t geometrySectors, uint32_t bytesPerSector, int64_t length)
      : sectors_(geometrySectors), bytesPerSector_(bytesPerSector), length_(length) {}
  bool ReadAt(uint64_t, void* dest, size_t length) override {
    std::memset(dest, 0, length);
    return true;
  }
  bool Geometry(TDiskGeometry& geometry) override {
    if (sectors_ == 0) return false;
    geometry = TDiskGeometry{};
    geometry.BytesPerSector = bytesPerSector_;
    geometry.Cylinders = sectors_;
    geometry.TracksPerCylinder = 1;
    geometry.SectorsPerTrack = 1;
    geometry.TotalSectors = sectors_;
    return true;
  }
  bool Length(int64_t& bytes) override {
    bytes = length_;
    return length_ >= 0;
  }

 private:
  uint32_t sectors_;
  uint32_t bytesPerSector_;
  int64_t length_;
};

char AttachZeroCard(uint32_t geometrySectors, uint32_t bytesPerSector, int64_t length) {
  return LinuxDrives::AttachSource("zero.img", DRIVE_REMOVABLE, [=] {
    return std::unique_ptr<TCardSource>(
        std::make_unique<ZeroCardSource>(geometrySectors, bytesPerSector, length));
  });
}

// A card that takes its time over every read, so a test can act while the scan runs.
class SlowCardSource : public TCardSource {
 public:
  SlowCardSource(std::unique_ptr<TCardSource> inner, int delayMs)
      : inner_(std::move(inner)), delayMs_(delayMs) {}
  bool ReadAt(uint64_t offset, void* dest, size_t length) override {
    std::this_thread::sleep_for(std::chrono::milliseconds(delayMs_));
    return inner_->ReadAt(offset, dest, length);
  }
  bool Geometry(TDiskGeometry& geometry) override { return inner_->Geometry(geometry); }
  bool Length(int64_t& bytes) override { return inner_->Length(bytes); }

 private:
  std::unique_ptr<TCardSource> inner_;
  int delayMs_;
};

char AttachSlowCard(const CardImage& card, int delayMs) {
  return LinuxDrives::AttachSource("slow.img", DRIVE_REMOVABLE, [card, delayMs] {
    return std::unique_ptr<TCardSource>(std::make_unique<SlowCardSource>(card.source(), delayMs));
  });
}

// A card whose reads from sector 1200 on hang until the test opens the gate: a thread that
// does not answer a stop request in time.
struct ReadGate {
  std::mutex Mutex;
  std::condition_variable Changed;
  bool Open = false;
  bool Waiting = false;      // a read is held
  std::atomic<bool> Closed{false};  // the source was released (the thread is done with it)
};

class GatedCardSource : public TCardSource {
 public:
  GatedCardSource(std::unique_ptr<TCardSource> inner, std::shared_ptr<ReadGate> gate)
      : inner_(std::move(inner)), gate_(std::move(gate)) {}
  ~GatedCardSource() override { gate_->Closed = true; }
  bool ReadAt(uint64_t offset, void* dest, size_t length) override {
    if (offset >= 1200 * 512) {
      std::unique_lock<std::mutex> lock(gate_->Mutex);
      gate_->Waiting = true;
      gate_->Changed.wait(lock, [this] { return gate_->Open; });
    }
    return inner_->ReadAt(offset, dest, length);
  }
  bool Geometry(TDiskGeometry& geometry) override { return inner_->Geometry(geometry); }
  bool Length(int64_t& bytes) override { return inner_->Length(bytes); }

 private:
  std::unique_ptr<TCardSource> inner_;
  std::shared_ptr<ReadGate> gate_;
};

// A photo whose Exif block names the camera and the time, for the row's description.
std::vector<uint8_t> TaggedPhoto() {
  ::fixtures::TiffBlock tiff(false);
  const uint32_t ifd0 = tiff.AddIfd({tiff.Ascii(0x0110, "Canon EOS 40D"),
                                     tiff.Ascii(0x0132, "2008:05:17 14:23:05")});
  tiff.SetFirstIfd(ifd0);
  return ::fixtures::JpegWithExif(tiff.Bytes());
}

// A card with headers every `spacing` sectors from sector 10 on.
CardImage CardWithPhotos(uint32_t sectors, uint32_t spacing) {
  CardImage card(sectors);
  card.noise();
  for (uint32_t s = 10; s < sectors; s += spacing) card.jpegAt(s);
  return card;
}

}  // namespace

// A list label's whole text: its tooltip when the window shortened it, else its lines.
QString WholeListText(const QLabel& label) {
  return label.toolTip().isEmpty() ? label.text().remove(QLatin1Char('\n')) : label.toolTip();
}

class TestScanControl : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<TScriptedPrompter> prompter;
  std::unique_ptr<TDialogScript> dialogs;
  std::unique_ptr<TMainForm> form;
  std::unique_ptr<QTemporaryDir> temp;
  // What each custom dialog showed, and how the next capacity dialog is answered.
  QStringList shownDialogs;
  QString doneMessage;
  QString noteWhenDone;
  QString capacityShown;  // "E: 33 MB" as the dialog was filled
  QString capacityEntry;
  QString capacityUnit = QStringLiteral("MB");
  int capacityResult = QDialog::Accepted;

  QString Dest() const { return temp->filePath(QStringLiteral("out")) + QLatin1Char('/'); }
  QTableWidget* Rows() const { return form->scanUi.LVShow; }
  QString Cell(int row, int column) const {
    QTableWidgetItem* item = Rows()->item(row, column);
    return item ? item->text() : QStringLiteral("<none>");
  }

  // Walks to the options page and fills in a drive, a camera (photos only) and the folder.
  void ChooseOptions(char letter, const QString& camera = QStringLiteral("Generic Digital Camera")) {
    QVERIFY(letter != 0);
    if (form->CurrentPage() == 1) form->BNextClick();
    QCOMPARE(form->CurrentPage(), 2);
    form->ScanOptionsPage.FillDriveList();
    int item = -1;
    for (int i = 0; i < form->ui.CBDrive->count(); ++i)
      if (form->ui.CBDrive->itemData(i, TScanOptionsPage::kDriveRowRole).toInt() == letter - 'A') item = i;
    QVERIFY(item > 0);
    form->ui.CBDrive->setCurrentIndex(item);
    const int cameraItem = form->ui.CBCamera->findText(camera);
    QVERIFY(cameraItem >= 0);
    form->ui.CBCamera->setCurrentIndex(cameraItem);
    form->ui.CPhoto->setChecked(true);
    form->ui.CVideo->setChecked(false);
    form->ui.CAudio->setChecked(false);
    form->ui.EDestFolder->setText(Dest());
  }

  std::shared_ptr<ReadGate> gate;
  void OpenGate() {
    if (!gate) return;
    {
      std::lock_guard<std::mutex> lock(gate->Mutex);
      gate->Open = true;
    }
    gate->Changed.notify_all();
  }

  void WaitForEnd() { QTRY_VERIFY_WITH_TIMEOUT(!form->ScanPage.ScanInProgress, 30000); }

  // The file open when a scan stopped is recorded up to the end of the batch, or up to the
  // next header when that header came in the stopping batch itself.
  static bool EndsAtBatch(const TFoundFile& file, uint32_t firstSector) {
    return file.Size % 512 == 0 &&
           ((firstSector + file.Size / 512) % 200 == 0 || file.Size == 512000);
  }

 private slots:
  void init() {
    LinuxDrives::DetachAll();
    prompter = std::make_unique<TScriptedPrompter>();
    shownDialogs.clear();
    doneMessage.clear();
    noteWhenDone.clear();
    capacityShown.clear();
    capacityEntry.clear();
    capacityUnit = QStringLiteral("MB");
    capacityResult = QDialog::Accepted;
    dialogs = std::make_unique<TDialogScript>([this](QDialog& dialog) {
      shownDialogs << dialog.objectName();
      if (auto* done = qobject_cast<TRecoveryDoneForm*>(&dialog)) {
        doneMessage = done->ui.LMessage->text();
        noteWhenDone = form->scanUi.LScanNote->text();
        done->ui.Button1->click();
        return done->result();
      }
      if (auto* capacity = qobject_cast<TStatusForm*>(&dialog)) {
        capacityShown = capacity->ui.LDriveLetter->text() + QLatin1Char(' ') +
                        capacity->ui.ESize->text() + QLatin1Char(' ') +
                        capacity->ui.CBUnit->currentText();
        if (!capacityEntry.isNull()) capacity->ui.ESize->setText(capacityEntry);
        capacity->ui.CBUnit->setCurrentText(capacityUnit);
        (capacityResult == QDialog::Accepted ? capacity->ui.BStop : capacity->ui.Button1)->click();
        return capacity->result();
      }
      return int(QDialog::Rejected);
    });
    temp = std::make_unique<QTemporaryDir>();
    form = MakeMainForm();
    form->ScanOptionsPage.DriveLetterOfFolder = [](const QString&) { return char(0); };
    form->ScanOptionsPage.FreeSpaceProbe = [](const QString&) { return int64_t{1} << 50; };
    form->ScanPage.CreateScanDialogs();
    form->show();
  }

  void cleanup() {
    if (gate) {
      OpenGate();
      QTRY_VERIFY_WITH_TIMEOUT(gate->Closed.load(), 10000);
      QTRY_COMPARE_WITH_TIMEOUT(AbandonedScansRunning(), 0, 10000);
      gate.reset();
    }
    if (form && form->ScanPage.ScanThread) {
      form->ScanPage.BStopClick();
      WaitForEnd();
    }
    form.reset();
    dialogs.reset();
    prompter.reset();
    temp.reset();
    LinuxDrives::DetachAll();
  }

  // ---- measuring and warning before a scan ----

  void LengthLargerThanGeometryIsScannedWithoutAsking() {
    form->ScanOptionsPage.SelectedDrive.Letter = 'E';
    form->ScanOptionsPage.SelectedDrive.DriveNumber = static_cast<uint8_t>(AttachZeroCard(1000000, 512, 1000448LL * 512) - 'A' + 1);
    form->ScanOptionsPage.DestFolder = Dest();
    QVERIFY(form->ScanPage.PrepareScan());
    QCOMPARE(form->ScanOptionsPage.SelectedDrive.SectorCount, 1000448u);
    QCOMPARE(form->ScanOptionsPage.SelectedDrive.SectorSize, 512u);
    QVERIFY(shownDialogs.isEmpty());
    QVERIFY(prompter->Messages.isEmpty());
    QCOMPARE(form->scanUi.LSize->text(), Tr("存储大小:  %1 MB").arg(488));
    QCOMPARE(form->scanUi.LDrive->text(), QStringLiteral("E: (zero.img)"));
    QCOMPARE(form->scanUi.LScanNote->text(), ScanningNoteText());
    QVERIFY(form->ScanOptionsPage.QuickStatusForm->isHidden());
    QCOMPARE(form->ScanOptionsPage.QuickStatusForm->ui.PStatus->text(), Tr("获取磁盘信息。它只需几秒钟..."));
  }

  void ReportedSectorSizesAreKeptOnlyBelow512() {
    form->ScanOptionsPage.DestFolder = Dest();
    const char big = AttachZeroCard(4096, 2048, 4096LL * 2048);
    form->ScanOptionsPage.SelectedDrive.Letter = big;
    form->ScanOptionsPage.SelectedDrive.DriveNumber = static_cast<uint8_t>(big - 'A' + 1);
    QVERIFY(form->ScanPage.PrepareScan());
    QCOMPARE(form->ScanOptionsPage.SelectedDrive.SectorSize, 512u);
    QCOMPARE(form->ScanOptionsPage.SelectedDrive.SectorCount, 4096u * 4);  // the length in 512-byte sectors

    const char small = AttachZeroCard(8192, 256, 8200LL * 256);
    form->ScanOptionsPage.SelectedDrive.Letter = small;
    form->ScanOptionsPage.SelectedDrive.DriveNumber = static_cast<uint8_t>(small - 'A' + 1);
    QVERIFY(form->ScanPage.PrepareScan());
    QCOMPARE(form->ScanOptionsPage.SelectedDrive.SectorSize, 256u);
    QCOMPARE(form->ScanOptionsPage.SelectedDrive.SectorCount, 8200u);
    QVERIFY(shownDialogs.isEmpty());
  }

  void ImplausibleCountsAskWithTheFallbackSize() {
    form->ScanOptionsPage.DestFolder = Dest();
    for (int64_t sectors : {int64_t{2046}, int64_t{kMostCardSectors} + 1}) {
      shownDialogs.clear();
      const char letter = AttachZeroCard(0, 512, sectors * 512);
      form->ScanOptionsPage.SelectedDrive.Letter = letter;
      form->ScanOptionsPage.SelectedDrive.DriveNumber = static_cast<uint8_t>(letter - 'A' + 1);
      capacityResult = QDialog::Accepted;
      QVERIFY(form->ScanPage.PrepareScan());
      QCOMPARE(shownDialogs, QStringList{QStringLiteral("StatusForm")});
      QCOMPARE(capacityShown, QString(QLatin1Char(letter)) + QStringLiteral(": 33 MB"));
      // OK with the proposal unchanged: 33 x 1953.125 sectors, truncated.
      QCOMPARE(form->ScanOptionsPage.SelectedDrive.SectorCount, 64453u);
    }
  }

  void CapacityEntryIsConvertedInDecimalUnits() {
    form->ScanOptionsPage.DestFolder = Dest();
    const char letter = AttachZeroCard(0, 512, -1);
    form->ScanOptionsPage.SelectedDrive.Letter = letter;
    form->ScanOptionsPage.SelectedDrive.DriveNumber = static_cast<uint8_t>(letter - 'A' + 1);
    struct Case {
      QString entry, unit;
      uint64_t sectors;
    };
    const Case cases[] = {{QStringLiteral("2"), QStringLiteral("GB"), 3906250u},
                          {QStringLiteral(" 1 000 "), QStringLiteral("MB"), 1953125u},
                          {QStringLiteral("abc"), QStringLiteral("MB"), 0u},
                          {QStringLiteral("-5"), QStringLiteral("GB"), 0u},
                          {QStringLiteral("3000"), QStringLiteral("GB"), 5859375000u}};
    for (const Case& c : cases) {
      capacityEntry = c.entry;
      capacityUnit = c.unit;
      QVERIFY(form->ScanPage.PrepareScan());
      QCOMPARE(form->ScanOptionsPage.SelectedDrive.SectorCount, c.sectors);
      QCOMPARE(form->ScanOptionsPage.SelectedDrive.SectorSize, 512u);
    }
  }

  void HardDiskQuestionForDriveCAndForTheLargestSizes() {
    form->ScanOptionsPage.DestFolder = Dest();
    const char small = AttachZeroCard(0, 512, 4096LL * 512);
    form->ScanOptionsPage.SelectedDrive.Letter = 'C';  // the disk holding the system, whatever its size
    form->ScanOptionsPage.SelectedDrive.DriveNumber = static_cast<uint8_t>(small - 'A' + 1);
    prompter->Answers = {QMessageBox::Yes};
    QVERIFY(!form->ScanPage.PrepareScan());
    QCOMPARE(prompter->Texts(), QStringList{HardDiskQuestion('C', QStringLiteral("  0.0"))});
    QCOMPARE(form->scanUi.LSize->text(), QStringLiteral("0 MB"));

    const char limit = AttachZeroCard(0, 512, 168960 * kMiB);
    form->ScanOptionsPage.SelectedDrive.Letter = limit;
    form->ScanOptionsPage.SelectedDrive.DriveNumber = static_cast<uint8_t>(limit - 'A' + 1);
    prompter->Clear();
    QVERIFY(form->ScanPage.PrepareScan());
    QVERIFY(prompter->Messages.isEmpty());

    const char over = AttachZeroCard(0, 512, 168961 * kMiB);
    form->ScanOptionsPage.SelectedDrive.Letter = over;
    form->ScanOptionsPage.SelectedDrive.DriveNumber = static_cast<uint8_t>(over - 'A' + 1);
    prompter->Answers = {QMessageBox::No};
    QVERIFY(form->ScanPage.PrepareScan());
    QCOMPARE(prompter->Texts(), QStringList{HardDiskQuestion(over, QStringLiteral("165.0"))});
    QCOMPARE(prompter->Messages.first().Kind, TMessageKind::Confirmation);
  }

  void FreeSpaceQuestionNeedsATenthMoreThanTheCard() {
    form->ScanOptionsPage.DestFolder = Dest();
    const char letter = AttachZeroCard(0, 512, 2048 * kMiB);
    form->ScanOptionsPage.SelectedDrive.Letter = letter;
    form->ScanOptionsPage.SelectedDrive.DriveNumber = static_cast<uint8_t>(letter - 'A' + 1);
    form->ScanOptionsPage.FreeSpaceProbe = [](const QString&) { return 2252 * kMiB; };
    QVERIFY(form->ScanPage.PrepareScan());
    QVERIFY(prompter->Messages.isEmpty());

    form->ScanOptionsPage.FreeSpaceProbe = [](const QString&) { return 2251 * kMiB; };
    prompter->Answers = {QMessageBox::Yes};
    QVERIFY(!form->ScanPage.PrepareScan());
    QCOMPARE(prompter->Texts(), QStringList{FreeSpace2048Text()});
    QCOMPARE(form->scanUi.LSize->text(), QStringLiteral("0 MB"));

    prompter->Clear();
    prompter->Answers = {QMessageBox::No};
    QVERIFY(form->ScanPage.PrepareScan());
    QCOMPARE(prompter->Texts(), QStringList{FreeSpace2048Text()});
    QCOMPARE(form->scanUi.LSize->text(), Tr("存储大小:  %1 MB").arg(2048));

    // A destination on no local disk cannot be asked about.
    form->ScanOptionsPage.FreeSpaceProbe = [](const QString&) { return int64_t{-99}; };
    prompter->Clear();
    QVERIFY(form->ScanPage.PrepareScan());
    QVERIFY(prompter->Messages.isEmpty());
  }

  // The card's own file system as the destination, the same-drive question answered "go
  // on", the scan called off at the free-space question: not a byte of it has changed.
  void NothingIsWrittenBeforeTheLastQuestion() {
    ::fixtures::LoopDisk disk(temp->filePath(QStringLiteral("loop")).toStdString(),
                              ::fixtures::LoopDisk::Access::Writable);
    if (!disk.Skipped().empty()) QSKIP(disk.Skipped().c_str());
    form->ScanOptionsPage.DriveLetterOfFolder = [](const QString& f) { return LinuxDrives::LetterHoldingPath(f.toStdString()); };
    const auto fileSystemBytes = [&disk] {
      ::sync();
      std::ifstream in(disk.Partition(1), std::ios::binary);
      return std::string(std::istreambuf_iterator<char>(in), {});
    };
    const std::string before = fileSystemBytes();
    QVERIFY(!before.empty());
    const char letter = LinuxDrives::AttachImage(disk.Disk());
    ChooseOptions(letter);
    const QString dest = QString::fromStdString((disk.MountPoint(1) / "out").string());
    form->ui.EDestFolder->setText(dest);
    form->ScanOptionsPage.FreeSpaceProbe = [](const QString&) { return int64_t{1} * kMiB; };
    prompter->Answers = {QMessageBox::No, QMessageBox::Yes};  // go on; then stop
    form->ui.BNext->click();
    QCOMPARE(form->CurrentPage(), 2);
    QVERIFY(!form->ScanPage.ScanInProgress);
    QCOMPARE(prompter->Texts().size(), 2);
    QCOMPARE(prompter->Texts().front(), EngineText(TText::SameDrive));
    QCOMPARE(prompter->Texts().back(),
             QString::fromStdString(FreeSpaceQuestion(CardSizes(form->ScanOptionsPage.SelectedDrive.SectorCount, kMiB)).value_or("")));
    QVERIFY(!QFileInfo::exists(dest));
    QVERIFY(fileSystemBytes() == before);
  }

  void FreeSpaceOfAsksTheNearestExistingFolder() {
    const QString existing = temp->path();
    QVERIFY(TScanOptionsPage::FreeSpaceOf(existing) > 0);
    QVERIFY(TScanOptionsPage::FreeSpaceOf(QStringLiteral("  ") + existing + QStringLiteral("/not/yet/made  ")) > 0);
    QCOMPARE(TScanOptionsPage::FreeSpaceOf(QStringLiteral("//server/share/photos/")), int64_t{-99});
    QCOMPARE(TScanOptionsPage::FreeSpaceOf(QStringLiteral("   ")), int64_t{-99});
  }

  void FileTypesOfTheScanAreListedInTableOrder() {
    const char letter = CardWithPhotos(4096, 1000).attach();
    ChooseOptions(letter, QStringLiteral("Canon Digital Camera"));
    QVERIFY(form->ScanOptionsPage.ValidateScanOptions());
    QVERIFY(form->ScanPage.PrepareScan());
    QCOMPARE(form->scanUi.LFileType->text(), QStringLiteral(".JPG/.CRW/.CR2"));
    // While a deep scan applies, the line says so.
    form->ui.NDeepScan->setChecked(true);
    QVERIFY(form->ScanPage.PrepareScan());
    // The deep-only types follow (the window shortens the line; its tooltip has it all).
    QCOMPARE(WholeListText(*form->scanUi.LFileType),
             QStringLiteral(".JPG/.NEF/.CRW/.CR2/.DCR/.ORF/.PEF/.DNG/.CR3/.HEIC/.HEIF/.AVIF/.ARW/.NRW/.RW2/.RWL/"
                            ".SRW/.3FR/.IIQ") +
                 EngineText(TText::DeepScanSuffix));
    form->ui.NDeepScan->setChecked(false);
    QVERIFY(form->ScanPage.PrepareScan());
    QCOMPARE(form->scanUi.LFileType->text(), QStringLiteral(".JPG/.CRW/.CR2"));
  }

  // ---- scans through the window ----

  void DeepScanListsEachPhotoAtItsOwnSize() {
    CardImage card = CardWithPhotos(4096, 1000);
    const std::vector<uint8_t> photo = ::fixtures::EncodeJpeg(64, 48);
    card.place(10, photo);
    const char letter = card.attach();
    ChooseOptions(letter);
    form->ui.NDeepScan->setChecked(true);
    form->ui.BNext->click();
    WaitForEnd();
    form->ui.NDeepScan->setChecked(false);
    QCOMPARE(WholeListText(*form->scanUi.LFileType),
             QStringLiteral(".JPG/.TIF/.NEF/.CR2/.DCR/.ORF/.PEF/.DNG/.CR3/.HEIC/.HEIF/.AVIF/.ARW/.NRW/.RW2/.RWL/"
                            ".SRW/.3FR/.IIQ") +
                 EngineText(TText::DeepScanSuffix));
    QVERIFY(Rows()->rowCount() >= 1);
    QCOMPARE(Cell(0, 2), QString::number(photo.size()));
    QCOMPARE(form->FoundFiles[0].Size, static_cast<int64_t>(photo.size()));
  }

  void ScanFillsTheListAndEndsWithTheCount() {
    CardImage card = CardWithPhotos(4096, 1000);  // photos at 10, 1010, 2010, 3010, 4010
    card.place(10, TaggedPhoto());
    const char letter = card.attach();
    ChooseOptions(letter);
    form->ui.BNext->click();
    QCOMPARE(form->CurrentPage(), 3);
    QVERIFY(form->ScanPage.ScanInProgress);
    QVERIFY(!form->ui.BNext->isEnabled());
    QVERIFY(!form->ui.BBack->isEnabled());
    QVERIFY(!form->ui.NNewScan->isEnabled());
    QVERIFY(form->scanUi.BStop->isEnabled());
    QVERIFY(form->scanUi.BPause->isEnabled());
    WaitForEnd();

    QCOMPARE(Rows()->rowCount(), 5);
    QCOMPARE(int(form->FoundFiles.Count()), 5);
    const QStringList expectedSizes{QStringLiteral("512000"), QStringLiteral("512000"),
                                    QStringLiteral("512000"), QStringLiteral("512000"),
                                    QString::number((4096 - 4010) * 512)};
    for (int row = 0; row < 5; ++row) {
      QCOMPARE(Cell(row, 0), QString::number(row + 1));
      QCOMPARE(Cell(row, 1), QStringLiteral("File%1.JPG").arg(row + 1, 4, 10, QLatin1Char('0')));
      QCOMPARE(Cell(row, 2), expectedSizes[row]);
      QCOMPARE(Cell(row, 3), QString::fromStdString(form->FoundFiles[static_cast<size_t>(row)].Info));
      QVERIFY(!Rows()->item(row, 0)->icon().isNull());  // ".JPG" is in the icon list
    }
    QVERIFY(Cell(0, 3).startsWith(QStringLiteral("Shoot Time: 05/17/2008 14:23:05|Model: Canon EOS 40D")));
    QCOMPARE(Cell(1, 3), QStringLiteral("N/A"));

    QCOMPARE(form->scanUi.LFile->text(), QStringLiteral("5"));
    QCOMPARE(form->scanUi.LRead->text(), QStringLiteral("4096/4096"));
    QCOMPARE(form->scanUi.LBad->text(), QStringLiteral("0"));
    QCOMPARE(form->scanUi.LTime->text(), QStringLiteral("0:00:00"));
    QCOMPARE(form->scanUi.PBar->maximum(), 4096);
    QCOMPARE(form->scanUi.PBar->value(), 4096);
    // The letter and the image behind it, as the command names it.
    QCOMPARE(form->scanUi.LDrive->text(),
             QStringLiteral("%1: (%2)").arg(QLatin1Char(letter))
                 .arg(QString::fromStdString(LinuxDrives::ByNumber(static_cast<uint8_t>(letter - 'A' + 1))->DisplayName)));
    QCOMPARE(form->scanUi.LSize->text(), Tr("存储大小:  %1 MB").arg(2));
    QCOMPARE(form->scanUi.LFileType->text(), QStringLiteral(".JPG/.TIF"));

    QCOMPARE(shownDialogs, QStringList{QStringLiteral("RecoveryDoneForm")});
    QCOMPARE(doneMessage, DoneMessage(5));
    QCOMPARE(noteWhenDone, FirstRowNoteText());  // set by the first row, before the end
    QCOMPARE(form->scanUi.LScanNote->property("Tag").toInt(), 1);
    QCOMPARE(form->scanUi.LScanNote->text(), EndNoteText());
    QVERIFY(prompter->Messages.isEmpty());

    QVERIFY(form->ui.BNext->isEnabled());
    QVERIFY(form->ui.BBack->isEnabled());
    QVERIFY(form->ui.NNewScan->isEnabled());
    QVERIFY(!form->scanUi.BStop->isEnabled());
    QVERIFY(!form->scanUi.BPause->isEnabled());
    QVERIFY(!form->ScanPage.ScanThread);
    QTRY_VERIFY(!form->ScanPage.EndedScanThread);  // destroyed once it has returned
    QVERIFY(Rows()->updatesEnabled());

    // Back and a second scan: the list starts empty again.
    form->ui.BBack->click();
    QCOMPARE(form->CurrentPage(), 2);
    form->ui.BNext->click();
    QCOMPARE(form->CurrentPage(), 3);
    QCOMPARE(form->scanUi.LScanNote->property("Tag").toInt(), 0);
    WaitForEnd();
    QCOMPARE(Rows()->rowCount(), 5);
    QCOMPARE(int(form->FoundFiles.Count()), 5);
    QCOMPARE(doneMessage, DoneMessage(5));
  }

  void CardImageChosenInTheMenuIsWrittenDuringTheScan() {
    CardImage card = CardWithPhotos(4096, 1000);
    const char letter = card.attach(nullptr, {500});
    ChooseOptions(letter);
    const QString image = temp->filePath(QStringLiteral("card.img"));
    {
      const QSignalBlocker quiet(form->ui.NCardImage);  // the file dialog is not shown
      form->ui.NCardImage->setChecked(true);
    }
    form->ScanPage.CardImagePath = image;
    form->ui.BNext->click();
    WaitForEnd();

    std::vector<uint8_t> expected = card.bytes();
    std::fill_n(expected.begin() + 500 * 512, 512, uint8_t{0});
    QFile written(image);
    QVERIFY(written.open(QIODevice::ReadOnly));
    const QByteArray bytes = written.readAll();
    QVERIFY(bytes == QByteArray(reinterpret_cast<const char*>(expected.data()),
                                static_cast<qsizetype>(expected.size())));
    QFile map(image + QStringLiteral(".map"));
    QVERIFY(map.open(QIODevice::ReadOnly));
    QVERIFY(map.readAll().contains("0x0003E800  0x00000200  -"));
    // One image per choice: the next scan writes none unless asked again.
    QVERIFY(!form->ui.NCardImage->isChecked());
    QVERIFY(form->ScanPage.CardImagePath.isEmpty());
  }

  // Without a card image the card map still shows what the scan could not read.
  void UnreadableSectorsAreKeptForTheCardMap() {
    CardImage card = CardWithPhotos(4096, 1000);
    const char letter = card.attach(nullptr, {500, 501, 900});
    ChooseOptions(letter);
    form->ui.BNext->click();
    WaitForEnd();
    const std::vector<std::pair<uint64_t, uint64_t>> want{{500 * 512, 502 * 512}, {900 * 512, 901 * 512}};
    QCOMPARE(form->ScanPage.UnreadableAreas, want);
    QCOMPARE(form->PreviewPage.CardMapOfFoundFiles(4096 * 512, {}, form->ScanPage.UnreadableAreas).Unreadable, want);
  }

  void CardWithNothingToFindSaysSoAndKeepsNextOff() {
    CardImage card(4096);
    card.noise();
    ChooseOptions(card.attach());
    form->ui.BNext->click();
    QCOMPARE(form->CurrentPage(), 3);
    WaitForEnd();
    QCOMPARE(prompter->Texts(), QStringList{NothingFoundText()});
    QVERIFY(shownDialogs.isEmpty());
    QCOMPARE(Rows()->rowCount(), 0);
    QCOMPARE(form->scanUi.LFile->text(), QStringLiteral("0"));
    QCOMPARE(form->scanUi.LRead->text(), QStringLiteral("4096/4096"));
    QCOMPARE(form->scanUi.LScanNote->property("Tag").toInt(), 0);
    QCOMPARE(form->scanUi.LScanNote->text(), EndNoteText());
    QVERIFY(!form->ui.BNext->isEnabled());
    QVERIFY(form->ui.BBack->isEnabled());
    QVERIFY(!form->ui.NNewScan->isEnabled());
  }

  void StopRecordsTheOpenFileAndSaysTheUserStopped() {
    const uint32_t sectors = 40000;
    const char letter = AttachSlowCard(CardWithPhotos(sectors, 1000), 5);
    ChooseOptions(letter);
    form->ui.BNext->click();
    QCOMPARE(form->CurrentPage(), 3);
    QTRY_VERIFY_WITH_TIMEOUT(Rows()->rowCount() >= 2, 20000);
    QVERIFY(form->ScanPage.ScanInProgress);

    form->scanUi.BStop->click();
    QVERIFY(!form->ScanPage.ScanInProgress);
    QVERIFY(form->ScanPage.ScanEnded);
    QVERIFY(form->ScanPage.UserStopped);
    QCOMPARE(prompter->Texts(), QStringList{UserStoppedText()});
    const int found = static_cast<int>(form->FoundFiles.Count());
    QVERIFY(found >= 3 && found < 40);
    QCOMPARE(Rows()->rowCount(), found);
    QCOMPARE(form->scanUi.LFile->text(), QString::number(found));
    QCOMPARE(doneMessage, DoneMessage(found));
    // Every file before the last ran to the next header; the open one ends with its batch.
    for (int i = 0; i + 1 < found; ++i) QCOMPARE(form->FoundFiles[static_cast<size_t>(i)].Size, int64_t{512000});
    const TFoundFile& last = form->FoundFiles[static_cast<size_t>(found - 1)];
    QVERIFY(last.Size > 0);
    QVERIFY(EndsAtBatch(last, 10 + 1000 * static_cast<uint32_t>(found - 1)));
    QCOMPARE(QFileInfo(QString::fromStdString(last.TempFile.string())).size(), last.Size);
    QVERIFY(form->scanUi.LRead->text().endsWith(QStringLiteral("/40000")));
    QVERIFY(form->scanUi.LRead->text() != QStringLiteral("40000/40000"));
    QVERIFY(form->ui.BNext->isEnabled());
    QVERIFY(form->ui.BBack->isEnabled());
    QVERIFY(!form->scanUi.BStop->isEnabled());
  }

  // A stopped scan leaves its journal: the next scan of the card into the folder asks, and
  // Yes goes on from it to the files of a scan that ran through; No starts again. The time
  // left shows no estimate at either start, however the last scan ended.
  void InterruptedScanIsOfferedToGoOn() {
    const uint32_t sectors = 40000;
    const char letter = AttachSlowCard(CardWithPhotos(sectors, 1000), 5);
    QCOMPARE(TScanPage::NoEstimateText(), QStringLiteral("00:00:00"));
    QCOMPARE(form->scanUi.LTime->text(), TScanPage::NoEstimateText());  // as designed
    for (const QMessageBox::StandardButton answer : {QMessageBox::Yes, QMessageBox::No}) {
      ChooseOptions(letter);
      form->ui.BNext->click();
      QCOMPARE(form->scanUi.LTime->text(), TScanPage::NoEstimateText());
      QTRY_VERIFY_WITH_TIMEOUT(Rows()->rowCount() >= 2, 20000);
      form->scanUi.BStop->click();
      QVERIFY(form->ScanPage.UserStopped);
      const size_t stoppedAt = form->FoundFiles.Count();
      QVERIFY(stoppedAt < 40);

      QCOMPARE(form->scanUi.LTime->text(), QStringLiteral("0:00:00"));  // as a scan ends

      prompter->Clear();
      prompter->Answers = {answer};
      form->ui.BBack->click();
      form->ui.BNext->click();
      QCOMPARE(form->scanUi.LTime->text(), TScanPage::NoEstimateText());
      WaitForEnd();
      const QStringList asked = prompter->Texts();
      QVERIFY(!asked.isEmpty());
      const QString offer = Tr("上次将此存储卡扫描到此文件夹时被中断（已扫描 %1/%2 个扇区，找到 %3 个文件）。\n"
                               "是否从中断处继续扫描？选择“否”将从头重新扫描。");
      QVERIFY2(asked.front().startsWith(offer.left(offer.indexOf(QLatin1String("%1")))), qPrintable(asked.front()));
      // Headers every 1000 sectors from sector 10: 40 files, each to the next header.
      QCOMPARE(int(form->FoundFiles.Count()), 40);
      QCOMPARE(Rows()->rowCount(), 40);
      for (size_t i = 0; i < 40; ++i) {
        const TFoundFile& file = form->FoundFiles[i];
        QCOMPARE(file.Size, int64_t{i + 1 < 40 ? 512000 : 990 * 512});
        QCOMPARE(QFileInfo(QString::fromStdString(file.TempFile.string())).size(), file.Size);
      }
      // Going on keeps the stopped scan's files where they are; starting again moves them aside.
      const bool keptAside = !QDir(Dest() + QStringLiteral("TmpFiles")).entryList({QStringLiteral("Kept_*")}, QDir::Dirs).isEmpty();
      QCOMPARE(keptAside, answer == QMessageBox::No);
      QVERIFY(!JournalPresent(form->FoundFiles[0].TempFile.parent_path()));
      form->ui.BBack->click();
    }
  }

  void ThreadIgnoringStopIsAbandonedAndTheScanEnds() {
    gate = std::make_shared<ReadGate>();
    const CardImage card = CardWithPhotos(4096, 1000);
    const char letter = LinuxDrives::AttachSource("gated.img", DRIVE_REMOVABLE, [card, g = gate] {
      return std::unique_ptr<TCardSource>(std::make_unique<GatedCardSource>(card.source(), g));
    });
    ChooseOptions(letter);
    form->ScanPage.StopWaitMs = 300;
    form->ui.BNext->click();
    QCOMPARE(form->CurrentPage(), 3);
    QTRY_VERIFY_WITH_TIMEOUT(Rows()->rowCount() == 1 && gate->Waiting, 10000);

    QElapsedTimer clock;
    clock.start();
    form->scanUi.BStop->click();
    QVERIFY(clock.elapsed() >= 300);
    QVERIFY(!form->ScanPage.ScanInProgress);
    QVERIFY(!form->ScanPage.ScanThread);
    QCOMPARE(prompter->Texts(), QStringList{UserStoppedText()});
    QCOMPARE(doneMessage, DoneMessage(1));
    QVERIFY(form->ui.BBack->isEnabled());
    QVERIFY(form->ui.BNext->isEnabled());

    // Released, the abandoned thread ends by itself; nothing of it reaches the window.
    OpenGate();
    QTRY_VERIFY_WITH_TIMEOUT(gate->Closed.load(), 10000);
    QTest::qWait(50);
    QCOMPARE(int(form->FoundFiles.Count()), 1);
    QCOMPARE(Rows()->rowCount(), 1);
    QCOMPARE(prompter->Texts(), QStringList{UserStoppedText()});
    QCOMPARE(shownDialogs.size(), 1);
  }

  void NoNewScanWhileAnAbandonedThreadMayStillWrite() {
    gate = std::make_shared<ReadGate>();
    const CardImage card = CardWithPhotos(4096, 1000);
    const char letter = LinuxDrives::AttachSource("gated.img", DRIVE_REMOVABLE, [card, g = gate] {
      return std::unique_ptr<TCardSource>(std::make_unique<GatedCardSource>(card.source(), g));
    });
    ChooseOptions(letter);
    form->ScanPage.StopWaitMs = 300;
    form->ui.BNext->click();
    QTRY_VERIFY_WITH_TIMEOUT(Rows()->rowCount() == 1 && gate->Waiting, 10000);
    form->scanUi.BStop->click();
    QCOMPARE(AbandonedScansRunning(), 1);

    prompter->Clear();
    QVERIFY(!form->ScanPage.PrepareScan());
    QCOMPARE(prompter->Texts(), QStringList{QString::fromStdString(AbandonedScanRunningText())});
    OpenGate();
    QTRY_COMPARE_WITH_TIMEOUT(AbandonedScansRunning(), 0, 10000);
    prompter->Clear();
    QVERIFY(form->ScanPage.PrepareScan());
    QVERIFY(prompter->Messages.isEmpty());
  }

  // Windows: a card in a drive, read as the volume \\.\E: (scripts/test-windows-wizard.sh
  // has wine map E: to the demo card and names the Linux command's rows for that card): it is
  // listed as removable, scanned through the window, and its rows are the Linux rows.
  void CardInAVolumeGivesTheRowsOfTheLinuxCommand() {
    const QByteArray volume = qgetenv("SNAPSALVAGER_TEST_VOLUME");
    if (volume.isEmpty()) QSKIP("no card volume (scripts/test-windows-wizard.sh maps one under wine)");
    QFile rowsFile(qEnvironmentVariable("SNAPSALVAGER_TEST_VOLUME_ROWS"));
    QVERIFY2(rowsFile.open(QIODevice::ReadOnly), qPrintable(rowsFile.fileName()));
    QStringList expected = QString::fromUtf8(rowsFile.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    expected = expected.filter(QStringLiteral("\t"));
    QVERIFY(!expected.isEmpty());
    const char letter = volume.at(0);
    QCOMPARE(LinuxDrives::GetDriveType(letter), uint8_t{DRIVE_REMOVABLE});
    ChooseOptions(letter);
    form->ui.BNext->click();
    QCOMPARE(form->CurrentPage(), 3);
    WaitForEnd();
    QStringList rows;
    for (int row = 0; row < Rows()->rowCount(); ++row)
      rows << QStringList{Cell(row, 0), Cell(row, 1), Cell(row, 2), Cell(row, 3)}.join(QLatin1Char('\t'));
    QCOMPARE(rows, expected);
    QVERIFY(form->scanUi.LDrive->text().startsWith(QString(QLatin1Char(letter)) + QLatin1Char(':')));
    QCOMPARE(doneMessage, DoneMessage(static_cast<int>(expected.size())));
    QVERIFY(prompter->Messages.isEmpty());
  }

  void CardThatCannotBeOpenedIsReportedBeforeMeasuring() {
    const char letter = LinuxDrives::AttachSource("locked.img", DRIVE_REMOVABLE, [] {
      errno = EACCES;
      return std::unique_ptr<TCardSource>();
    });
    form->ScanOptionsPage.SelectedDrive.Letter = letter;
    form->ScanOptionsPage.SelectedDrive.DriveNumber = static_cast<uint8_t>(letter - 'A' + 1);
    form->ScanOptionsPage.DestFolder = Dest();
    QVERIFY(!form->ScanPage.PrepareScan());
    QCOMPARE(prompter->Texts(), QStringList{QString::fromStdString(CannotOpenCardText("locked.img", EACCES, {}, ::geteuid() == 0))});
    QVERIFY(shownDialogs.isEmpty());  // no capacity asked for
    QVERIFY(!form->ScanPage.ScanThread);
  }

  void PauseHoldsTheScanAndContinueGoesOn() {
    const char letter = AttachSlowCard(CardWithPhotos(40000, 1000), 5);
    ChooseOptions(letter);
    form->ui.BNext->click();
    QTRY_VERIFY_WITH_TIMEOUT(form->scanUi.LRead->text() != QStringLiteral("0"), 20000);

    form->scanUi.BPause->click();
    QCOMPARE(form->scanUi.BPause->text(), Tr("继续"));
    QVERIFY(form->scanUi.BPause->isEnabled());
    QVERIFY(!form->scanUi.BStop->isEnabled());
    QTRY_VERIFY_WITH_TIMEOUT(form->ScanPage.ScanThread->Parked(), 10000);
    QTest::qWait(50);  // the last report before the pause has landed
    const QString read = form->scanUi.LRead->text();
    const int position = form->scanUi.PBar->value();
    const int rows = Rows()->rowCount();
    QTest::qWait(400);
    QCOMPARE(form->scanUi.LRead->text(), read);
    QCOMPARE(form->scanUi.PBar->value(), position);
    QCOMPARE(Rows()->rowCount(), rows);
    QVERIFY(form->ScanPage.ScanInProgress);

    form->scanUi.BPause->click();
    QCOMPARE(form->scanUi.BPause->text(), Tr("暂停"));
    QVERIFY(form->scanUi.BStop->isEnabled());
    QTRY_VERIFY_WITH_TIMEOUT(form->scanUi.LRead->text() != read, 10000);

    form->scanUi.BStop->click();
    QVERIFY(!form->ScanPage.ScanInProgress);
    QCOMPARE(prompter->Texts().value(0), UserStoppedText());
  }

  void UnmeasurableCardAsksForTheCapacity() {
    const char letter = AttachZeroCard(0, 512, -1);
    ChooseOptions(letter);
    capacityResult = QDialog::Rejected;
    form->ui.BNext->click();
    QCOMPARE(form->CurrentPage(), 2);  // Cancel stays on the options
    QCOMPARE(capacityShown, QString(QLatin1Char(letter)) + QStringLiteral(": 33 MB"));
    QCOMPARE(form->scanUi.LSize->text(), QStringLiteral("0 MB"));
    QVERIFY(!form->ScanPage.ScanThread);
    QVERIFY(form->ui.BNext->isEnabled());
    QVERIFY(form->ui.BBack->isEnabled());

    capacityResult = QDialog::Accepted;
    capacityEntry = QStringLiteral("2");
    capacityUnit = QStringLiteral("GB");
    form->ui.BNext->click();
    QCOMPARE(form->CurrentPage(), 3);
    QCOMPARE(form->ScanOptionsPage.SelectedDrive.SectorCount, 3906250u);
    QCOMPARE(form->scanUi.LSize->text(), Tr("存储大小:  %1 MB").arg(1907));
    QTRY_COMPARE_WITH_TIMEOUT(form->scanUi.PBar->maximum(), 3906250, 10000);
    form->scanUi.BStop->click();
    QCOMPARE(prompter->Texts(), (QStringList{UserStoppedText(), NothingFoundText()}));
  }

  void WarningsAnsweredYesStayOnTheOptions() {
    const char letter = AttachZeroCard(0, 512, 168961 * kMiB);
    ChooseOptions(letter);
    prompter->Answers = {QMessageBox::Yes};
    form->ui.BNext->click();
    QCOMPARE(form->CurrentPage(), 2);
    QCOMPARE(prompter->Texts(), QStringList{HardDiskQuestion(letter, QStringLiteral("165.0"))});

    // No goes on to the free-space question; Yes there cancels too.
    form->ScanOptionsPage.FreeSpaceProbe = [](const QString&) { return int64_t{1000} * kMiB; };
    prompter->Clear();
    prompter->Answers = {QMessageBox::No, QMessageBox::Yes};
    form->ui.BNext->click();
    QCOMPARE(form->CurrentPage(), 2);
    QCOMPARE(prompter->Texts().size(), 2);
    QCOMPARE(prompter->Texts()[1],
             EngineText(TText::FreeSpace,
                        {"168961 MB (165.0 GB)", "1000 MB (  1.0 GB)", "185857 MB (181.5 GB)"}));
    QVERIFY(!form->ScanPage.ScanThread);
  }

  void WarningsAnsweredNoStartTheScan() {
    const char letter = AttachZeroCard(0, 512, 2048 * kMiB);
    ChooseOptions(letter);
    form->ScanOptionsPage.FreeSpaceProbe = [](const QString&) { return 2251 * kMiB; };
    prompter->Answers = {QMessageBox::No};
    form->ui.BNext->click();
    QCOMPARE(form->CurrentPage(), 3);
    QCOMPARE(prompter->Texts(), QStringList{FreeSpace2048Text()});
    QVERIFY(form->ScanPage.ScanInProgress);
    QCOMPARE(form->scanUi.LSize->text(), Tr("存储大小:  %1 MB").arg(2048));
    form->scanUi.BStop->click();
    QVERIFY(!form->ScanPage.ScanInProgress);
  }

  void ErrorEndingTheScanIsShownAndUnlocksTheWindow() {
    const char letter = CardWithPhotos(4096, 1000).attach();
    ChooseOptions(letter);
    QVERIFY(form->ScanOptionsPage.ValidateScanOptions());
    // The temporary folder's place taken by a file after the checks: the scan cannot make it.
    const QString tmp = Dest() + QStringLiteral("TmpFiles");
    QVERIFY(QDir(tmp).removeRecursively());
    QVERIFY(QDir().mkpath(Dest()));
    {
      QFile blocker(tmp);
      QVERIFY(blocker.open(QIODevice::WriteOnly));
    }
    QVERIFY(form->ScanPage.PrepareScan());
    QVERIFY(form->ScanPage.StartScan());
    form->ShowPage(form->ui.T3);
    WaitForEnd();
    QCOMPARE(prompter->Messages.size(), 1);
    QCOMPARE(prompter->Messages[0].Kind, TMessageKind::Information);
    QVERIFY(prompter->Messages[0].Text.startsWith(Tr("扫描因错误而中止：") +
                                                  QStringLiteral("\r\n\r\n")));
    QVERIFY(prompter->Messages[0].Text.contains(EngineText(TText::CannotWriteTemp, {Dest().toStdString()})));
    QVERIFY(QFileInfo(tmp).isFile());  // left as it was
    QVERIFY(form->ui.BBack->isEnabled());
    QVERIFY(!form->ui.BNext->isEnabled());
    QVERIFY(!form->scanUi.BStop->isEnabled());
    QVERIFY(!form->ScanPage.ScanThread);
    form->ui.BBack->click();
    QCOMPARE(form->CurrentPage(), 2);
  }

  void ClosingDuringAScanWaitsForTheLastFile() {
    const char letter = AttachSlowCard(CardWithPhotos(40000, 1000), 5);
    ChooseOptions(letter);
    form->ui.BNext->click();
    QTRY_VERIFY_WITH_TIMEOUT(Rows()->rowCount() >= 1, 20000);

    prompter->Answers = {QMessageBox::No};
    QVERIFY(!form->close());
    QVERIFY(form->ScanPage.ScanInProgress);  // No: the scan goes on
    QCOMPARE(prompter->Messages.size(), 1);
    QCOMPARE(prompter->Messages[0].Kind, TMessageKind::Warning);
    QCOMPARE(prompter->Messages[0].Text, CloseDuringScanText());

    prompter->Clear();
    prompter->Answers = {QMessageBox::Yes};
    QVERIFY(form->close());
    // The thread had ended its batch before the window went: nothing more is written.
    QVERIFY(!form->ScanPage.ScanInProgress);
    QVERIFY(!form->ScanPage.ScanThread);
    QCOMPARE(prompter->Texts(), QStringList{CloseDuringScanText()});  // no messages while closing
    QVERIFY(shownDialogs.isEmpty());
    const int found = static_cast<int>(form->FoundFiles.Count());
    QVERIFY(found >= 2);
    const TFoundFile& last = form->FoundFiles[static_cast<size_t>(found - 1)];
    QVERIFY(EndsAtBatch(last, 10 + 1000 * static_cast<uint32_t>(found - 1)));
    QStringList temporaries =
        QDir(Dest() + QStringLiteral("TmpFiles")).entryList({QStringLiteral("*.~QX")}, QDir::Files);
    QCOMPARE(temporaries.size(), found);
    for (int i = 0; i < found; ++i) {
      const TFoundFile& file = form->FoundFiles[static_cast<size_t>(i)];
      QCOMPARE(QFileInfo(QString::fromStdString(file.TempFile.string())).size(), file.Size);
    }
    const qint64 sizeAfterClose = QFileInfo(QString::fromStdString(last.TempFile.string())).size();
    QTest::qWait(100);
    QCOMPARE(QFileInfo(QString::fromStdString(last.TempFile.string())).size(), sizeAfterClose);
  }

  // The quit question holds the scan: it cannot end under the question, and when it ended
  // in its last batch its end is told after the answer, never under a stale question.
  void QuitQuestionPausesTheScanAndHoldsItsEnd() {
    const char letter = AttachSlowCard(CardWithPhotos(40000, 1000), 5);
    ChooseOptions(letter);
    form->ui.BNext->click();
    QTRY_VERIFY_WITH_TIMEOUT(Rows()->rowCount() >= 1, 20000);
    bool pausedWhileAsked = false;
    bool endedUnderTheQuestion = false;
    QStringList order;
    SetPrompter([&](TMessageKind, const QString& text) {
      order << text;
      if (text != CloseDuringScanText()) return QMessageBox::Ok;
      pausedWhileAsked = form->ScanPage.ScanThread && form->ScanPage.ScanThread->Suspended();
      // The scan's last batch ends while the question is open.
      form->ScanPage.ScanThread->Resume();
      QElapsedTimer clock;
      clock.start();
      while (form->ScanPage.ScanInProgress && clock.elapsed() < 20000) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
      endedUnderTheQuestion = !form->ScanPage.ScanInProgress;
      return QMessageBox::No;
    });
    QVERIFY(!form->close());
    QVERIFY(pausedWhileAsked);
    QVERIFY(endedUnderTheQuestion);
    QCOMPARE(order.first(), CloseDuringScanText());  // nothing stacked on the question
    QCOMPARE(shownDialogs, QStringList{form->ScanPage.RecoveryDoneForm->objectName()});  // told after it
    prompter.reset();
    prompter = std::make_unique<TScriptedPrompter>();
  }

  // ---- the dialogs ----

  void DialogsHaveTheirDesignedFaces() {
    TRecoveryDoneForm* done = form->ScanPage.RecoveryDoneForm;
    QCOMPARE(done->size(), QSize(394, 179));
    QCOMPARE(done->windowTitle(), QStringLiteral("Snapsalvager"));
    QCOMPARE(done->ui.LTitle->text(), Tr("扫描完成", "RecoveryDoneForm"));
    QCOMPARE(done->ui.LMessage->text(), QStringLiteral("N/A"));
    QCOMPARE(done->ui.LTitle->palette().color(QPalette::WindowText), QColor(0x00, 0x33, 0x99));
    QCOMPARE(done->ui.Button1->geometry(), QRect(153, 139, 89, 25));
    done->show();
    done->ui.Button1->click();
    QVERIFY(done->isHidden());

    TStatusForm* status = form->ScanOptionsPage.StatusForm;
    QCOMPARE(status->size(), QSize(395, 267));
    QCOMPARE(status->ui.LTitle->text(), Tr("存储容量检测", "StatusForm"));
    QCOMPARE(status->ui.CBUnit->count(), 2);
    QCOMPARE(status->ui.BStop->text(), Tr("确定"));
    QCOMPARE(status->ui.Button1->text(), Tr("取消", "StatusForm"));

    TQuickStatusForm* quick = form->ScanOptionsPage.QuickStatusForm;
    QCOMPARE(quick->size(), QSize(417, 68));
    QVERIFY(quick->windowFlags() & Qt::FramelessWindowHint);
    form->ScanOptionsPage.ShowQuickStatus(QStringLiteral("x"));
    QVERIFY(quick->isVisible());
    QVERIFY(QApplication::overrideCursor() != nullptr);
    form->ScanOptionsPage.HideQuickStatus();
    QVERIFY(quick->isHidden());
    QVERIFY(QApplication::overrideCursor() == nullptr);
  }
};

SNAPSALVAGER_WIZARD_TEST_MAIN(TestScanControl)
#include "ScanControlTest.moc"
