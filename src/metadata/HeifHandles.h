// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// libheif's objects as owning pointers, released on every way out. Shared by the thumbnail
// reader and the decode helper's verdict.
#pragma once

#include <libheif/heif.h>

#include <memory>

namespace snapsalvager {

struct THeifContextDeleter {
  void operator()(heif_context* c) const { heif_context_free(c); }
};
struct THeifHandleDeleter {
  void operator()(heif_image_handle* h) const { heif_image_handle_release(h); }
};
struct THeifImageDeleter {
  void operator()(heif_image* i) const { heif_image_release(i); }
};
using THeifContext = std::unique_ptr<heif_context, THeifContextDeleter>;
using THeifHandle = std::unique_ptr<heif_image_handle, THeifHandleDeleter>;
using THeifImage = std::unique_ptr<heif_image, THeifImageDeleter>;

}  // namespace snapsalvager
