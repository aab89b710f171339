// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
#include "wizard/AboutBox.h"

#include <QMouseEvent>

#include "wizard/Dialogs.h"

namespace snapsalvager {

TAboutBox::TAboutBox(QWidget* parent) : QDialog(parent) {
  ui.setupUi(this);
  setFixedSize(373, 272);
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
  StyleDialogPanel(*ui.PMain, *ui.LTitle);
  ui.imgLogo->installEventFilter(this);
  connect(ui.ButtonOK, &QPushButton::clicked, this, &QDialog::accept);
}

void TAboutBox::imgLogoClick() {
  if (!ui.LVersion->text().contains(QLatin1Char('(')))
    ui.LVersion->setText(ui.LVersion->text() + QLatin1String(" (") + QLatin1String("130222") +
                         QLatin1Char(')'));
}

bool TAboutBox::eventFilter(QObject* watched, QEvent* event) {
  if (watched == ui.imgLogo && event->type() == QEvent::MouseButtonRelease &&
      static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton)
    imgLogoClick();
  return QDialog::eventFilter(watched, event);
}

}  // namespace snapsalvager
