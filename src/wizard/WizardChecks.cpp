// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// The checks before a scan rendered by the scan options page: refusals and questions as
// message boxes, the capacity of an unmeasured card with its dialog, the quick status while
// the card is measured, and the probes the checks use. The scan page runs its own phase
// through here too.
#include "wizard/ScanOptionsPage.h"

#include <QCoreApplication>
#include <QString>

#include <filesystem>

#include "card/LinuxDrives.h"
#include "session/SaveFiles.h"
#include "session/ScanChecks.h"
#include "wizard/CapacityDialog.h"
#include "wizard/CardOpening.h"
#include "wizard/Dialogs.h"
#include "wizard/HelpLinks.h"
#include "wizard/WaitPanel.h"

namespace snapsalvager {

void TScanOptionsPage::CreateCheckDialogs() {
  if (!StatusForm) StatusForm = new TStatusForm(&window_);
  if (!QuickStatusForm) QuickStatusForm = new TQuickStatusForm(&window_);
}

void TScanOptionsPage::ShowQuickStatus(const QString& text) {
  CreateCheckDialogs();
  QuickStatusForm->ShowStatus(text);
}

void TScanOptionsPage::HideQuickStatus() {
  if (QuickStatusForm) QuickStatusForm->HideStatus();
}

int64_t TScanOptionsPage::FreeSpaceOf(const QString& path) {
  return snapsalvager::FreeSpaceOf(std::filesystem::path(path.toStdString()));
}

std::optional<uint64_t> TScanOptionsPage::AskCapacity(const TDriveEntry& drive) {
  StatusForm->Prepare(drive.Letter, drive.SectorCount);
  if (RunDialog(*StatusForm) != QDialog::Accepted) return std::nullopt;
  return StatusForm->EnteredSectorCount();
}

TCheckProbes TScanOptionsPage::CheckProbes() {
  TCheckProbes probes;
  probes.OnCardDrive = [this](char letter, const std::string& folder) {
    return FolderOnCardDrive(letter, QString::fromStdString(folder));
  };
  probes.OpenCard = [](const TDriveEntry& drive) -> std::optional<std::string> {
    if (QString failure; !OpenCardForScan(drive.DriveNumber, failure)) return failure.toStdString();
    return std::nullopt;
  };
  probes.FreeSpace = [this](const std::string& folder) {
    const QString path = QString::fromStdString(folder);
    return FreeSpaceProbe ? FreeSpaceProbe(path) : FreeSpaceOf(path);
  };
  return probes;
}

bool TScanOptionsPage::RunCheckSteps(TScanCheckList& checks, TCheckPhase phase) {
  while (const std::optional<TCheckStep> step = checks.Next(phase)) {
    HideQuickStatus();  // shown while the card is measured, never under a question
    const QString text = QString::fromStdString(step->Text);
    switch (step->Kind) {
      case TCheckKind::Refusal:
        ShowInfo(text);
        return false;
      case TCheckKind::Question: {
        const bool yes = AskYesNo(text) == QMessageBox::Yes;
        if (yes && !step->HelpTopic.empty())
          OpenDocument(HelpLink(QString::fromStdString(step->HelpTopic)));
        if (!checks.Answer(yes)) return false;
        break;
      }
      case TCheckKind::Capacity:
        if (!checks.GiveCapacity(AskCapacity(checks.Drive))) return false;
        break;
    }
  }
  return !checks.Stopped();
}

bool TScanOptionsPage::FolderOnCardDrive(char letter, const QString& folder) const {
  const QString trimmed = folder.trimmed();
  if (trimmed.isEmpty()) return false;
  const char holding = DriveLetterOfFolder ? DriveLetterOfFolder(trimmed) : 0;
  const bool sameLetter =
      holding != 0 && QChar(QLatin1Char(holding)).toUpper() == QChar(QLatin1Char(letter)).toUpper();
  // Also the card's disk below a partition, a partition table or a stacked device: a
  // whole card scanned into one of its own partitions is the same drive.
  return sameLetter || LinuxDrives::PathSharesDiskWith(letter, trimmed.toStdString());
}

}  // namespace snapsalvager
