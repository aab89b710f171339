// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// Whether a photo's first piece, followed by bytes from elsewhere on the card, decodes cleanly
// to its EOI: the test that joins a photo written in two pieces. libjpeg does the decoding;
// every warning counts as a failure, so only a join that decodes without a single complaint
// up to the image's last MCU row and its EOI passes.
#pragma once

#include <cstddef>
#include <cstdint>

namespace snapsalvager {

enum class TJoinVerdict : uint8_t {
  Clean,        // every row decoded and the EOI read, without a warning
  Broken,       // an error or a warning, or the bytes ran out before the EOI
  Unsupported,  // no usable header, a progressive or oversized image: never joined
};

struct TJoinDecode {
  TJoinVerdict Verdict = TJoinVerdict::Broken;
  uint64_t SecondBytes = 0;     // Clean: the bytes of the second piece up to and with the EOI
  unsigned RestartInterval = 0;  // MCUs between restart markers, 0 when the photo has none
  uint64_t FirstRead = 0;        // Broken inside the first piece: its bytes read by then
};

// Hands out the second piece from offset on: its bytes at *data, *size of them (at least
// one). False at its end. Must not throw.
using TPieceReader = bool (*)(void* context, uint64_t offset, const uint8_t** data, size_t* size);

// Decodes first (the photo's first firstSize bytes, from its SOI) followed by the second
// piece as reader hands it out. Never throws, exits or reads outside what it was given.
TJoinDecode DecodeJoined(const uint8_t* first, size_t firstSize, TPieceReader reader, void* context);

}  // namespace snapsalvager
