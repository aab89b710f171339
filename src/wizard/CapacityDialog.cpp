// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
#include "wizard/CapacityDialog.h"

#include <QApplication>
#include <QStyle>

#include <cmath>
#include <limits>

#include "session/ScanChecks.h"
#include "wizard/Dialogs.h"

namespace snapsalvager {
namespace {

constexpr double kSectorsPerMB = 1953.125;      // 1,000,000 bytes of 512-byte sectors
constexpr uint64_t kSectorsPerGB = 1953125;     // 1,000,000,000 bytes
// Far above any card (the scan takes 64-bit counts); only keeps the products below in range.
constexpr uint64_t kMaxSectors = uint64_t{1} << 48;

}  // namespace

TStatusForm::TStatusForm(QWidget* parent) : QDialog(parent) {
  ui.setupUi(this);
  setFixedSize(395, 267);
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
  setWindowTitle(QApplication::applicationName().isEmpty() ? QStringLiteral("Snapsalvager")
                                                           : QApplication::applicationName());
  StyleDialogPanel(*ui.PMain, *ui.LTitle);
  ui.Image1->setPixmap(style()->standardIcon(QStyle::SP_DriveHDIcon).pixmap(32, 32));
  connect(ui.BStop, &QPushButton::clicked, this, &QDialog::accept);
  connect(ui.Button1, &QPushButton::clicked, this, &QDialog::reject);
}

uint64_t TStatusForm::WholeMegabytes(uint64_t sectorCount) {
  return DecimalMegabytes(sectorCount);
}

void TStatusForm::Prepare(char letter, uint64_t sectorCount) {
  ui.LDriveLetter->setText(QString(QLatin1Char(letter)) + QLatin1Char(':'));
  ui.ESize->setText(QString::number(WholeMegabytes(sectorCount)));
  ui.CBUnit->setCurrentIndex(ui.CBUnit->findText(QStringLiteral("MB")));
  ui.ESize->setFocus();
  ui.ESize->selectAll();
}

uint64_t TStatusForm::EnteredSectorCount() const {
  QString text = ui.ESize->text();
  text.remove(QLatin1Char(' '));
  bool ok = false;
  const qlonglong number = text.toLongLong(&ok);
  if (!ok || number <= 0) return 0;
  if (ui.CBUnit->currentText() == QLatin1String("GB")) {
    if (static_cast<uint64_t>(number) > kMaxSectors / kSectorsPerGB) return kMaxSectors;
    return static_cast<uint64_t>(number) * kSectorsPerGB;
  }
  const double sectors = std::trunc(static_cast<double>(number) * kSectorsPerMB);
  if (sectors >= static_cast<double>(kMaxSectors)) return kMaxSectors;
  return static_cast<uint64_t>(sectors);
}

}  // namespace snapsalvager
