// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// JPEG verdict: the whole entropy-coded image decoded at one eighth scale (which still reads
// every coefficient), the first warning or error located by its MCU row. The embedded Exif
// thumbnail is never looked at: libjpeg skips the APP1 segment that holds it.
//
// The one error manager (formats/JpegErrors) keeps the first break; the functions that arm
// setjmp hold no object with a destructor, the C++ side stays in CheckJpeg.
#include <algorithm>
#include <csetjmp>
#include <cstdio>  // jpeglib.h needs FILE
#include <cstring>

#include <jpeglib.h>
#include <jerror.h>

#include "decode/Decoders.h"
#include "formats/JpegErrors.h"
#include "metadata/JpegDecode.h"

namespace snapsalvager::decode {
namespace {

// libjpeg's working memory for one decode; past it the decode fails instead of growing.
constexpr long kMaxWorkingMemory = 256L * 1024 * 1024;

struct TContext {
  jpeg_decompress_struct cinfo;
  TJpegErrors err;
  jpeg_progress_mgr progress;
  bool created;
};

void OnProgress(j_common_ptr cinfo) {
  auto* d = reinterpret_cast<j_decompress_ptr>(cinfo);
  if (d->input_scan_number > kMaxJpegScans) FailJpeg(cinfo);
}

// Header, then every row at 1/8 into pixels (sized by the caller after the header: the
// decode runs in two calls). The error manager keeps the first break.
bool ReadHeader(TContext* ctx, const uint8_t* data, size_t size) {
  if (setjmp(ctx->err.Jump)) return false;
  jpeg_create_decompress(&ctx->cinfo);
  ctx->created = true;
  ctx->cinfo.progress = &ctx->progress;
  ctx->cinfo.mem->max_memory_to_use = kMaxWorkingMemory;
  jpeg_mem_src(&ctx->cinfo, data, static_cast<unsigned long>(size));
  if (jpeg_read_header(&ctx->cinfo, TRUE) != JPEG_HEADER_OK) return false;
  const int64_t pixels = int64_t{ctx->cinfo.image_width} * ctx->cinfo.image_height;
  if (pixels <= 0 || pixels > kMaxJpegSourcePixels) return false;
  ctx->cinfo.scale_num = 1;
  ctx->cinfo.scale_denom = 8;
  ctx->cinfo.dct_method = JDCT_IFAST;
  ctx->cinfo.do_fancy_upsampling = FALSE;
  ctx->cinfo.do_block_smoothing = FALSE;
  const bool cmyk = ctx->cinfo.jpeg_color_space == JCS_CMYK || ctx->cinfo.jpeg_color_space == JCS_YCCK;
  // CMYK photos are decoded as grey rows of their first channel: enough for the verdict.
  ctx->cinfo.out_color_space = cmyk ? JCS_CMYK : JCS_RGB;
  jpeg_calc_output_dimensions(&ctx->cinfo);
  ctx->err.Broke = false;  // a warning in the header (padding before a marker) is not damage
  return true;
}

bool DecodeRows(TContext* ctx, uint8_t* pixels, size_t stride, unsigned* rowsDone) {
  if (setjmp(ctx->err.Jump)) return false;
  jpeg_start_decompress(&ctx->cinfo);
  while (ctx->cinfo.output_scanline < ctx->cinfo.output_height) {
    JSAMPROW row = pixels + stride * ctx->cinfo.output_scanline;
    if (jpeg_read_scanlines(&ctx->cinfo, &row, 1) != 1) return false;
    *rowsDone = ctx->cinfo.output_scanline;
  }
  jpeg_finish_decompress(&ctx->cinfo);
  return true;
}

struct TGuard {
  TContext* ctx;
  ~TGuard() {
    if (ctx->created) jpeg_destroy_decompress(&ctx->cinfo);
  }
};

const char* ReasonOf(int code) {
  switch (code) {
    case JWRN_JPEG_EOF: return "cut";
    case JWRN_MUST_RESYNC: return "restart-break";
    case -1: return "decoder-error";
    default: return "corrupt-data";
  }
}

// Where the first scan's entropy-coded data starts; 0 when no SOS is found.
size_t FirstScanData(const uint8_t* data, size_t size) {
  size_t at = 2;
  while (at + 4 <= size) {
    if (data[at] != 0xFF) return 0;
    if (data[at + 1] == 0xFF) {  // fill byte
      ++at;
      continue;
    }
    const size_t length = size_t{data[at + 2]} << 8 | data[at + 3];
    if (length < 2) return 0;
    if (data[at + 1] == 0xDA) return std::min(size, at + 2 + length);
    at += 2 + length;
  }
  return 0;
}

}  // namespace

int64_t FirstZeroSector(const uint8_t* data, size_t from, size_t to) {
  for (size_t at = (from + kSectorSize - 1) / kSectorSize * kSectorSize; at + kSectorSize <= to; at += kSectorSize) {
    const uint8_t* p = data + at;
    if (p[0] == 0 && std::memcmp(p, p + 1, kSectorSize - 1) == 0) return static_cast<int64_t>(at);
  }
  return -1;
}

TDecodeOutcome CheckJpeg(const uint8_t* data, size_t size, bool wantPreview) {
  TDecodeOutcome out;
  TVerdict& v = out.Verdict;
  TContext ctx;
  std::memset(&ctx, 0, sizeof ctx);
  ArmJpegErrors(&ctx.cinfo, &ctx.err, false);
  ctx.progress.progress_monitor = OnProgress;
  TGuard guard{&ctx};
  if (data == nullptr || size < 4 || !ReadHeader(&ctx, data, size)) {
    v.Kind = TVerdictKind::Unreadable;
    v.Percent = 0;
    v.Reason = "no-header";
    return out;
  }
  v.Width = static_cast<int>(ctx.cinfo.image_width);
  v.Height = static_cast<int>(ctx.cinfo.image_height);
  const unsigned width = ctx.cinfo.output_width, height = ctx.cinfo.output_height;
  const size_t stride = size_t{width} * static_cast<size_t>(ctx.cinfo.out_color_components);
  std::vector<uint8_t> pixels(stride * height, 0x80);
  unsigned rows = 0;
  const bool complete = DecodeRows(&ctx, pixels.data(), stride, &rows);

  const TJpegErrors& first = ctx.err;
  // The bytes libjpeg read; a wiped sector before that point decoded silently as flat blocks.
  const size_t consumed = ctx.cinfo.src ? size - ctx.cinfo.src->bytes_in_buffer : size;
  const size_t scan = FirstScanData(data, size);
  const int64_t zero = scan > 0 ? FirstZeroSector(data, scan, consumed) : -1;
  int percent = 100;
  if (first.Broke) {
    percent = first.BreakRows > 0 ? static_cast<int>(int64_t{first.BreakRow} * 100 / first.BreakRows) : 0;
    v.Reason = ReasonOf(first.BreakCode);
  } else if (!complete) {
    percent = height > 0 ? static_cast<int>(int64_t{rows} * 100 / height) : 0;
    v.Reason = "decoder-error";
  }
  if (zero >= 0) {
    const int zeroPercent = consumed > scan ? static_cast<int>((zero - static_cast<int64_t>(scan)) * 100 /
                                                               static_cast<int64_t>(consumed - scan))
                                            : 0;
    if (zeroPercent < percent) {
      percent = zeroPercent;
      v.Reason = "zero-sector";
    }
  }
  if (percent >= 100) {
    v.Kind = TVerdictKind::Whole;
    v.Percent = 100;
    v.Reason.clear();
  } else {
    v.Kind = percent <= 0 ? TVerdictKind::Unreadable : TVerdictKind::Damaged;
    v.Percent = std::clamp(percent, 0, 99);
  }
  if (wantPreview && rows > 0 && ctx.cinfo.out_color_space == JCS_RGB) {
    out.Preview = FitPreview(pixels.data(), static_cast<int>(width), static_cast<int>(height), static_cast<int>(stride));
  }
  return out;
}

}  // namespace snapsalvager::decode
