// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// The photo summary: a few EXIF values picked by name and put in one line.
#include "metadata/PhotoSummary.h"

#include <strings.h>

#include <cstdio>
#include <ctime>
#include <exception>
#include <string_view>
#include <vector>

#include "formats/FileTypes.h"
#include "metadata/ExifReader.h"
#include "metadata/PhotoPreview.h"

namespace snapsalvager {

namespace {

constexpr size_t kMaxSummaryBytes = 210;

std::string Trim(std::string_view text) {
  size_t begin = 0, end = text.size();
  while (begin < end && static_cast<unsigned char>(text[begin]) <= 32) ++begin;
  while (end > begin && static_cast<unsigned char>(text[end - 1]) <= 32) --end;
  return std::string(text.substr(begin, end - begin));
}

// The trimmed value of the first line named name (any case), or "".
std::string Value(const std::vector<std::string>& lines, std::string_view name) {
  for (const std::string& line : lines) {
    const size_t eq = line.find('=');
    if (eq == std::string::npos || eq != name.size()) continue;
    if (strncasecmp(line.data(), name.data(), eq) == 0) return Trim(line.substr(eq + 1));
  }
  return {};
}

// "yyyy:mm:dd hh:mm:ss" -> "mm/dd/yyyy hh:mm:ss"; the 11th character is dropped whatever it is.
std::string ShootTime(const std::string& dateTime) {
  if (dateTime.size() <= 12) return "Unknown";
  std::string date = dateTime.substr(0, 10);
  for (char& c : date) {
    if (c == ':') c = '-';
  }
  return date.substr(5, 2) + "/" + date.substr(8, 2) + "/" + date.substr(0, 4) + " " +
         dateTime.substr(11);
}

}  // namespace

std::string GetPhotoSummary(const std::filesystem::path& file, bool encoded) {
  std::vector<std::string> lines;
  try {
    if (!ReadExifTags(file, lines, encoded)) return "N/A";
  } catch (...) {
    return "N/A";  // the summary is optional: any failure of the reader just means no text
  }
  return FormatPhotoSummary(Value(lines, "DateTime"), Value(lines, "Model"), Value(lines, "PixelXDimension"),
                            Value(lines, "PixelYDimension"));
}

std::string FormatPhotoSummary(const std::string& dateTime, std::string model, std::string width,
                               std::string height) {
  if (model.empty()) model = "Unknown";
  if (width.empty()) width = "?";
  if (height.empty()) height = "?";
  std::string summary = "Shoot Time: " + ShootTime(dateTime) + "|Model: " + StripControlChars(model) +
                        "|Image Size: " + width + "x" + height;
  if (summary.size() > kMaxSummaryBytes) summary.resize(kMaxSummaryBytes);
  return summary;
}

std::string GetPhotoSummary(const std::filesystem::path& tempFile) {
  return GetPhotoSummary(tempFile, true);
}

std::string DescribeFoundFile(const std::filesystem::path& tempFile, const std::string& type) {
  // Only the photo types a deep scan names get a summary of their own tags: the rows of the
  // table's older raw types stay as they always were.
  const TFileTypeDescriptor* descriptor = FileTypeOf(type);
  const TSummaryKind kind = descriptor != nullptr ? descriptor->Summary : TSummaryKind::None;
  if (kind == TSummaryKind::Exif) return GetPhotoSummary(tempFile);
  if (kind == TSummaryKind::OwnTags) return GetRawPhotoSummary(tempFile, type, true);
  return "N/A";
}

std::optional<int64_t> PhotoTakenTime(const std::filesystem::path& file, const std::string& type) {
  const TFileTypeDescriptor* descriptor = FileTypeOf(type);
  if (descriptor == nullptr || descriptor->Summary != TSummaryKind::Exif) return std::nullopt;
  std::vector<std::string> lines;
  try {
    ReadExifTags(file, lines, false);
  } catch (const std::exception&) {
    return std::nullopt;
  }
  constexpr std::string_view kKey = "DateTimeOriginal=";
  for (const std::string& line : lines) {
    if (line.compare(0, kKey.size(), kKey) != 0) continue;
    std::tm taken{};
    char tail = 0;
    // "yyyy:mm:dd hh:mm:ss"; anything else (blanks, "0000:00:00 ...") dates nothing.
    if (std::sscanf(line.c_str() + kKey.size(), "%4d:%2d:%2d %2d:%2d:%2d%c", &taken.tm_year, &taken.tm_mon,
                    &taken.tm_mday, &taken.tm_hour, &taken.tm_min, &taken.tm_sec, &tail) < 6)
      return std::nullopt;
    if (taken.tm_year < 1970 || taken.tm_mon < 1 || taken.tm_mon > 12 || taken.tm_mday < 1 || taken.tm_mday > 31 ||
        taken.tm_hour > 23 || taken.tm_min > 59 || taken.tm_sec > 60)
      return std::nullopt;
    taken.tm_year -= 1900;
    taken.tm_mon -= 1;
    taken.tm_isdst = -1;
    const std::time_t t = std::mktime(&taken);
    if (t == static_cast<std::time_t>(-1)) return std::nullopt;
    return static_cast<int64_t>(t);
  }
  return std::nullopt;
}

}  // namespace snapsalvager
