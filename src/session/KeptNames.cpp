// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
#include "session/KeptNames.h"

#include <charconv>
#include <fstream>
#include <sstream>
#include <system_error>
#include <vector>

#include "filesystems/SafeNames.h"
#include "session/SaveFiles.h"
#include "tempfile/TempFileFormat.h"
#include "tempfile/Utf8Path.h"

namespace snapsalvager {
namespace {

namespace fs = std::filesystem;

constexpr char kFirstLine[] = "Snapsalvager kept names 1";
// Far above what a card's worth of names takes; a bigger file is not ours.
constexpr uintmax_t kMaxKeptNamesBytes = 64u << 20;

// A path part with the bytes that would break the line (and '%' itself) as %XX.
std::string Escaped(const std::string& part) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (const unsigned char c : part) {
    if (c < 0x20 || c == 0x7F || c == '%' || c == '/' || c == '\\') {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::string Unescaped(std::string_view part) {
  std::string out;
  for (size_t i = 0; i < part.size(); ++i) {
    if (part[i] == '%' && i + 2 < part.size() && HexValue(part[i + 1]) >= 0 && HexValue(part[i + 2]) >= 0) {
      out += static_cast<char>(HexValue(part[i + 1]) * 16 + HexValue(part[i + 2]));
      i += 2;
    } else {
      out += part[i];
    }
  }
  return out;
}

std::vector<std::string_view> Split(std::string_view text, char at) {
  std::vector<std::string_view> parts;
  for (size_t from = 0;;) {
    const size_t end = text.find(at, from);
    parts.push_back(text.substr(from, end == std::string_view::npos ? std::string_view::npos : end - from));
    if (end == std::string_view::npos) return parts;
    from = end + 1;
  }
}

template <typename T>
bool ParseNumber(std::string_view text, T& value) {
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() && end == text.data() + text.size() && !text.empty();
}

}  // namespace

bool KeepOriginalNames(const TFoundFileList& files, const fs::path& tempFolder) {
  std::ostringstream text;
  text << kFirstLine << '\n';
  size_t named = 0;
  for (size_t k = 0; k < files.Count(); ++k) {
    const TFoundFile& file = files[k];
    const fs::path original = OriginalPathOf(file);
    if (original.empty() || file.TempFile.empty()) continue;
    const std::optional<int64_t> time = EntryTime(file.Original->Entry.Modified);
    text << Utf8Of(file.TempFile.filename()) << '\t' << file.Size << '\t' << (time ? std::to_string(*time) : "-");
    char separator = '\t';
    for (const fs::path& part : original) {
      text << separator << Escaped(Utf8Of(part));
      separator = '/';
    }
    text << '\n';
    ++named;
  }
  const fs::path path = tempFolder / kKeptNamesFile;
  std::error_code ec;
  if (named == 0) {
    fs::remove(path, ec);
    return !ec;
  }
  // Whole or not at all: written beside, then put in place.
  const fs::path next = tempFolder / (std::string(kKeptNamesFile) + ".new");
  {
    std::ofstream out(next, std::ios::binary | std::ios::trunc);
    out << text.str();
    out.flush();
    if (!out) {
      out.close();
      fs::remove(next, ec);
      return false;
    }
  }
  fs::rename(next, path, ec);
  if (ec) fs::remove(next, ec);
  return !ec;
}

std::map<std::string, TKeptName> ReadKeptNames(const fs::path& folder) {
  std::map<std::string, TKeptName> names;
  const fs::path path = folder / kKeptNamesFile;
  std::error_code ec;
  if (!fs::is_regular_file(path, ec) || fs::file_size(path, ec) > kMaxKeptNamesBytes || ec) return names;
  std::ifstream in(path, std::ios::binary);
  std::string line;
  if (!std::getline(in, line) || line != kFirstLine) return names;
  while (std::getline(in, line)) {
    const std::vector<std::string_view> fields = Split(line, '\t');
    if (fields.size() != 4) continue;
    TKeptName kept;
    int64_t time = 0;
    if (!ParseNumber(fields[1], kept.Size) || kept.Size < 0) continue;
    if (fields[2] != "-") {
      if (!ParseNumber(fields[2], time)) continue;
      kept.Time = time;
    }
    std::vector<std::string> folders;
    for (const std::string_view part : Split(fields[3], '/')) folders.push_back(Unescaped(part));
    const std::string name = folders.back();
    folders.pop_back();
    kept.Path = filesystems::SafeRelativePath(folders, name);
    if (kept.Path.empty()) continue;
    names.emplace(std::string(fields[0]), std::move(kept));
  }
  return names;
}

std::optional<TKeptName> KeptNameOf(const std::map<std::string, TKeptName>& names, const fs::path& tempFile) {
  const auto found = names.find(Utf8Of(tempFile.filename()));
  if (found == names.end()) return std::nullopt;
  std::error_code ec;
  const uintmax_t size = fs::file_size(tempFile, ec);
  if (ec || size != static_cast<uintmax_t>(found->second.Size)) return std::nullopt;
  return found->second;
}

}  // namespace snapsalvager
