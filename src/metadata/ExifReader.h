// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// The EXIF reader: finds the Exif block in a photo's first APP1 segment and lists every IFD
// entry as one "name=value" line, in file order (IFD0, its sub-IFDs, then IFD1 and on).
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace snapsalvager {

// True when the Exif block was found and the walk of IFD0 and its chain succeeded; lines are
// appended in either case. encoded = true reads a temporary file, false a plain JPEG.
// Throws std::runtime_error when the file cannot be opened, and "Out of bounds" when the
// file ends before the Exif block.
bool ReadExifTags(const std::filesystem::path& fileName, std::vector<std::string>& list,
                  bool encoded = true);

// The tag's name in IFD group 0..3 (0 IFD0 chain, 1 Exif, 2 GPS, 3 Interoperability), or
// "Tag " and four upper-case hexadecimal digits.
std::string ExifTagName(uint8_t group, uint16_t tag);

// text without the bytes below 32.
std::string StripControlChars(const std::string& text);

}  // namespace snapsalvager
