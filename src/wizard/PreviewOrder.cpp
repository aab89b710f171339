// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// Page T4's orders (CSort): by number, kind, date or verdict; the ticks follow their files.
#include <QDate>
#include <QString>
#include <QTime>
#include <algorithm>
#include <string>

#include "metadata/PhotoPreview.h"
#include "wizard/PreviewPages.h"

namespace snapsalvager {
namespace {

// The sort key of a date: the Exif shooting time the summary names, else the date of the
// card's entry that named the file; empty (sorted last) without either.
QString DateKey(const TFoundFile& file) {
  const QString info = QString::fromStdString(file.Info);
  static const QLatin1String kShootTime("Shoot Time: ");
  if (info.startsWith(kShootTime)) {
    // Date and time apart: a camera's clock time need not exist in this machine's zone.
    const QString text = info.mid(kShootTime.size()).section(QLatin1Char('|'), 0, 0);
    const QDate day = QDate::fromString(text.section(QLatin1Char(' '), 0, 0), QStringLiteral("MM/dd/yyyy"));
    const QTime time = QTime::fromString(text.section(QLatin1Char(' '), 1, 1), QStringLiteral("HH:mm:ss"));
    if (day.isValid() && time.isValid())
      return day.toString(QStringLiteral("yyyyMMdd")) + time.toString(QStringLiteral("HHmmss"));
  }
  if (file.Original && file.Original->Entry.Modified.Valid()) {
    const filesystems::Timestamp& t = file.Original->Entry.Modified;
    return QString::asprintf("%04d%02d%02d%02d%02d%02d", t.Year, t.Month, t.Day, t.Hour, t.Minute, t.Second);
  }
  return {};
}

// Photos first, then raw and HEIF pictures, videos, audio, everything else.
int KindRank(const std::string& type) {
  switch (PhotoKindOf(type)) {
    case TPhotoKind::Jpeg: return 0;
    case TPhotoKind::None: break;
    default: return 1;
  }
  const int placeholder = TPreviewPage::PlaceholderKind(QString::fromStdString(type));
  return placeholder == 2 ? 2 : placeholder == 3 ? 3 : 4;
}

// Whole first, then damaged from the most to the least that decodes, unreadable, those a
// decoder failed on, and last those not checked.
int VerdictRank(const decode::TVerdict& v) {
  switch (v.Kind) {
    case decode::TVerdictKind::Whole: return 0;
    case decode::TVerdictKind::Damaged: return 100 - std::clamp(v.Percent, -1, 99);
    case decode::TVerdictKind::Unreadable: return 200;
    case decode::TVerdictKind::CouldNotCheck: return 300;
    case decode::TVerdictKind::NotChecked: break;
  }
  return 400;
}

}  // namespace

void TPreviewPage::SortBy(TPreviewOrder order) {
  SortOrder = order;
  const int n = static_cast<int>(found_.Count());
  Order.resize(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) Order[static_cast<size_t>(i)] = i;
  // Keys once, not per comparison; the found order decides between equals.
  std::vector<QString> dates;
  if (order == TPreviewOrder::Date) {
    dates.reserve(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) dates.push_back(DateKey(found_[i]));
  }
  const auto verdictOf = [this](int i) {
    return static_cast<size_t>(i) < Checks.size() ? Checks[static_cast<size_t>(i)].Verdict : decode::TVerdict{};
  };
  std::stable_sort(Order.begin(), Order.end(), [&](int a, int b) {
    switch (order) {
      case TPreviewOrder::Kind:
        return std::make_tuple(KindRank(found_[a].Ext), found_[a].Ext) <
               std::make_tuple(KindRank(found_[b].Ext), found_[b].Ext);
      case TPreviewOrder::Date: {
        const QString& da = dates[static_cast<size_t>(a)];
        const QString& db = dates[static_cast<size_t>(b)];
        if (da.isEmpty() != db.isEmpty()) return db.isEmpty();
        return da < db;
      }
      case TPreviewOrder::Verdict: return VerdictRank(verdictOf(a)) < VerdictRank(verdictOf(b));
      case TPreviewOrder::Number: break;
    }
    return false;
  });
  BuildPages(-1);
}

}  // namespace snapsalvager
