// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// libheif behind a few calls: every handle is released on every way out.
#include "metadata/HeifThumbnail.h"

#include <libheif/heif.h>

#include <cstring>
#include <vector>

#include "metadata/HeifHandles.h"

namespace snapsalvager {
namespace {

// Width and height libheif accepts at most; its default (32768 squared) lets a forged file
// ask for gigabytes.
constexpr int kMaxHeifSide = 8192;

using TContext = THeifContext;
using THandle = THeifHandle;
using TImage = THeifImage;

// The file's primary image, or null. The context must outlive the handle.
THandle OpenPrimary(const uint8_t* data, size_t size, TContext& context) {
  if (data == nullptr || size < 16) return nullptr;
  context.reset(heif_context_alloc());
  if (!context) return nullptr;
  heif_context_set_maximum_image_size_limit(context.get(), kMaxHeifSide);
  if (heif_context_read_from_memory_without_copy(context.get(), data, size, nullptr).code != heif_error_Ok) {
    return nullptr;
  }
  heif_image_handle* primary = nullptr;
  if (heif_context_get_primary_image_handle(context.get(), &primary).code != heif_error_Ok) return nullptr;
  return THandle(primary);
}

TJpegPicture DecodeHandle(heif_image_handle* handle) {
  TJpegPicture picture;
  // A thumbnail item is sized by the file like the photo: a forged one is refused too.
  const int64_t pixels = int64_t{heif_image_handle_get_width(handle)} * heif_image_handle_get_height(handle);
  if (pixels <= 0 || pixels > kMaxHeifPrimaryPixels) return picture;
  heif_image* raw = nullptr;
  if (heif_decode_image(handle, &raw, heif_colorspace_RGB, heif_chroma_interleaved_RGB, nullptr).code !=
      heif_error_Ok) {
    return picture;
  }
  const TImage image(raw);
  const int width = heif_image_get_width(raw, heif_channel_interleaved);
  const int height = heif_image_get_height(raw, heif_channel_interleaved);
  int stride = 0;
  const uint8_t* plane = heif_image_get_plane_readonly(raw, heif_channel_interleaved, &stride);
  if (plane == nullptr || width <= 0 || height <= 0 || stride < width * 3) return picture;
  picture.Pixels.resize(static_cast<size_t>(width) * height * 3);
  for (int y = 0; y < height; ++y) {
    std::memcpy(picture.Pixels.data() + static_cast<size_t>(y) * width * 3, plane + static_cast<size_t>(y) * stride,
                static_cast<size_t>(width) * 3);
  }
  picture.Width = width;
  picture.Height = height;
  picture.Status = TJpegDecodeStatus::Image;
  return picture;
}

}  // namespace

TJpegPicture DecodeHeifThumbnail(const uint8_t* data, size_t size) {
  TContext context;
  const THandle primary = OpenPrimary(data, size, context);
  if (!primary) return {};
  heif_item_id id = 0;
  if (heif_image_handle_get_list_of_thumbnail_IDs(primary.get(), &id, 1) == 1) {
    heif_image_handle* thumb = nullptr;
    if (heif_image_handle_get_thumbnail(primary.get(), id, &thumb).code == heif_error_Ok) {
      const THandle thumbnail(thumb);
      TJpegPicture picture = DecodeHandle(thumbnail.get());
      if (picture.Status != TJpegDecodeStatus::Corrupt) return picture;
    }
  }
  return DecodeHandle(primary.get());
}

bool ReadHeifFacts(const uint8_t* data, size_t size, TPhotoFacts* facts) {
  TContext context;
  const THandle primary = OpenPrimary(data, size, context);
  if (!primary) return false;
  facts->Width = heif_image_handle_get_width(primary.get());
  facts->Height = heif_image_handle_get_height(primary.get());
  heif_item_id id = 0;
  if (heif_image_handle_get_list_of_metadata_block_IDs(primary.get(), "Exif", &id, 1) != 1) return true;
  const size_t length = heif_image_handle_get_metadata_size(primary.get(), id);
  // The Exif item sits in the bytes given, so it is no larger than they are.
  if (length < 8 || length > size) return true;
  std::vector<uint8_t> exif(length);
  if (heif_image_handle_get_metadata(primary.get(), id, exif.data()).code != heif_error_Ok) return true;
  // The item starts with the offset of its TIFF header.
  const uint32_t skip = uint32_t{exif[0]} << 24 | uint32_t{exif[1]} << 16 | uint32_t{exif[2]} << 8 | exif[3];
  if (skip > length - 4) return true;
  TPhotoFacts tags;
  ReadTiffFacts(exif.data() + 4 + skip, length - 4 - skip, &tags);
  facts->DateTime = tags.DateTime;
  facts->Model = tags.Model;
  return true;
}

}  // namespace snapsalvager
