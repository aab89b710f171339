// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// Untrusted names (from directory entries, any bytes or UTF-16 units) made into a relative
// path that stays inside the destination folder on Linux and on Windows: no absolute path,
// no "..", no empty part, no device name, no control character, valid UTF-8, each part at
// most kMaxComponentBytes bytes.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace snapsalvager::filesystems {

constexpr size_t kMaxComponentBytes = 240;  // below every file system's 255, leaving room for " (2)"
constexpr size_t kMaxPathComponents = 32;
// What a name made only of characters that cannot be kept becomes.
constexpr const char* kEmptyNameStandIn = "_";

// One path component from bytes read as UTF-8 (invalid sequences become U+FFFD).
std::string SafeComponent(std::string_view name);
// One path component from UTF-16 units (lone surrogates become U+FFFD).
std::string SafeComponent(std::u16string_view name);

// folders (root first) and the file name joined into a relative path; folders beyond
// kMaxPathComponents are dropped from the deep end.
std::filesystem::path SafeRelativePath(const std::vector<std::string>& folders, std::string_view name);

// The UTF-8 text of a safe path as a std::filesystem::path on every platform.
std::filesystem::path PathFromUtf8(std::string_view utf8);

}  // namespace snapsalvager::filesystems
