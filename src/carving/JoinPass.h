// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// The join pass, after the carving loop: each photo whose data broke off is searched for its
// second piece on the card, and a photo that joins is handed on as a file of its own.
#pragma once

#include <cstdint>
#include <functional>

#include "carving/Carver.h"
#include "carving/SplitPhotos.h"

namespace snapsalvager {

struct TJoinPass {
  // Reads count 512-byte card sectors (any count: the pass reads in pieces it can take).
  TSectorReader Read;
  uint64_t Base = 0;   // the range's first card sector
  uint64_t Total = 0;  // sectors in the range
  std::function<bool()> Stopped;
  // The pause checkpoint between photos: true when a stop ended the pause.
  std::function<bool()> PauseCheckpoint;
  // done of total breaks searched.
  std::function<void(uint32_t done, uint32_t total)> Progress;
  // A photo whose two pieces join: a file of its own.
  std::function<void(TJoinedPhoto photo)> Joined;

  // Searches for the second piece of every break in findings (only on cards of 512-byte
  // sectors). Nothing is done when there is no break or a stop was requested.
  void Run(TCarvingFindings findings, uint32_t sectorSize) const;
};

}  // namespace snapsalvager
