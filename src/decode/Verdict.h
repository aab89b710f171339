// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// What decoding a found file says about it: whole, damaged (and how far it decodes) or
// unreadable, with a small picture for the window. Plain data, shared by the decoders, the
// helper process and its client; the words shown to the user belong to the front ends.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace snapsalvager::decode {

// How a file is decoded; chosen from the type the scan gave it.
enum class TFileFamily : uint8_t {
  Unknown = 0,  // no decoder: the verdict is NotChecked
  Jpeg = 1,
  Raw = 2,   // camera raws: TIFF-based, CR3, RAF
  Heif = 3,  // HEIC, HEIF, AVIF
  Video = 4,
  Audio = 5,
};

// The family of a scan type ("JPG", "CR2", "MOV", "MP3", ...), without regard to case.
TFileFamily FamilyOfType(std::string_view type);

enum class TVerdictKind : uint8_t {
  NotChecked = 0,     // no decoder for this type
  Whole = 1,          // every part decodes
  Damaged = 2,        // decodes up to Percent, then breaks
  Unreadable = 3,     // nothing of the content decodes
  CouldNotCheck = 4,  // the decoder crashed, ran out of time or memory, or could not start
};

struct TVerdict {
  TVerdictKind Kind = TVerdictKind::NotChecked;
  // Damaged: the share that decodes before the first break, 0..99 (-1: not known). Whole
  // is 100, Unreadable 0.
  int Percent = -1;
  // Why, in a short machine word ("cut", "corrupt-data", "zero-sector", "offset-outside",
  // "timeout", "crashed", ...), for logs and reports; empty when whole.
  std::string Reason;
  int64_t DurationMs = 0;  // video and audio: the length the file claims; 0 otherwise
  int Width = 0;           // the image's or the video's size, when known
  int Height = 0;
};

// A small RGB picture (3 bytes a pixel, rows packed) the caller draws: a decoded frame of a
// video, a waveform of an audio file, the photo itself scaled down. Empty when there is none.
struct TPreview {
  int Width = 0;
  int Height = 0;
  std::vector<uint8_t> Rgb;
  bool Empty() const { return Width <= 0 || Height <= 0; }
};

// What checking one file gives.
struct TDecodeOutcome {
  TVerdict Verdict;
  TPreview Preview;
};

// A preview fits in this box (the window's thumbnails are 160 x 120).
inline constexpr int kPreviewMaxWidth = 160;
inline constexpr int kPreviewMaxHeight = 120;
// An audio file's waveform picture.
inline constexpr int kWaveformWidth = 160;
inline constexpr int kWaveformHeight = 48;

// Scales an RGB picture down to fit in the preview box (never up), nearest-pixel.
TPreview FitPreview(const uint8_t* rgb, int width, int height, int stride);

// The machine word of a kind ("whole", "damaged", ...), for logs and the command line.
const char* VerdictKindName(TVerdictKind kind);

}  // namespace snapsalvager::decode
