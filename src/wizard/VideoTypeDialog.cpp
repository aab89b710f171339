// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
#include "wizard/VideoTypeDialog.h"

#include <QAbstractButton>
#include <QGridLayout>
#include <QRadioButton>

#include "wizard/Dialogs.h"

namespace snapsalvager {

namespace {
constexpr int kColumns = 5;
}

TVideoTypeForm::TVideoTypeForm(QWidget* parent) : QDialog(parent) {
  ui.setupUi(this);
  setFixedSize(395, 273);
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
  StyleDialogPanel(*ui.PMain, *ui.LTitle);

  auto* grid = new QGridLayout(ui.RFileType);
  grid->setContentsMargins(10, 8, 10, 8);
  group_.setExclusive(true);
  connect(ui.BStop, &QPushButton::clicked, this, &QDialog::accept);
  connect(ui.Button1, &QPushButton::clicked, this, &QDialog::reject);
}

TVideoTypeForm::~TVideoTypeForm() { SetItems({}); }

void TVideoTypeForm::SetItems(const QStringList& items) {
  for (QAbstractButton* b : group_.buttons()) {
    group_.removeButton(b);
    delete b;
  }
  auto* grid = static_cast<QGridLayout*>(ui.RFileType->layout());
  for (int i = 0; i < items.size(); ++i) {
    auto* radio = new QRadioButton(items[i], ui.RFileType);
    radio->setObjectName(QStringLiteral("RFileType_%1").arg(i));
    group_.addButton(radio, i);
    grid->addWidget(radio, i / kColumns, i % kColumns);
  }
}

QStringList TVideoTypeForm::Items() const {
  QStringList items;
  for (QAbstractButton* b : group_.buttons()) items << b->text();
  return items;
}

int TVideoTypeForm::ItemIndex() const { return group_.checkedId(); }

void TVideoTypeForm::SetItemIndex(int index) {
  if (QAbstractButton* b = group_.button(index)) b->setChecked(true);
}

}  // namespace snapsalvager
