// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// TAboutBox: product name, version and logo; a click on the logo adds the build date.
#pragma once

#include <QDialog>

#include "ui_AboutBox.h"

namespace snapsalvager {

class TAboutBox : public QDialog {
  Q_OBJECT

 public:
  explicit TAboutBox(QWidget* parent = nullptr);

  Ui::AboutBox ui;

  // Appends " (130222)" to the version once.
  void imgLogoClick();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
};

}  // namespace snapsalvager
