// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// Big- and little-endian reads of bytes the caller has already bounded, and the two byte-run
// tests the container walkers share. Every reader of card data in src uses these.
#pragma once

#include <cstdint>

namespace snapsalvager {

inline uint32_t Be16(const uint8_t* p) { return uint32_t{p[0]} << 8 | p[1]; }
inline uint32_t Be32(const uint8_t* p) { return Be16(p) << 16 | Be16(p + 2); }
inline uint64_t Be64(const uint8_t* p) { return uint64_t{Be32(p)} << 32 | Be32(p + 4); }
inline uint32_t Le16(const uint8_t* p) { return uint32_t{p[1]} << 8 | p[0]; }
inline uint32_t Le32(const uint8_t* p) { return Le16(p + 2) << 16 | Le16(p); }
inline uint64_t Le64(const uint8_t* p) { return uint64_t{Le32(p + 4)} << 32 | Le32(p); }

// Whether length bytes from offset lie inside size bytes, without the add wrapping.
inline bool Fits(uint64_t size, uint64_t offset, uint64_t length) {
  return offset <= size && length <= size - offset;
}

inline bool AllZero(const uint8_t* p, uint32_t n) {
  for (uint32_t i = 0; i < n; ++i) {
    if (p[i] != 0) return false;
  }
  return true;
}

// Four printable ASCII characters: a chunk, box or brand name.
inline bool Printable4(const uint8_t* p) {
  for (int i = 0; i < 4; ++i) {
    if (p[i] < 0x20 || p[i] > 0x7E) return false;
  }
  return true;
}

}  // namespace snapsalvager
