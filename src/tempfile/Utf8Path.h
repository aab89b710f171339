// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// Paths as text. Every path this program holds as a std::string (the command line, a
// destination folder, a row) is UTF-8. On Windows a std::filesystem::path made from a
// std::string is read in the C library's narrow code page instead, which turns "照片" into
// other names; PathFromUtf8 reads it as UTF-8 there. On Linux both are the bytes as they are.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace snapsalvager {

inline std::filesystem::path PathFromUtf8(std::string_view text) {
#ifdef _WIN32
  return std::filesystem::path(std::u8string_view(reinterpret_cast<const char8_t*>(text.data()), text.size()));
#else
  return std::filesystem::path(text);
#endif
}

// The inverse of PathFromUtf8. (path.string() gives the same on both systems with this
// library; the tests hold it to that, so messages may go on using it.)
inline std::string Utf8Of(const std::filesystem::path& path) {
#ifdef _WIN32
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
#else
  return path.string();
#endif
}

}  // namespace snapsalvager
