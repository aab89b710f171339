// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// The join's decode stops on an error and on every warning (a warning is corrupt data, which
// a right join never has); the setjmp lives in one C-style function with no object that has
// a destructor.
#include "carving/JpegContinuation.h"

#include <cstring>

#include "formats/JpegErrors.h"

namespace snapsalvager {
namespace {

// As the thumbnails: a header claiming more pixels than any camera writes is forged.
constexpr long long kMaxSourcePixels = 200000000;
constexpr long kMaxWorkingMemory = 64L * 1024 * 1024;

// The first piece, then the second as the reader hands it out.
struct JoinSource {
  jpeg_source_mgr pub;
  const uint8_t* first;
  size_t firstSize;
  TPieceReader reader;
  void* context;
  bool inSecond;
  uint64_t chunkAt;  // offset in the second piece of the chunk libjpeg holds
  size_t chunkSize;
};

struct JoinContext {
  jpeg_decompress_struct cinfo;
  TJpegErrors err;
  JoinSource src;
  bool created;
};

void InitSource(j_decompress_ptr) {}
void TermSource(j_decompress_ptr) {}

boolean FillInput(j_decompress_ptr cinfo) {
  auto* src = reinterpret_cast<JoinSource*>(cinfo->src);
  const uint64_t next = src->inSecond ? src->chunkAt + src->chunkSize : 0;
  const uint8_t* data = nullptr;
  size_t size = 0;
  if (!src->reader(src->context, next, &data, &size) || data == nullptr || size == 0) {
    FailJpeg(reinterpret_cast<j_common_ptr>(cinfo));  // the data ended before the EOI
  }
  src->inSecond = true;
  src->chunkAt = next;
  src->chunkSize = size;
  src->pub.next_input_byte = data;
  src->pub.bytes_in_buffer = size;
  return TRUE;
}

void SkipInput(j_decompress_ptr cinfo, long count) {
  if (count <= 0) return;
  auto* src = &cinfo->src[0];
  size_t left = static_cast<size_t>(count);
  while (left > src->bytes_in_buffer) {
    left -= src->bytes_in_buffer;
    src->bytes_in_buffer = 0;
    FillInput(cinfo);
  }
  src->next_input_byte += left;
  src->bytes_in_buffer -= left;
}

// The whole decode: header, every row at one eighth, the EOI.
TJoinVerdict DecodePhase(JoinContext* ctx) {
  if (setjmp(ctx->err.Jump)) return TJoinVerdict::Broken;
  jpeg_create_decompress(&ctx->cinfo);
  ctx->created = true;
  ctx->cinfo.mem->max_memory_to_use = kMaxWorkingMemory;
  ctx->cinfo.src = &ctx->src.pub;
  if (jpeg_read_header(&ctx->cinfo, TRUE) != JPEG_HEADER_OK) return TJoinVerdict::Unsupported;
  const long long pixels = static_cast<long long>(ctx->cinfo.image_width) * ctx->cinfo.image_height;
  // A progressive photo buffers its whole image before the first row: not worth a search.
  if (pixels <= 0 || pixels > kMaxSourcePixels || ctx->cinfo.progressive_mode) {
    return TJoinVerdict::Unsupported;
  }
  ctx->cinfo.scale_num = 1;
  ctx->cinfo.scale_denom = 8;
  ctx->cinfo.dct_method = JDCT_IFAST;
  ctx->cinfo.do_fancy_upsampling = FALSE;
  ctx->cinfo.do_block_smoothing = FALSE;
  ctx->cinfo.out_color_space = ctx->cinfo.jpeg_color_space;  // no colour conversion
  jpeg_start_decompress(&ctx->cinfo);
  JSAMPARRAY row = (*ctx->cinfo.mem->alloc_sarray)(
      reinterpret_cast<j_common_ptr>(&ctx->cinfo), JPOOL_IMAGE,
      ctx->cinfo.output_width * static_cast<JDIMENSION>(ctx->cinfo.output_components), 1);
  while (ctx->cinfo.output_scanline < ctx->cinfo.output_height) {
    if (jpeg_read_scanlines(&ctx->cinfo, row, 1) != 1) return TJoinVerdict::Broken;
  }
  jpeg_finish_decompress(&ctx->cinfo);
  return TJoinVerdict::Clean;
}

}  // namespace

TJoinDecode DecodeJoined(const uint8_t* first, size_t firstSize, TPieceReader reader, void* context) {
  TJoinDecode result;
  if (first == nullptr || firstSize == 0 || reader == nullptr) return result;
  JoinContext ctx;
  std::memset(&ctx, 0, sizeof ctx);
  ArmJpegErrors(&ctx.cinfo, &ctx.err, true);
  ctx.src.pub.init_source = InitSource;
  ctx.src.pub.fill_input_buffer = FillInput;
  ctx.src.pub.skip_input_data = SkipInput;
  ctx.src.pub.resync_to_restart = jpeg_resync_to_restart;
  ctx.src.pub.term_source = TermSource;
  ctx.src.pub.next_input_byte = first;
  ctx.src.pub.bytes_in_buffer = firstSize;
  ctx.src.first = first;
  ctx.src.firstSize = firstSize;
  ctx.src.reader = reader;
  ctx.src.context = context;
  result.Verdict = DecodePhase(&ctx);
  result.RestartInterval = ctx.created ? ctx.cinfo.restart_interval : 0;
  if (!ctx.src.inSecond) result.FirstRead = firstSize - ctx.src.pub.bytes_in_buffer;
  // The EOI must lie in the second piece: a first piece that ends the photo is no join.
  if (result.Verdict == TJoinVerdict::Clean) {
    if (!ctx.src.inSecond) {
      result.Verdict = TJoinVerdict::Broken;
    } else {
      result.SecondBytes = ctx.src.chunkAt + (ctx.src.chunkSize - ctx.src.pub.bytes_in_buffer);
    }
  }
  if (ctx.created) jpeg_destroy_decompress(&ctx.cinfo);
  return result;
}

}  // namespace snapsalvager
