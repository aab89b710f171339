// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// The texts' tables, one file per language: every row a TText in its enum order, which a
// static_assert beside each table checks, so a row missing or out of place does not build.
#pragma once

#include <cstddef>

#include "session/Texts.h"

namespace snapsalvager::texts {

struct TTextRow {
  TText Id;
  const char* Text;
};

inline constexpr size_t kTextCount = static_cast<size_t>(TText::Count);

// True when rows holds every TText once, in enum order (rows a table leaves out are zero).
template <size_t N>
constexpr bool Complete(const TTextRow (&rows)[N]) {
  if (N != kTextCount) return false;
  for (size_t i = 0; i < N; ++i) {
    if (static_cast<size_t>(rows[i].Id) != i || rows[i].Text == nullptr) return false;
  }
  return true;
}

extern const TTextRow kChinese[kTextCount];
extern const TTextRow kEnglish[kTextCount];

}  // namespace snapsalvager::texts
