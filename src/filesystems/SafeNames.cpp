// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
#include "filesystems/SafeNames.h"

#include <algorithm>

#include "filesystems/Text.h"

namespace snapsalvager::filesystems {
namespace {

// Characters no Windows file name may hold, those that split paths, control characters, and
// the invisible ones that reorder or hide what a name shows.
bool Unsafe(char32_t c) {
  if (c < 0x20 || c == 0x7F || (c >= 0x80 && c < 0xA0)) return true;
  switch (c) {
    case '/': case '\\': case ':': case '*': case '?': case '"': case '<': case '>': case '|':
      return true;
  }
  return (c >= 0x200B && c <= 0x200F) || (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069) ||
         c == 0xFEFF || c == 0xFFFE || c == 0xFFFF;
}

char32_t Upper(char32_t c) { return c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c; }

// CON, PRN, AUX, NUL, COM0-9, LPT0-9 (digits also as superscripts ¹²³), with or without an
// extension: Windows opens the device instead of a file.
bool DeviceName(const std::u32string& name) {
  std::u32string stem = name.substr(0, name.find(U'.'));
  while (!stem.empty() && stem.back() == U' ') stem.pop_back();
  for (auto& c : stem) c = Upper(c);
  if (stem == U"CON" || stem == U"PRN" || stem == U"AUX" || stem == U"NUL" || stem == U"CONIN$" ||
      stem == U"CONOUT$") {
    return true;
  }
  if (stem.size() == 4 && (stem.starts_with(U"COM") || stem.starts_with(U"LPT"))) {
    const char32_t d = stem[3];
    return (d >= '0' && d <= '9') || d == 0xB9 || d == 0xB2 || d == 0xB3;
  }
  return false;
}

// Cuts text to at most limit UTF-8 bytes at a character boundary, keeping a short extension.
std::u32string Bounded(const std::u32string& text, size_t limit) {
  const auto bytes = [](const std::u32string& t) { return EncodeUtf8(t).size(); };
  if (bytes(text) <= limit) return text;
  std::u32string ext;
  const size_t dot = text.rfind(U'.');
  if (dot != std::u32string::npos && dot > 0 && text.size() - dot <= 16) ext = text.substr(dot);
  std::u32string stem = text.substr(0, text.size() - ext.size());
  const size_t room = limit - bytes(ext);
  size_t used = 0, keep = 0;
  for (; keep < stem.size(); ++keep) {
    const size_t b = EncodeUtf8(std::u32string_view(&stem[keep], 1)).size();
    if (used + b > room) break;
    used += b;
  }
  stem.resize(keep);
  return stem + ext;
}

std::string SafeFromCodePoints(std::u32string name) {
  for (auto& c : name) {
    if (Unsafe(c)) c = U'_';
  }
  // Windows drops trailing dots and spaces (so "a." and "a" collide, and "..." is "..");
  // leading spaces are trimmed as no camera writes them.
  while (!name.empty() && (name.back() == U'.' || name.back() == U' ')) name.pop_back();
  while (!name.empty() && name.front() == U' ') name.erase(name.begin());
  if (name.empty()) return kEmptyNameStandIn;
  if (DeviceName(name)) name.insert(name.begin(), U'_');
  name = Bounded(name, kMaxComponentBytes);
  while (!name.empty() && (name.back() == U'.' || name.back() == U' ')) name.pop_back();
  if (name.empty()) return kEmptyNameStandIn;
  return EncodeUtf8(name);
}

}  // namespace

std::string SafeComponent(std::string_view name) { return SafeFromCodePoints(DecodeUtf8(name)); }

std::string SafeComponent(std::u16string_view name) {
  return SafeFromCodePoints(DecodeUtf8(Utf8FromUtf16(name)));
}

std::filesystem::path PathFromUtf8(std::string_view utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

std::filesystem::path SafeRelativePath(const std::vector<std::string>& folders, std::string_view name) {
  std::filesystem::path path;
  const size_t keep = std::min(folders.size(), kMaxPathComponents);
  for (size_t i = 0; i < keep; ++i) path /= PathFromUtf8(SafeComponent(folders[i]));
  path /= PathFromUtf8(SafeComponent(name));
  return path;
}

}  // namespace snapsalvager::filesystems
