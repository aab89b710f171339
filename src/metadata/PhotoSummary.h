// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// The one-line photo summary shown for a carved JPEG: shooting time, model, image size.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace snapsalvager {

// "Shoot Time: %s|Model: %s|Image Size: %sx%s" (at most 210 bytes), or "N/A" when the
// temporary file has no readable Exif block. Never throws.
std::string GetPhotoSummary(const std::filesystem::path& tempFile);
// The same for a plain file (encoded = false) or a temporary file (encoded = true).
std::string GetPhotoSummary(const std::filesystem::path& file, bool encoded);
// The summary line from its parts: the time as "yyyy:mm:dd hh:mm:ss", "Unknown" and "?"
// standing in for what is empty.
std::string FormatPhotoSummary(const std::string& dateTime, std::string model, std::string width,
                               std::string height);
// The properties text of a found file, as the scan lists it: the summary for a photo
// ("JPG", and the raw and HEIF types only a deep scan names), "N/A" for every other type.
std::string DescribeFoundFile(const std::filesystem::path& tempFile, const std::string& type);
// When a saved photo (a plain file of type "JPG" ...) was taken: its EXIF DateTimeOriginal as
// this machine's local time, in seconds since 1970; nothing for other types, or without one.
// Never throws.
std::optional<int64_t> PhotoTakenTime(const std::filesystem::path& file, const std::string& type);

}  // namespace snapsalvager
