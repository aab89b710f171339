// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// Previews and summaries of raw and HEIF photos on top of the JPEG path.
#include "metadata/PhotoPreview.h"

#include <algorithm>
#include <atomic>
#include <thread>

#include "metadata/HeifThumbnail.h"
#include "metadata/PhotoSummary.h"
#include "metadata/RawPreview.h"
#include "tempfile/TempFileReader.h"

namespace snapsalvager {
namespace {

std::vector<uint8_t> ReadBytes(const std::filesystem::path& path, int64_t maxSize, bool scrambled) {
  TPreviewFileStream stream(path, TReadSettings{maxSize, scrambled});
  std::vector<uint8_t> bytes(static_cast<size_t>(std::max<int64_t>(stream.GetSize(), 0)));
  size_t done = 0;
  while (done < bytes.size()) {
    const int32_t got = stream.Read(bytes.data() + done,
                                    static_cast<int32_t>(std::min<size_t>(bytes.size() - done, INT32_MAX)));
    if (got <= 0) break;
    done += static_cast<size_t>(got);
  }
  bytes.resize(done);
  return bytes;
}

void DecodeOne(const std::filesystem::path& path, TPhotoKind kind, bool scrambled, int scaleDenom,
               TPreviewDecode& r) {
  std::vector<uint8_t> bytes;
  try {
    bytes = ReadBytes(path, kPreviewMaxSize, scrambled);
    r.Opened = true;
  } catch (const std::exception&) {
    return;  // unreadable file: no thumbnail
  }
  if (kind == TPhotoKind::Heif) {
    r.Picture = DecodeHeifThumbnail(bytes.data(), bytes.size());
    r.HeaderOk = r.Picture.Status != TJpegDecodeStatus::Corrupt;
    r.Header = {r.Picture.Width, r.Picture.Height, 3};
    return;
  }
  const uint8_t* jpeg = bytes.data();
  size_t length = bytes.size();
  if (kind == TPhotoKind::Raw) {
    const std::optional<TEmbeddedJpeg> preview = LargestPreview(bytes.data(), bytes.size());
    if (!preview) return;
    jpeg += preview->Offset;
    length = preview->Length;
  }
  r.HeaderOk = ReadJpegHeader(jpeg, length, &r.Header);
  if (r.HeaderOk) r.Picture = DecodeJpeg(jpeg, length, scaleDenom);
}

}  // namespace

TPhotoKind PhotoKindOf(std::string_view type) {
  const TFileTypeDescriptor* descriptor = FileTypeOf(type);
  return descriptor != nullptr ? descriptor->Photo : TPhotoKind::None;
}

std::vector<TPreviewDecode> DecodePhotoPreviews(const std::vector<std::filesystem::path>& paths,
                                                const std::vector<std::string>& types, bool scrambled,
                                                int scaleDenom, unsigned maxThreads) {
  std::vector<TPreviewDecode> results(paths.size());
  std::atomic<size_t> next{0};
  auto work = [&] {
    for (size_t i = next++; i < paths.size(); i = next++) {
      const TPhotoKind kind = i < types.size() ? PhotoKindOf(types[i]) : TPhotoKind::Jpeg;
      DecodeOne(paths[i], kind, scrambled, scaleDenom, results[i]);
    }
  };
  const size_t threads = std::min<size_t>(std::max(1u, maxThreads), paths.size());
  std::vector<std::thread> helpers;
  for (size_t t = 1; t < threads; ++t) helpers.emplace_back(work);
  work();
  for (std::thread& t : helpers) t.join();
  return results;
}

std::string GetRawPhotoSummary(const std::filesystem::path& file, std::string_view type, bool encoded) {
  try {
    const TPhotoKind kind = PhotoKindOf(type);
    if (kind != TPhotoKind::Raw && kind != TPhotoKind::Heif) return "N/A";
    // A HEIF photo's items are placed anywhere: libheif wants the whole file.
    const std::vector<uint8_t> bytes =
        ReadBytes(file, kind == TPhotoKind::Heif ? kPreviewMaxSize : kRawSummaryBytes, encoded);
    TPhotoFacts facts;
    const bool read = kind == TPhotoKind::Heif ? ReadHeifFacts(bytes.data(), bytes.size(), &facts)
                                               : ReadRawFacts(bytes.data(), bytes.size(), &facts);
    if (!read) return "N/A";
    return FormatPhotoSummary(facts.DateTime, facts.Model, facts.Width > 0 ? std::to_string(facts.Width) : "",
                              facts.Height > 0 ? std::to_string(facts.Height) : "");
  } catch (...) {
    return "N/A";
  }
}

}  // namespace snapsalvager
