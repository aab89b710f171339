// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// TRecoveryDoneForm: the dialog that ends a scan which found files, with how many and what
// to do next. Lives as long as the window; FinishScan fills LMessage and shows it modally.
#pragma once

#include <QDialog>

#include "ui_RecoveryDoneForm.h"

namespace snapsalvager {

class TRecoveryDoneForm : public QDialog {
  Q_OBJECT

 public:
  explicit TRecoveryDoneForm(QWidget* parent = nullptr);

  Ui::RecoveryDoneForm ui;

  void FormCreate();
  // Closes the dialog.
  void Button1Click();
};

}  // namespace snapsalvager
