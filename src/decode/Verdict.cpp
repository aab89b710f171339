// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
#include "decode/Verdict.h"

#include <algorithm>
#include <cctype>
#include <string>

namespace snapsalvager::decode {
namespace {

// Scan type -> family. Types absent here (TIF, CRW, X3F, MRW, ...) are listed and saved but
// not checked.
struct TTypeFamily {
  const char* Type;
  TFileFamily Family;
};
constexpr TTypeFamily kTypeFamilies[] = {
    {"JPG", TFileFamily::Jpeg},   {"JPEG", TFileFamily::Jpeg},  {"CR2", TFileFamily::Raw},
    {"NEF", TFileFamily::Raw},    {"NRW", TFileFamily::Raw},    {"ARW", TFileFamily::Raw},
    {"SR2", TFileFamily::Raw},    {"SRF", TFileFamily::Raw},    {"DNG", TFileFamily::Raw},
    {"ORF", TFileFamily::Raw},    {"RW2", TFileFamily::Raw},    {"RAW", TFileFamily::Raw},
    {"PEF", TFileFamily::Raw},    {"DCR", TFileFamily::Raw},    {"CR3", TFileFamily::Raw},
    {"RAF", TFileFamily::Raw},    {"HEIC", TFileFamily::Heif},  {"HEIF", TFileFamily::Heif},
    {"HIF", TFileFamily::Heif},   {"AVIF", TFileFamily::Heif},  {"MOV", TFileFamily::Video},
    {"MP4", TFileFamily::Video},  {"3GP", TFileFamily::Video},  {"AVI", TFileFamily::Video},
    {"AVI1", TFileFamily::Video}, {"MTS", TFileFamily::Video},  {"M2TS", TFileFamily::Video},
    {"MPG", TFileFamily::Video},  {"ASF", TFileFamily::Video},  {"WMV", TFileFamily::Video},
    {"MXF", TFileFamily::Video},  {"XAVC", TFileFamily::Video}, {"MP3", TFileFamily::Audio},
    {"ID3", TFileFamily::Audio},  {"WAV", TFileFamily::Audio},  {"AMR", TFileFamily::Audio},
    {"FLAC", TFileFamily::Audio}, {"M4A", TFileFamily::Audio},  {"WMA", TFileFamily::Audio},
};

}  // namespace

TFileFamily FamilyOfType(std::string_view type) {
  std::string upper(type);
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  for (const TTypeFamily& row : kTypeFamilies) {
    if (upper == row.Type) return row.Family;
  }
  return TFileFamily::Unknown;
}

TPreview FitPreview(const uint8_t* rgb, int width, int height, int stride) {
  TPreview out;
  if (rgb == nullptr || width <= 0 || height <= 0 || stride < width * 3) return out;
  // One factor for both sides keeps the picture's proportions.
  const double scale = std::min({1.0, double(kPreviewMaxWidth) / width, double(kPreviewMaxHeight) / height});
  out.Width = std::max(1, static_cast<int>(width * scale));
  out.Height = std::max(1, static_cast<int>(height * scale));
  out.Rgb.resize(static_cast<size_t>(out.Width) * out.Height * 3);
  for (int y = 0; y < out.Height; ++y) {
    const int sy = std::min(height - 1, static_cast<int>(y / scale));
    for (int x = 0; x < out.Width; ++x) {
      const int sx = std::min(width - 1, static_cast<int>(x / scale));
      const uint8_t* p = rgb + static_cast<size_t>(sy) * stride + static_cast<size_t>(sx) * 3;
      std::copy(p, p + 3, out.Rgb.begin() + (static_cast<size_t>(y) * out.Width + x) * 3);
    }
  }
  return out;
}

const char* VerdictKindName(TVerdictKind kind) {
  switch (kind) {
    case TVerdictKind::NotChecked: return "not-checked";
    case TVerdictKind::Whole: return "whole";
    case TVerdictKind::Damaged: return "damaged";
    case TVerdictKind::Unreadable: return "unreadable";
    case TVerdictKind::CouldNotCheck: return "could-not-check";
  }
  return "?";
}

}  // namespace snapsalvager::decode
