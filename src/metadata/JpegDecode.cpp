// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// libjpeg's errors longjmp back into the phase function that armed them (formats/JpegErrors).
// The two phase functions below are plain C-style code: no object with a destructor
// lives in them, so a longjmp out of libjpeg skips nothing. The C++ side (buffers, cleanup)
// stays in the callers, between the phases.
#include "metadata/JpegDecode.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <stdexcept>
#include <thread>
#include <utility>

#include "formats/JpegErrors.h"
#include "tempfile/TempFileReader.h"

namespace snapsalvager {
namespace {

// libjpeg's working memory for one decode (coefficient buffers of progressive files); past it
// the decode fails instead of growing, since there is no backing store.
constexpr long kMaxJpegWorkingMemory = 256L * 1024 * 1024;

// Everything libjpeg touches, trivially destructible, owned by the caller's frame.
struct DecodeContext {
  jpeg_decompress_struct cinfo;
  TJpegErrors err;
  jpeg_progress_mgr progress;
  bool created;
  bool cmyk;        // decoding to CMYK and converting per row
  int rowsDone;
};

void OnProgress(j_common_ptr cinfo) {
  auto* d = reinterpret_cast<j_decompress_ptr>(cinfo);
  if (d->input_scan_number > kMaxJpegScans) FailJpeg(cinfo);
}

void InitContext(DecodeContext* ctx) {
  std::memset(ctx, 0, sizeof *ctx);
  ArmJpegErrors(&ctx->cinfo, &ctx->err, false);
  ctx->progress.progress_monitor = OnProgress;
}

// Phase 1: header and output size. Returns false when the data has no usable image.
bool ReadHeaderPhase(DecodeContext* ctx, const uint8_t* data, size_t size, int scaleDenom) {
  if (setjmp(ctx->err.Jump)) return false;
  jpeg_create_decompress(&ctx->cinfo);
  ctx->created = true;
  ctx->cinfo.progress = &ctx->progress;
  ctx->cinfo.mem->max_memory_to_use = kMaxJpegWorkingMemory;
  jpeg_mem_src(&ctx->cinfo, data, static_cast<unsigned long>(size));
  if (jpeg_read_header(&ctx->cinfo, TRUE) != JPEG_HEADER_OK) return false;
  const int64_t sourcePixels =
      static_cast<int64_t>(ctx->cinfo.image_width) * ctx->cinfo.image_height;
  if (sourcePixels <= 0 || sourcePixels > kMaxJpegSourcePixels) return false;
  if (scaleDenom <= 0) return true;  // header only

  ctx->cinfo.scale_num = 1;
  ctx->cinfo.scale_denom = static_cast<unsigned>(scaleDenom);
  ctx->cinfo.dct_method = JDCT_IFAST;
  ctx->cinfo.do_fancy_upsampling = FALSE;
  ctx->cinfo.do_block_smoothing = FALSE;
  ctx->cmyk = ctx->cinfo.jpeg_color_space == JCS_CMYK || ctx->cinfo.jpeg_color_space == JCS_YCCK;
  ctx->cinfo.out_color_space = ctx->cmyk ? JCS_CMYK : JCS_RGB;
  jpeg_calc_output_dimensions(&ctx->cinfo);
  const int64_t outPixels =
      static_cast<int64_t>(ctx->cinfo.output_width) * ctx->cinfo.output_height;
  return outPixels > 0 && outPixels <= kMaxJpegOutputPixels;
}

// Adobe writes CMYK inverted; that is what cameras and editors of the era produce.
void CmykRowToRgb(const JSAMPLE* in, uint8_t* out, unsigned width, bool inverted) {
  for (unsigned x = 0; x < width; ++x, in += 4, out += 3) {
    unsigned c = in[0], m = in[1], y = in[2], k = in[3];
    if (!inverted) {
      c = 255 - c, m = 255 - m, y = 255 - y, k = 255 - k;
    }
    out[0] = static_cast<uint8_t>(c * k / 255);
    out[1] = static_cast<uint8_t>(m * k / 255);
    out[2] = static_cast<uint8_t>(y * k / 255);
  }
}

// Phase 2: decode every row into pixels (output_height rows of output_width * 3 bytes).
// Returns true when the last row was reached; rowsDone counts the rows written either way.
bool DecodeRowsPhase(DecodeContext* ctx, uint8_t* pixels) {
  if (setjmp(ctx->err.Jump)) return false;
  jpeg_start_decompress(&ctx->cinfo);
  const size_t stride = static_cast<size_t>(ctx->cinfo.output_width) * 3;
  JSAMPARRAY cmykRow = nullptr;
  if (ctx->cmyk) {
    cmykRow = (*ctx->cinfo.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&ctx->cinfo),
                                              JPOOL_IMAGE, ctx->cinfo.output_width * 4, 1);
  }
  while (ctx->cinfo.output_scanline < ctx->cinfo.output_height) {
    uint8_t* dest = pixels + stride * ctx->cinfo.output_scanline;
    if (cmykRow) {
      if (jpeg_read_scanlines(&ctx->cinfo, cmykRow, 1) != 1) return false;
      CmykRowToRgb(cmykRow[0], dest, ctx->cinfo.output_width, ctx->cinfo.saw_Adobe_marker);
    } else {
      JSAMPROW row = dest;
      if (jpeg_read_scanlines(&ctx->cinfo, &row, 1) != 1) return false;
    }
    ctx->rowsDone = static_cast<int>(ctx->cinfo.output_scanline);
  }
  jpeg_finish_decompress(&ctx->cinfo);
  return true;
}

// Releases libjpeg's memory on every way out of a decode.
struct ContextGuard {
  DecodeContext* ctx;
  ~ContextGuard() {
    if (ctx->created) jpeg_destroy_decompress(&ctx->cinfo);
  }
};

// As many bytes as the stream reports (its size is already capped by MaxSize).
std::vector<uint8_t> ReadReportedBytes(TPreviewFileStream& stream) {
  const int64_t size = stream.GetSize();
  std::vector<uint8_t> bytes(static_cast<size_t>(size > 0 ? size : 0));
  size_t done = 0;
  while (done < bytes.size()) {
    const int32_t got =
        stream.Read(bytes.data() + done, static_cast<int32_t>(bytes.size() - done));
    if (got <= 0) break;
    done += static_cast<size_t>(got);
  }
  bytes.resize(done);  // a file that shrank since it was measured
  return bytes;
}

}  // namespace

bool ReadJpegHeader(const uint8_t* data, size_t size, TJpegHeader* header) {
  if (!data || size == 0) return false;
  DecodeContext ctx;
  InitContext(&ctx);
  ContextGuard guard{&ctx};
  if (!ReadHeaderPhase(&ctx, data, size, 0)) return false;
  if (header) {
    header->Width = static_cast<int>(ctx.cinfo.image_width);
    header->Height = static_cast<int>(ctx.cinfo.image_height);
    header->Components = ctx.cinfo.num_components;
  }
  return true;
}

TJpegPicture DecodeJpeg(const uint8_t* data, size_t size, int scaleDenom) {
  TJpegPicture picture;
  if (!data || size == 0) return picture;
  if (scaleDenom != 1 && scaleDenom != 2 && scaleDenom != 4 && scaleDenom != 8) scaleDenom = 8;
  DecodeContext ctx;
  InitContext(&ctx);
  ContextGuard guard{&ctx};
  if (!ReadHeaderPhase(&ctx, data, size, scaleDenom)) return picture;

  const int width = static_cast<int>(ctx.cinfo.output_width);
  const int height = static_cast<int>(ctx.cinfo.output_height);
  // Mid-grey is what libjpeg itself yields for data missing at the end, so a photo stopped by
  // an error looks the same as a truncated one.
  std::vector<uint8_t> pixels(static_cast<size_t>(width) * height * 3, 0x80);
  const bool complete = DecodeRowsPhase(&ctx, pixels.data());
  picture.Warnings = ctx.err.Warnings;
  if (ctx.rowsDone == 0) return picture;  // nothing decoded: corrupt
  picture.Width = width;
  picture.Height = height;
  picture.Pixels = std::move(pixels);
  picture.Status = complete && ctx.err.Warnings == 0 ? TJpegDecodeStatus::Image
                                                    : TJpegDecodeStatus::Partial;
  return picture;
}

std::vector<uint8_t> ReadPreviewBytes(const std::filesystem::path& path, bool scrambled) {
  TPreviewFileStream stream(path, TReadSettings{kPreviewMaxSize, scrambled});
  return ReadReportedBytes(stream);
}

std::vector<TPreviewDecode> DecodePreviewFiles(const std::vector<std::filesystem::path>& paths,
                                               bool scrambled, int scaleDenom,
                                               unsigned maxThreads) {
  std::vector<TPreviewDecode> results(paths.size());
  std::atomic<size_t> next{0};
  auto work = [&] {
    for (size_t i = next++; i < paths.size(); i = next++) {
      TPreviewDecode& r = results[i];
      std::vector<uint8_t> bytes;
      try {
        bytes = ReadPreviewBytes(paths[i], scrambled);
        r.Opened = true;
      } catch (const std::exception&) {
        continue;  // unreadable file: no thumbnail
      }
      r.HeaderOk = ReadJpegHeader(bytes.data(), bytes.size(), &r.Header);
      if (r.HeaderOk) r.Picture = DecodeJpeg(bytes.data(), bytes.size(), scaleDenom);
    }
  };
  const size_t threads = std::min<size_t>(std::max(1u, maxThreads), paths.size());
  std::vector<std::thread> helpers;
  for (size_t t = 1; t < threads; ++t) helpers.emplace_back(work);
  work();  // the calling thread takes its share
  for (std::thread& t : helpers) t.join();
  return results;
}

void TJpegImage::LoadFromStream(TPreviewFileStream& stream) {
  LoadFromBytes(ReadReportedBytes(stream));
}

void TJpegImage::LoadFromBytes(std::vector<uint8_t> bytes) {
  Clear();
  TJpegHeader header;
  if (!ReadJpegHeader(bytes.data(), bytes.size(), &header)) {
    throw std::runtime_error("Not a valid JPEG image");
  }
  header_ = header;
  data_ = std::make_shared<const std::vector<uint8_t>>(std::move(bytes));
}

void TJpegImage::Clear() {
  data_.reset();
  header_ = TJpegHeader{};
}

TJpegPicture TJpegImage::Decode(int scaleDenom) const {
  if (Empty()) return TJpegPicture{};
  return DecodeJpeg(data_->data(), data_->size(), scaleDenom);
}

}  // namespace snapsalvager
