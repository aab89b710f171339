// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
#include "wizard/ScanDoneDialog.h"

#include <QApplication>
#include <QStyle>

#include "wizard/Dialogs.h"

namespace snapsalvager {

TRecoveryDoneForm::TRecoveryDoneForm(QWidget* parent) : QDialog(parent) {
  ui.setupUi(this);
  setFixedSize(394, 179);
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
  setWindowTitle(QStringLiteral("Snapsalvager"));
  ui.Image1->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxInformation).pixmap(32, 32));
  QFont title(QStringLiteral("Segoe UI"));
  title.setPixelSize(15);
  title.setBold(true);
  ui.LTitle->setFont(title);
  ui.LTitle->setAttribute(Qt::WA_TranslucentBackground);
  connect(ui.Button1, &QPushButton::clicked, this, &TRecoveryDoneForm::Button1Click);
  FormCreate();
}

void TRecoveryDoneForm::FormCreate() {
  StyleDialogPanel(*ui.PMain, *ui.LTitle);
}

void TRecoveryDoneForm::Button1Click() { accept(); }

}  // namespace snapsalvager
