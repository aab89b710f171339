// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
#include "wizard/WaitPanel.h"

#include <QApplication>

#include "wizard/Dialogs.h"

namespace snapsalvager {

TQuickStatusForm::TQuickStatusForm(QWidget* parent) : QDialog(parent) {
  ui.setupUi(this);
  setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
  setFixedSize(417, 68);
  QFont tahoma(QStringLiteral("Tahoma"));
  tahoma.setPointSize(8);
  setFont(tahoma);
  setModal(false);
}

void TQuickStatusForm::ShowStatus(const QString& text) {
  QApplication::setOverrideCursor(Qt::WaitCursor);
  ui.PStatus->setText(text);
  CentreOnOwner(*this);
  show();
  repaint();
  // The measuring that follows blocks the event loop; let the panel appear first.
  QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void TQuickStatusForm::HideStatus() {
  if (QApplication::overrideCursor()) QApplication::restoreOverrideCursor();
  hide();
}

}  // namespace snapsalvager
