// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// TQuickStatusForm: a borderless wait panel shown without being modal while the card is
// measured ("获取磁盘信息。它只需几秒钟...").
#pragma once

#include <QDialog>
#include <QString>

#include "ui_QuickStatusForm.h"

namespace snapsalvager {

class TQuickStatusForm : public QDialog {
  Q_OBJECT

 public:
  explicit TQuickStatusForm(QWidget* parent = nullptr);

  Ui::QuickStatusForm ui;

  // The hourglass, the text, the panel shown and painted at once.
  void ShowStatus(const QString& text);
  // The default cursor back, the panel hidden.
  void HideStatus();
};

}  // namespace snapsalvager
