// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// TVideoTypeForm: the dialog that picks one video type to look for, or "ALL".
#pragma once

#include <QButtonGroup>
#include <QDialog>
#include <QStringList>

#include "ui_VideoTypeForm.h"

namespace snapsalvager {

class TVideoTypeForm : public QDialog {
  Q_OBJECT

 public:
  explicit TVideoTypeForm(QWidget* parent = nullptr);
  ~TVideoTypeForm() override;

  Ui::VideoTypeForm ui;

  // Fills the radio group RFileType, five to a row.
  void SetItems(const QStringList& items);
  QStringList Items() const;
  // -1 when nothing is selected.
  int ItemIndex() const;
  void SetItemIndex(int index);

 private:
  QButtonGroup group_;
};

}  // namespace snapsalvager
