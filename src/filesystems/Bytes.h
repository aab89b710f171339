// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// Little-endian reads from a span, bounds-checked: past the end reads as zero, so a parser
// handed a short buffer sees an implausible field instead of reading beyond it.
#pragma once

#include <cstdint>
#include <span>

namespace snapsalvager::filesystems {

inline uint8_t U8(std::span<const uint8_t> b, size_t at) { return at < b.size() ? b[at] : 0; }
inline uint16_t U16(std::span<const uint8_t> b, size_t at) {
  return static_cast<uint16_t>(U8(b, at) | (U8(b, at + 1) << 8));
}
inline uint32_t U32(std::span<const uint8_t> b, size_t at) {
  return static_cast<uint32_t>(U16(b, at)) | (static_cast<uint32_t>(U16(b, at + 2)) << 16);
}
inline uint64_t U64(std::span<const uint8_t> b, size_t at) {
  return static_cast<uint64_t>(U32(b, at)) | (static_cast<uint64_t>(U32(b, at + 4)) << 32);
}
// The bytes [at, at + length) when all lie inside, else an empty span.
inline std::span<const uint8_t> Slice(std::span<const uint8_t> b, uint64_t at, uint64_t length) {
  if (at > b.size() || length > b.size() - at) return {};
  return b.subspan(static_cast<size_t>(at), static_cast<size_t>(length));
}

}  // namespace snapsalvager::filesystems
