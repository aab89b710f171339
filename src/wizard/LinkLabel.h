// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// A label that behaves like a web link: hand cursor, link colour, clicked() on release.
// Used in the Designer forms as a promoted QLabel.
#pragma once

#include <QLabel>

namespace snapsalvager {

class TLinkLabel : public QLabel {
  Q_OBJECT

 public:
  explicit TLinkLabel(QWidget* parent = nullptr);

 signals:
  void clicked();

 protected:
  void mouseReleaseEvent(QMouseEvent* event) override;
};

}  // namespace snapsalvager
