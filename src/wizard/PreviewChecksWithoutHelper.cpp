// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// Where no sandboxed decode helper exists (Windows), found files are not checked: every
// verdict stays "not checked" and the thumbnails show no badge.
#include "wizard/PreviewChecks.h"

namespace snapsalvager {

TPreviewChecker::TPreviewChecker(TFileCheckOptions options) : options_(std::move(options)) {}
struct TPreviewChecker::TNowPool {};
TPreviewChecker::~TPreviewChecker() = default;
std::vector<TFileCheck> TPreviewChecker::CheckNow(const std::vector<TFileCheckJob>&) { return {}; }
bool TPreviewChecker::Available() { return false; }
void TPreviewChecker::Start(std::vector<TFileCheckJob>, TOnChecked) { total_ = checked_ = 0; }
void TPreviewChecker::Prefer(const std::vector<size_t>&) {}
void TPreviewChecker::Stop() {}
void TPreviewChecker::Coordinate(std::vector<TFileCheckJob>, unsigned) {}
void TPreviewChecker::Deliver(unsigned, size_t, TFileCheck) {}

}  // namespace snapsalvager
