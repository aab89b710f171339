// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// TStatusForm: the capacity dialog, shown when the card's size could not be measured. The
// user checks the proposed size and corrects it in megabytes or gigabytes.
#pragma once

#include <QDialog>

#include <cstdint>

#include "ui_StatusForm.h"

namespace snapsalvager {

class TStatusForm : public QDialog {
  Q_OBJECT

 public:
  explicit TStatusForm(QWidget* parent = nullptr);

  Ui::StatusForm ui;

  // Fills the dialog for a drive: its letter, and the sector count as whole decimal
  // megabytes (1,000,000 bytes = 1953.125 sectors, truncated) with "MB" chosen.
  void Prepare(char letter, uint64_t sectorCount);
  // The sector count the entry stands for: blanks removed, 0 when it is not a whole number;
  // "GB" x 1,953,125 or "MB" x 1953.125 truncated. Negative entries give 0 and an entry too
  // large for 32 bits gives the largest 32-bit count, never a wrapped one.
  uint64_t EnteredSectorCount() const;

  // Decimal megabytes (truncated) of a sector count, as the dialog proposes them.
  static uint64_t WholeMegabytes(uint64_t sectorCount);
};

}  // namespace snapsalvager
