// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// Page T2, the scan options: the drive and camera lists, the video type, the destination
// folder, and the validation that settles what the scan will use. The page also renders the
// checks before a scan (refusals and questions as message boxes, the capacity of an
// unmeasured card with its dialog), which the scan page runs for its own phase; it calls
// nothing of the scan page.
#pragma once

#include <QIcon>
#include <QList>
#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <functional>
#include <optional>

#include "session/ScanChecks.h"
#include "session/ScanOptions.h"
#include "ui_MainForm.h"

class QObject;
class QWidget;

namespace snapsalvager {

class TStatusForm;
class TQuickStatusForm;

class TScanOptionsPage {
 public:
  // window: the parent of the page's dialogs. The file-type icons (names and icons, in step)
  // are the window's; a passed validation builds them for the types sought.
  TScanOptionsPage(Ui::MainForm& ui, QWidget& window, QStringList& extIconNames, QList<QIcon>& extIcons)
      : ui_(ui), window_(window), extIconNames_(extIconNames), extIcons_(extIcons) {}
  TScanOptionsPage(const TScanOptionsPage&) = delete;
  TScanOptionsPage& operator=(const TScanOptionsPage&) = delete;

  // What the page settled (main thread only; the scan gets copies before it starts).
  std::array<TDriveEntry, 26> DriveTable{};  // A..Z
  TDriveEntry SelectedDrive;
  QString DestFolder;  // trimmed, ends with '/'
  QString TempFolder;  // DestFolder + "TmpFiles/"
  QString ChosenVideoType = QStringLiteral("ALL");
  TRecogniserInputs RecogniserInputs;
  QList<QIcon> ImageListCBDrive;  // 0 fixed/other, 1 removable, 2 CD/DVD, 3 unknown
  QList<QIcon> ImageListCamera;   // 0 every camera
  // The drive letter of the disk holding a folder, 0 when none is known (the same-drive
  // check). LinuxDrives::LetterHoldingPath unless a test replaces it.
  std::function<char(const QString& folder)> DriveLetterOfFolder;
  // Free bytes of a folder's disk for the free-space warning: FreeSpaceOf unless a test
  // replaces it.
  std::function<int64_t(const QString& path)> FreeSpaceProbe;
  // The dialogs of the checks, children of the window (CreateCheckDialogs).
  TStatusForm* StatusForm = nullptr;
  TQuickStatusForm* QuickStatusForm = nullptr;

  // Item data of CBDrive: the DriveTable row (-1 for prompts and groups), the indent, the
  // image and selected image of ImageListCBDrive, and the disk-image chooser item.
  static constexpr int kDriveRowRole = Qt::UserRole;
  static constexpr int kIndentRole = Qt::UserRole + 1;
  static constexpr int kImageRole = Qt::UserRole + 2;
  static constexpr int kSelectedImageRole = Qt::UserRole + 3;
  static constexpr int kImageChooserRole = Qt::UserRole + 4;

  // Start-up: the drive and camera icons, the drop-down's indent, the real same-drive probe.
  void LoadImageLists();
  // The page's controls, handled while context lives.
  void Connect(QObject* context);

  // Letters A..Z afresh from the system's drives, none listed yet.
  void ResetDriveTable();
  // Lists the drives of type (nullopt: every drive not listed yet); how many were added.
  int AddDrivesOfType(std::optional<uint8_t> type, int image, int selectedImage);
  void FillDriveList();
  int DriveItemOfLetter(char letter) const;  // -1: not in the list
  // A drive item's caption: the letter, and the name, model and size behind it.
  static QString DriveCaption(char letter);
  void FillCameraList();
  void CVideoClick();
  void LVideoFileTypeClick();
  // Runs the video type dialog; choice is changed only by OK.
  void ChooseVideoType(QString& choice);
  void Button1Click();
  void BRefreshClick();
  // A CBDrive item picked by the user: the disk-image item attaches an image file.
  void CBDriveSelect(int index);
  bool ValidateScanOptions();
  // The options as chosen on the page.
  TScanChoices ScanChoices() const;
  static bool NoEarlierRecovery(const QString& folder);

  // ---- wizard/WizardChecks.cpp: the checks before a scan ----
  // The probes the checks use (replaceable in tests through DriveLetterOfFolder and
  // FreeSpaceProbe).
  TCheckProbes CheckProbes();
  // Renders the steps of phase: refusals and questions as message boxes, the capacity with
  // its dialog. True when every check passed.
  bool RunCheckSteps(TScanCheckList& checks, TCheckPhase phase);
  // The destination lies on the card's drive (its disk, a partition of it, a device on it).
  bool FolderOnCardDrive(char letter, const QString& folder) const;
  // The capacity dialog for a card that could not be measured; nullopt when cancelled.
  std::optional<uint64_t> AskCapacity(const TDriveEntry& drive);
  // Creates TStatusForm and TQuickStatusForm once.
  void CreateCheckDialogs();
  void ShowQuickStatus(const QString& text);
  void HideQuickStatus();
  // Free bytes of the disk holding path (its nearest existing folder); -1 when it cannot be
  // asked, -99 for a path that names no local disk (empty, or a network path "//host/...").
  static int64_t FreeSpaceOf(const QString& path);

 private:
  void AddDriveItem(const QString& caption, int image, int selectedImage, int indent, int row);

  Ui::MainForm& ui_;
  QWidget& window_;
  QStringList& extIconNames_;
  QList<QIcon>& extIcons_;
};

}  // namespace snapsalvager
