// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// The file the decoders read, and the choice of decoder by family.
#include "decode/Decoders.h"

#include <libheif/heif.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace snapsalvager::decode {

void PrepareMediaDecoders();  // MediaVerdict.cpp

int64_t TFileBytes::ReadAt(int64_t offset, void* buffer, size_t count) const {
  if (offset < 0 || offset >= size_) return 0;
  count = static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(count), size_ - offset));
  if (data_ != nullptr) {
    std::memcpy(buffer, data_ + offset, count);
    return static_cast<int64_t>(count);
  }
  size_t done = 0;
  while (done < count) {
    const ssize_t got = ::pread(fd_, static_cast<uint8_t*>(buffer) + done, count - done, offset + static_cast<int64_t>(done));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return -1;
    if (got == 0) break;  // the file shrank since its size was taken
    done += static_cast<size_t>(got);
  }
  // The head as it should read, over the bytes as stored.
  if (offset < static_cast<int64_t>(head_.size())) {
    const size_t n = std::min(done, head_.size() - static_cast<size_t>(offset));
    std::memcpy(buffer, head_.data() + offset, n);
  }
  return static_cast<int64_t>(done);
}

bool TFileBytes::Whole(int64_t cap, std::vector<uint8_t>& storage, const uint8_t** data) const {
  if (size_ > cap) return false;
  if (data_ != nullptr) {
    *data = data_;
    return true;
  }
  storage.resize(static_cast<size_t>(size_));
  const int64_t got = ReadAt(0, storage.data(), storage.size());
  if (got < 0) return false;
  storage.resize(static_cast<size_t>(got));
  *data = storage.data();
  return true;
}

TDecodeOutcome CheckFile(const TFileBytes& file, TFileFamily family, bool wantPreview) {
  if (family == TFileFamily::Video || family == TFileFamily::Audio) return CheckMedia(file, family, wantPreview);
  const int64_t cap = family == TFileFamily::Jpeg ? kMaxJpegBytes : family == TFileFamily::Raw ? kMaxRawBytes : kMaxHeifBytes;
  TDecodeOutcome tooLarge;
  if (family == TFileFamily::Unknown) return tooLarge;
  std::vector<uint8_t> storage;
  const uint8_t* data = nullptr;
  if (!file.Whole(cap, storage, &data)) {
    tooLarge.Verdict.Kind = TVerdictKind::CouldNotCheck;
    tooLarge.Verdict.Reason = file.Size() > cap ? "too-large" : "read-error";
    return tooLarge;
  }
  const size_t size = data == storage.data() ? storage.size() : static_cast<size_t>(file.Size());
  switch (family) {
    case TFileFamily::Jpeg: return CheckJpeg(data, size, wantPreview);
    case TFileFamily::Raw: return CheckRaw(data, size, wantPreview);
    case TFileFamily::Heif: return CheckHeif(data, size, wantPreview);
    default: return tooLarge;
  }
}

void PrepareDecoders() {
  heif_init(nullptr);  // loads libheif's decoder plugins from disk
  PrepareMediaDecoders();
}

}  // namespace snapsalvager::decode
