// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// HEIF/HEIC/AVIF verdict: the primary image decoded whole through libheif (a grid image
// decodes every tile), the image data (mdat) inside the file and free of wiped sectors.
#include <libheif/heif.h>

#include <algorithm>

#include "decode/Decoders.h"
#include "metadata/HeifHandles.h"

namespace snapsalvager::decode {
namespace {

// libheif's own cap on a side; its default lets a forged file ask for gigabytes.
constexpr int kMaxHeifSide = 16384;
// Largest primary image decoded for a verdict (a 48-megapixel phone photo fits).
constexpr int64_t kMaxHeifPixels = 64000000;

}  // namespace

TDecodeOutcome CheckHeif(const uint8_t* data, size_t size, bool wantPreview) {
  TDecodeOutcome out;
  TVerdict& v = out.Verdict;
  v.Kind = TVerdictKind::Unreadable;
  v.Percent = 0;
  v.Reason = "no-header";
  if (data == nullptr || size < 16) return out;
  const TIsoLayout layout = TopLevelBoxes(data, size);
  // The share of the image data the file holds, for a file cut short.
  int share = 100;
  if (layout.Cut && layout.MdatDeclared > 0) {
    const uint64_t present = size > layout.MdatOffset ? size - layout.MdatOffset : 0;
    share = static_cast<int>(std::min<uint64_t>(99, present * 100 / layout.MdatDeclared));
  } else if (layout.Cut) {
    share = 0;
  }

  THeifContext context(heif_context_alloc());
  if (!context) return out;
  heif_context_set_maximum_image_size_limit(context.get(), kMaxHeifSide);
  if (heif_context_read_from_memory_without_copy(context.get(), data, size, nullptr).code != heif_error_Ok) return out;
  heif_image_handle* primaryRaw = nullptr;
  if (heif_context_get_primary_image_handle(context.get(), &primaryRaw).code != heif_error_Ok) return out;
  const THeifHandle primary(primaryRaw);
  v.Width = heif_image_handle_get_width(primaryRaw);
  v.Height = heif_image_handle_get_height(primaryRaw);
  if (int64_t{v.Width} * v.Height <= 0 || int64_t{v.Width} * v.Height > kMaxHeifPixels) {
    v.Kind = TVerdictKind::CouldNotCheck;
    v.Percent = -1;
    v.Reason = "too-large";
    return out;
  }
  heif_image* imageRaw = nullptr;
  // Strict: a warning of the HEVC or AV1 decoder (a slice it had to conceal) is an error.
  heif_decoding_options* decoding = heif_decoding_options_alloc();
  decoding->strict_decoding = 1;
  const heif_error decoded =
      heif_decode_image(primaryRaw, &imageRaw, heif_colorspace_RGB, heif_chroma_interleaved_RGB, decoding);
  heif_decoding_options_free(decoding);
  const THeifImage image(imageRaw);

  int percent = share;
  v.Reason = share < 100 ? "cut" : "";
  heif_error warning{};
  const bool warned = image && heif_image_get_decoding_warnings(imageRaw, 0, &warning, 1) > 0;
  if ((decoded.code != heif_error_Ok || warned) && percent == 100) {
    percent = -1;  // libheif tells no position
    v.Reason = "corrupt-data";
  }
  if (layout.MdatDeclared > 0) {
    const uint64_t end = std::min<uint64_t>(size, layout.MdatOffset + layout.MdatDeclared);
    const int64_t zero = FirstZeroSector(data, static_cast<size_t>(layout.MdatOffset), static_cast<size_t>(end));
    if (zero >= 0) {
      const int zeroPercent = static_cast<int>((static_cast<uint64_t>(zero) - layout.MdatOffset) * 100 / layout.MdatDeclared);
      if (percent < 0 || zeroPercent < percent) percent = zeroPercent;
      v.Reason = "zero-sector";
    }
  }
  if (percent == 100) {
    v.Kind = TVerdictKind::Whole;
    v.Reason.clear();
  } else if (percent < 0) {
    v.Kind = TVerdictKind::Damaged;
  } else {
    v.Kind = percent == 0 ? TVerdictKind::Unreadable : TVerdictKind::Damaged;
    percent = std::min(percent, 99);
  }
  v.Percent = percent;
  if (wantPreview && image) {
    int stride = 0;
    const uint8_t* plane = heif_image_get_plane_readonly(imageRaw, heif_channel_interleaved, &stride);
    out.Preview = FitPreview(plane, heif_image_get_width(imageRaw, heif_channel_interleaved),
                             heif_image_get_height(imageRaw, heif_channel_interleaved), stride);
  }
  return out;
}

}  // namespace snapsalvager::decode
