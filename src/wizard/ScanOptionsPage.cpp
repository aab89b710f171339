// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// Page T2: the drive and camera lists, the video type, the destination folder, and the
// validation that fixes what the scan will use.
#include "wizard/ScanOptionsPage.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QPainter>
#include <QStandardPaths>
#include <QStyledItemDelegate>

#include <filesystem>

#include "card/LinuxDrives.h"
#include "session/ScanChecks.h"
#include "wizard/CardOpening.h"
#include "wizard/FileTypeIcons.h"
#include "wizard/Dialogs.h"
#include "wizard/HelpLinks.h"
#include "wizard/LinkLabel.h"
#include "wizard/VideoTypeDialog.h"

namespace snapsalvager {
namespace {

namespace fs = std::filesystem;

constexpr int kIndentStep = 8;  // pixels per indent level in the drop-down

// Draws the drop-down items shifted by their indent, as the drive list groups them.
class TIndentDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override {
    QStyleOptionViewItem shifted(option);
    shifted.rect.adjust(index.data(TScanOptionsPage::kIndentRole).toInt() * kIndentStep, 0, 0, 0);
    QStyledItemDelegate::paint(painter, shifted, index);
  }
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    size.rwidth() += index.data(TScanOptionsPage::kIndentRole).toInt() * kIndentStep;
    return size.expandedTo(QSize(0, 20));
  }
};

fs::path ToPath(const QString& text) { return fs::path(text.toStdString()); }

QString ChooseImageCaption() { return QCoreApplication::translate("Snapsalvager", "选择磁盘映像文件..."); }

}  // namespace

void TScanOptionsPage::LoadImageLists() {
  ImageListCBDrive = {QIcon(QStringLiteral(":/images/drive_fixed.png")),
                      QIcon(QStringLiteral(":/images/drive_removable.png")),
                      QIcon(QStringLiteral(":/images/drive_cd.png")),
                      QIcon(QStringLiteral(":/images/drive_unknown.png"))};
  ImageListCamera = {QIcon(QStringLiteral(":/images/camera.png"))};
  ui_.CBDrive->setItemDelegate(new TIndentDelegate(ui_.CBDrive));
  ui_.CBDrive->setIconSize(QSize(16, 16));
  ui_.CBCamera->setIconSize(QSize(16, 16));
  DriveLetterOfFolder = [](const QString& folder) {
    return LinuxDrives::LetterHoldingPath(folder.toStdString());
  };
}

void TScanOptionsPage::AddDriveItem(const QString& caption, int image, int selectedImage, int indent,
                             int row) {
  ui_.CBDrive->addItem(ImageListCBDrive.value(image), caption);
  const int i = ui_.CBDrive->count() - 1;
  ui_.CBDrive->setItemData(i, row, kDriveRowRole);
  ui_.CBDrive->setItemData(i, indent, kIndentRole);
  ui_.CBDrive->setItemData(i, image, kImageRole);
  ui_.CBDrive->setItemData(i, selectedImage, kSelectedImageRole);
  if (row >= 0) {
    // Letters mean little on Linux: the hint names the device or image behind one.
    for (const TLinuxDrive& d : LinuxDrives::List())
      if (d.Letter == DriveTable[static_cast<size_t>(row)].Letter)
        ui_.CBDrive->setItemData(i, QString::fromStdString(d.DisplayName + "  (" + d.Path + ")"),
                                Qt::ToolTipRole);
  }
}

void TScanOptionsPage::ResetDriveTable() {
  LinuxDrives::Refresh();
  for (int i = 0; i < 26; ++i) {
    TDriveEntry& e = DriveTable[static_cast<size_t>(i)];
    e = TDriveEntry{};
    e.Letter = static_cast<char>('A' + i);
    e.DriveNumber = static_cast<uint8_t>(i + 1);
    e.Listed = false;
    e.DriveType = LinuxDrives::GetDriveType(e.Letter);
  }
}

int TScanOptionsPage::AddDrivesOfType(std::optional<uint8_t> type, int image, int selectedImage) {
  int added = 0;
  for (int i = 0; i < 26; ++i) {
    TDriveEntry& e = DriveTable[static_cast<size_t>(i)];
    if (type ? e.DriveType != *type : e.Listed) continue;
    // A letter with no device or image behind it is no drive here.
    if (!LinuxDrives::ByNumber(e.DriveNumber)) continue;
    AddDriveItem(DriveCaption(e.Letter), image, selectedImage, 2, i);
    e.Listed = true;
    ++added;
  }
  return added;
}

QString TScanOptionsPage::DriveCaption(char letter) {
  // "E: card.img (3.7 GB)": a letter alone does not tell a 64 MB loop device from the 4 GB
  // image beside it.
  QString caption = QStringLiteral("%1: ").arg(QLatin1Char(letter));
  if (const TLinuxDrive* drive = LinuxDrives::ByNumber(static_cast<uint8_t>(letter - 'A' + 1)))
    caption += QString::fromStdString(DriveDescription(*drive));
  return caption;
}

void TScanOptionsPage::FillDriveList() {
  // The drive on show stays chosen when it is still there (Refresh, another image).
  const QVariant shownRow = ui_.CBDrive->currentData(kDriveRowRole);
  const char shown = shownRow.isValid() && shownRow.toInt() >= 0 && shownRow.toInt() < 26
                         ? static_cast<char>('A' + shownRow.toInt())
                         : SelectedDrive.Letter;
  ui_.CBDrive->clear();
  AddDriveItem(QCoreApplication::translate("Snapsalvager", "请选择您的存储卡的盘符..."), 0, 0, 0, -1);
  ResetDriveTable();
  auto anyOfType = [this](uint8_t type) {
    for (const TDriveEntry& e : DriveTable)
      if (e.DriveType == type) return true;
    return false;
  };

  AddDriveItem(QStringLiteral("Removable Drives"), 1, 1, 0, -1);
  if (AddDrivesOfType(DRIVE_REMOVABLE, 1, 1) == 0)
    AddDriveItem(QStringLiteral("[No Removable Drive]"), 1, 1, 2, -1);
  AddDriveItem(QStringLiteral("Hard Drives"), 0, 0, 0, -1);
  AddDrivesOfType(DRIVE_FIXED, 0, 0);
  if (anyOfType(DRIVE_CDROM)) {
    AddDriveItem(QStringLiteral("CD/DVD Drives"), 2, 2, 0, -1);
    AddDrivesOfType(DRIVE_CDROM, 2, 2);
  }
  if (anyOfType(DRIVE_REMOTE)) {
    AddDriveItem(QStringLiteral("Network Drives"), 0, 0, 0, -1);
    AddDrivesOfType(DRIVE_REMOTE, 0, 0);
  }
  AddDriveItem(QStringLiteral("Unknown or Empty Drives"), 0, 0, 0, -1);
  AddDrivesOfType(std::nullopt, 3, 0);  // every letter not listed yet
  // A card copied into an image file is scanned like a card.
  AddDriveItem(QStringLiteral("Disk Image Files"), 1, 1, 0, -1);
  AddDriveItem(ChooseImageCaption(), 1, 1, 2, -1);
  ui_.CBDrive->setItemData(ui_.CBDrive->count() - 1, true, kImageChooserRole);

  // The drive of the last scan stays chosen while it is still there.
  ui_.CBDrive->setCurrentIndex(std::max(0, DriveItemOfLetter(shown)));
}

int TScanOptionsPage::DriveItemOfLetter(char letter) const {
  if (letter < 'A' || letter > 'Z') return -1;
  for (int i = 0; i < ui_.CBDrive->count(); ++i) {
    const QVariant row = ui_.CBDrive->itemData(i, kDriveRowRole);
    if (row.isValid() && row.toInt() == letter - 'A') return i;
  }
  return -1;
}

void TScanOptionsPage::CBDriveSelect(int index) {
  if (index < 0 || !ui_.CBDrive->itemData(index, kImageChooserRole).toBool()) return;
  const QString path = ChooseFile(QCoreApplication::translate("Snapsalvager", "选择磁盘映像文件"),
                                  QCoreApplication::translate("Snapsalvager", "磁盘映像文件 (*.img *.dd *.raw *.bin *.dmg *.iso);;所有文件 (*)"));
  if (path.isEmpty()) {
    ui_.CBDrive->setCurrentIndex(0);
    return;
  }
  const char letter = LinuxDrives::AttachImage(path.toStdString());
  if (letter == 0) {
    ShowInfo(QCoreApplication::translate("Snapsalvager", "无法打开磁盘映像文件：\r\n") + path);
    ui_.CBDrive->setCurrentIndex(0);
    return;
  }
  FillDriveList();
  if (const int item = DriveItemOfLetter(letter); item >= 0) ui_.CBDrive->setCurrentIndex(item);
}

void TScanOptionsPage::BRefreshClick() { FillDriveList(); }

void TScanOptionsPage::Connect(QObject* context) {
  QObject::connect(ui_.CBDrive, &QComboBox::activated, context, [this](int index) { CBDriveSelect(index); });
  // The closed list names the device or image behind the chosen letter, as its item does.
  QObject::connect(ui_.CBDrive, &QComboBox::currentIndexChanged, context, [this](int index) {
    ui_.CBDrive->setToolTip(ui_.CBDrive->itemData(index, Qt::ToolTipRole).toString());
  });
  QObject::connect(ui_.BRefresh, &QPushButton::clicked, context, [this] { BRefreshClick(); });
  QObject::connect(ui_.CVideo, &QCheckBox::clicked, context, [this] { CVideoClick(); });
  QObject::connect(ui_.LVideoFileType, &TLinkLabel::clicked, context, [this] { LVideoFileTypeClick(); });
  QObject::connect(ui_.Button1, &QPushButton::clicked, context, [this] { Button1Click(); });
}

void TScanOptionsPage::FillCameraList() {
  ui_.CBCamera->clear();
  const std::vector<TFileTypeGroup>& cameras = CameraTable();
  for (size_t i = 0; i < cameras.size(); ++i)
    ui_.CBCamera->addItem(ImageListCamera.value(0), QString::fromStdString(cameras[i].Name),
                         static_cast<int>(i));
  ui_.CBCamera->setCurrentIndex(0);
}

void TScanOptionsPage::CVideoClick() {
  if (ui_.CVideo->isChecked()) LVideoFileTypeClick();
  ui_.LVideoFileType->setVisible(ui_.CVideo->isChecked());
}

void TScanOptionsPage::LVideoFileTypeClick() {
  ChooseVideoType(ChosenVideoType);
  ui_.LVideoFileType->setText(QStringLiteral("[%1]").arg(ChosenVideoType));
  ui_.LVideoFileType->adjustSize();
}

void TScanOptionsPage::ChooseVideoType(QString& choice) {
  TVideoTypeForm form(&window_);
  QStringList items{QStringLiteral("ALL")};
  for (const std::string& ext : VideoGroup().Exts) items << QString::fromStdString(ext);
  form.SetItems(items);
  int preselect = 0;
  for (int i = 0; i < items.size(); ++i)
    if (items[i] == choice) preselect = i;
  form.SetItemIndex(preselect);
  if (RunDialog(form) != QDialog::Accepted) return;
  const int selected = form.ItemIndex();
  choice = selected <= 0 ? QStringLiteral("ALL") : items[selected];
}

void TScanOptionsPage::Button1Click() {
  // The browser opens at the folder in the box (its nearest existing folder: the box may
  // name one still to be made), or at the desktop when the box is empty.
  QString start = ui_.EDestFolder->text().trimmed();
  if (start.isEmpty()) {
    start = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
  } else {
    start = QDir::cleanPath(QString::fromStdString(NormaliseDestFolder(start.toStdString())));
    while (!QFileInfo(start).isDir()) {
      const QString up = QFileInfo(start).path();
      if (up == start) break;
      start = up;
    }
  }
  QString folder = ChooseFolder(QCoreApplication::translate("Snapsalvager", "选择目标文件夹"), start);
  if (folder.isEmpty()) return;
  if (!folder.endsWith(QLatin1Char('/'))) folder += QLatin1Char('/');
  ui_.EDestFolder->setText(folder);
}

TScanChoices TScanOptionsPage::ScanChoices() const {
  TScanChoices choices;
  const int driveItem = ui_.CBDrive->currentIndex();
  const QVariant rowData = driveItem >= 0 ? ui_.CBDrive->itemData(driveItem, kDriveRowRole) : QVariant();
  const int row = rowData.isValid() ? rowData.toInt() : -1;
  if (row >= 0 && row < 26) choices.Drive = DriveTable[static_cast<size_t>(row)];
  const int cameraItem = ui_.CBCamera->currentIndex();
  const QVariant cameraData = cameraItem >= 0 ? ui_.CBCamera->itemData(cameraItem) : QVariant();
  const int cameraRow = cameraData.isValid() ? cameraData.toInt() : -1;
  if (cameraRow >= 0 && cameraRow < static_cast<int>(CameraTable().size()))
    choices.Camera = CameraTable()[static_cast<size_t>(cameraRow)].Name;
  choices.Photo = ui_.CPhoto->isChecked();
  choices.Video = ui_.CVideo->isChecked();
  choices.Audio = ui_.CAudio->isChecked();
  choices.VideoType = ChosenVideoType.toStdString();
  choices.DestText = ui_.EDestFolder->text().toStdString();
  return choices;
}

bool TScanOptionsPage::ValidateScanOptions() {
  TScanCheckList checks(ScanChoices(), CheckProbes());
  const bool passed = RunCheckSteps(checks, TCheckPhase::ScanOptions);
  // What the checks settled stays, also when a later one stopped them.
  if (checks.Drive.Letter != 0) SelectedDrive = checks.Drive;
  RecogniserInputs = checks.Inputs;
  if (!checks.DestFolder.empty()) DestFolder = QString::fromStdString(checks.DestFolder);
  if (!checks.TempFolder.empty()) TempFolder = QString::fromStdString(checks.TempFolder);
  if (!passed) return false;
  try {
    snapsalvager::BuildExtIconList(RecogniserInputs, extIconNames_, extIcons_);
  } catch (...) {
    // The icons are a convenience; a scan without them still lists every file.
  }
  return true;
}

bool TScanOptionsPage::NoEarlierRecovery(const QString& folder) {
  return snapsalvager::NoEarlierRecovery(ToPath(folder));
}

}  // namespace snapsalvager
