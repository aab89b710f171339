// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// Untrusted text to valid UTF-8: UTF-16 units (lone surrogates become U+FFFD) and bytes
// (invalid UTF-8 becomes U+FFFD), and UTF-8 decoded to code points.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace snapsalvager::filesystems {

constexpr char32_t kReplacement = 0xFFFD;

std::string Utf8FromUtf16(std::u16string_view units);
// Code points of bytes read as UTF-8; every invalid, overlong or surrogate sequence gives
// one U+FFFD per offending byte.
std::u32string DecodeUtf8(std::string_view bytes);
void AppendUtf8(std::string& out, char32_t c);
std::string EncodeUtf8(std::u32string_view text);

}  // namespace snapsalvager::filesystems
