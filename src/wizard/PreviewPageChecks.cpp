// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// Page T4's background checks: every found file handed to the sandboxed helpers, the files on
// show first; each verdict as a badge, a tooltip line and the helper's picture on its
// thumbnail; ticking only the whole files; the card map of what was found.
#include <QCoreApplication>
#include <QLabel>
#include <algorithm>
#include <string>

#include "session/Texts.h"
#include "wizard/PreviewPages.h"
#include "wizard/Thumbnail.h"

namespace snapsalvager {
namespace {

TJpegThumb::TBadge BadgeOf(const decode::TVerdict& v) {
  switch (v.Kind) {
    case decode::TVerdictKind::Damaged: return TJpegThumb::TBadge::Damaged;
    case decode::TVerdictKind::Unreadable: return TJpegThumb::TBadge::Unreadable;
    case decode::TVerdictKind::CouldNotCheck: return TJpegThumb::TBadge::CouldNotCheck;
    default: return TJpegThumb::TBadge::None;
  }
}

}  // namespace

QString VerdictWords(const decode::TVerdict& verdict) {
  switch (verdict.Kind) {
    case decode::TVerdictKind::Whole: return QString::fromStdString(Text(TText::VerdictWhole));
    case decode::TVerdictKind::Damaged:
      if (verdict.Percent >= 0)
        return QString::fromStdString(Text(TText::VerdictDamagedAt, {std::to_string(verdict.Percent)}));
      return QString::fromStdString(Text(TText::VerdictDamaged));
    case decode::TVerdictKind::Unreadable: return QString::fromStdString(Text(TText::VerdictUnreadable));
    case decode::TVerdictKind::CouldNotCheck: return QString::fromStdString(Text(TText::VerdictCouldNotCheck));
    case decode::TVerdictKind::NotChecked: break;
  }
  return {};
}

QString ClipLength(int64_t milliseconds) {
  if (milliseconds <= 0) return {};
  const int64_t seconds = (milliseconds + 500) / 1000;
  if (seconds >= 3600)
    return QString::asprintf("%lld:%02lld:%02lld", static_cast<long long>(seconds / 3600),
                             static_cast<long long>(seconds / 60 % 60), static_cast<long long>(seconds % 60));
  return QString::asprintf("%lld:%02lld", static_cast<long long>(seconds / 60), static_cast<long long>(seconds % 60));
}

void TPreviewPage::SelectOnlyWhole() {
  if (Checker && Checker->Running()) return;  // offered once every file is checked
  for (size_t i = 0; i < found_.Count(); ++i)
    found_.SetSelected(i, i < Checks.size() && Checks[i].Verdict.Kind == decode::TVerdictKind::Whole);
  for (int s = 0; s < SlotBoxes.size(); ++s) {
    if (SlotFiles[s] && !SlotBoxes[s]->isHidden()) SlotBoxes[s]->setChecked(SlotFiles[s]->Selected);
  }
  ui_.LNum2->setText(QString::number(found_.CountSelected()));
}

TCardMap TPreviewPage::CardMapOfFoundFiles(uint64_t cardBytes, const std::filesystem::path& cardImageMap,
                                           const std::vector<std::pair<uint64_t, uint64_t>>& scanUnreadable) const {
  TCardMap map;
  map.CardBytes = cardBytes;
  for (size_t i = 0; i < found_.Count(); ++i) {
    const TFoundFile& file = found_[i];
    const decode::TVerdictKind verdict = i < Checks.size() ? Checks[i].Verdict.Kind : decode::TVerdictKind::NotChecked;
    const bool damaged = verdict == decode::TVerdictKind::Damaged || verdict == decode::TVerdictKind::Unreadable;
    for (const TFoundFile::TCardRun& run : file.CardRuns) {
      map.Files.push_back({run.CardOffset, run.CardOffset + run.Length, MapKindOf(file.Ext), damaged});
      map.CardBytes = std::max(map.CardBytes, run.CardOffset + run.Length);
    }
  }
  map.Unreadable = cardImageMap.empty() ? scanUnreadable : UnreadableAreasOf(cardImageMap);
  return map;
}

void TPreviewPage::StopChecks() {
  if (Checker) Checker->Stop();
  checkedPaths_.clear();
}

void TPreviewPage::StartChecks() {
  StopChecks();
  if (!CheckFiles || !TPreviewChecker::Available()) {
    ShowCheckProgress();
    return;
  }
  if (!Checker) Checker = std::make_unique<TPreviewChecker>(CheckOptions);
  std::vector<TFileCheckJob> jobs;
  jobs.reserve(found_.Count());
  for (size_t i = 0; i < found_.Count(); ++i) {
    jobs.push_back({found_[i].TempFile, found_[i].Ext});
    checkedPaths_.push_back(found_[i].TempFile);
  }
  Checker->Start(std::move(jobs), [this](size_t index, const TFileCheck& check) { TakeCheck(index, check); });
  PreferShownSlots();
  ShowCheckProgress();
}

void TPreviewPage::PreferShownSlots() {
  int first = -1;
  int last = -1;
  for (int s = 0; s < SlotIndexes.size(); ++s) {
    if (SlotIndexes[s] < 0) continue;
    if (first < 0) first = s;
    last = s;
  }
  std::vector<size_t> shown;
  for (int s = std::max(0, first); s <= last && s >= 0; ++s)
    if (SlotIndexes[s] >= 0) shown.push_back(static_cast<size_t>(SlotIndexes[s]));
  if (Checker) Checker->Prefer(shown);
}

void TPreviewPage::PreferShownPage(int first, int last) {
  if (!Checker || !Checker->Running()) return;
  std::vector<size_t> shown;
  for (int p = first; p <= last && p < static_cast<int>(Order.size()); ++p) {
    const size_t i = static_cast<size_t>(Order[static_cast<size_t>(p)]);
    if (i < Checks.size() && Checks[i].Verdict.Kind == decode::TVerdictKind::NotChecked) shown.push_back(i);
  }
  Checker->Prefer(shown);
}

void TPreviewPage::TakeCheck(size_t index, const TFileCheck& check) {
  // A result for a list that has changed since (emptied, or a new scan) is not this file's.
  if (index >= Checks.size() || index >= found_.Count() || index >= checkedPaths_.size() ||
      found_[index].TempFile != checkedPaths_[index])
    return;
  Checks[index] = check;
  for (int s = 0; s < SlotIndexes.size(); ++s) {
    if (SlotIndexes[s] == static_cast<int>(index)) ShowCheck(s);
  }
  ShowCheckProgress();
}

void TPreviewPage::ShowCheck(int slot) {
  const int index = SlotIndexes.value(slot, -1);
  TJpegThumb* thumb = SlotThumbs.value(slot, nullptr);
  if (index < 0 || !thumb || static_cast<size_t>(index) >= Checks.size()) return;
  const TFileCheck& check = Checks[static_cast<size_t>(index)];
  const QString words = VerdictWords(check.Verdict);
  if (words.isEmpty()) return;
  thumb->setToolTip(SummaryWithOriginal(found_[index]).replace(QLatin1Char('|'), QLatin1Char('\n')) +
                    QLatin1Char('\n') + words);
  thumb->SetBadge(BadgeOf(check.Verdict));
  if (!check.Preview.isNull()) thumb->SetHelperPicture(check.Preview, ClipLength(check.Verdict.DurationMs));
}

void TPreviewPage::ShowCheckProgress() {
  QLabel* link = ui_.LS3;
  if (!TPreviewChecker::Available()) return;
  if (Checker && Checker->Running()) {
    link->setText(QCoreApplication::translate("Snapsalvager", "正在检查：%1/%2")
                      .arg(Checker->Checked())
                      .arg(Checker->Total()));
    link->setEnabled(false);
  } else {
    link->setText(QCoreApplication::translate("Snapsalvager", "只选完好的文件"));
    link->setEnabled(!Checks.empty() && CheckFiles);
  }
}

}  // namespace snapsalvager
