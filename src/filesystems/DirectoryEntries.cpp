// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
#include "filesystems/DirectoryEntries.h"

#include <array>
#include <cstdio>
#include <cstring>
#include <string>
#include <unordered_map>

#include "filesystems/Bytes.h"
#include "filesystems/Text.h"

namespace snapsalvager::filesystems {
namespace {

constexpr size_t kSlot = 32;
constexpr size_t kMaxLongNameParts = 20;  // 20 x 13 units hold the longest name, 255 units

bool ForbiddenInShortName(uint8_t c) {
  return c < 0x20 || c == 0x7F || std::strchr("\"*+,./:;<=>?[\\]|", c) != nullptr;
}

bool PlausibleShortName(std::span<const uint8_t> s) {
  const uint8_t attr = s[11];
  if ((attr & 0xC0) != 0 || s[0] == ' ') return false;
  if (std::memcmp(s.data(), ".          ", 11) == 0 || std::memcmp(s.data(), "..         ", 11) == 0) {
    return (attr & attributes::kDirectory) != 0;
  }
  for (size_t i = 0; i < 11; ++i) {
    if (i == 0 && (s[0] == 0xE5 || s[0] == 0x05)) continue;
    if (ForbiddenInShortName(s[i])) return false;
  }
  return true;
}

bool PlausibleLongNamePart(std::span<const uint8_t> s) {
  if (s[11] != attributes::kLongName || s[12] != 0 || U16(s, 26) != 0) return false;
  if (s[0] == 0xE5) return true;
  const uint8_t order = s[0] & 0x1F;
  return (s[0] & 0xA0) == 0 && order >= 1 && order <= kMaxLongNameParts;
}

// The 13 UTF-16 units of a long-name part.
void AppendLongNameUnits(std::span<const uint8_t> s, std::u16string& units) {
  static constexpr size_t kOffsets[13] = {1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30};
  for (size_t at : kOffsets) units += static_cast<char16_t>(U16(s, at));
}

std::string LongNameOf(const std::vector<std::span<const uint8_t>>& parts) {
  // Parts lie on the card last-part-first: the slot just before the 8.3 entry holds the start.
  std::u16string units;
  for (auto it = parts.rbegin(); it != parts.rend(); ++it) AppendLongNameUnits(*it, units);
  const size_t end = units.find(u'\0');
  if (end != std::u16string::npos) units.resize(end);
  while (!units.empty() && units.back() == 0xFFFF) units.pop_back();
  return Utf8FromUtf16(units);
}

std::string Trimmed(const uint8_t* bytes, size_t length, bool lower) {
  std::string text;
  for (size_t i = 0; i < length; ++i) {
    const uint8_t c = bytes[i];
    // Code-page characters are not guessed: the long name carries the true one when there is one.
    char ch = c >= 0x80 ? '_' : static_cast<char>(c);
    if (lower && ch >= 'A' && ch <= 'Z') ch = static_cast<char>(ch - 'A' + 'a');
    text += ch;
  }
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

}  // namespace

std::string Timestamp::Iso8601() const {
  if (!Valid()) return {};
  char text[48];
  int n = std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d", Year, Month, Day,
                        Hour, Minute, Second);
  if (Millisecond != 0) n += std::snprintf(text + n, sizeof text - n, ".%03d", Millisecond);
  if (UtcOffsetMinutes) {
    const int off = *UtcOffsetMinutes, a = off < 0 ? -off : off;
    std::snprintf(text + n, sizeof text - n, "%c%02d:%02d", off < 0 ? '-' : '+', a / 60, a % 60);
  }
  return text;
}

static Timestamp Checked(Timestamp t) {
  static constexpr int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (t.Month < 1 || t.Month > 12 || t.Day < 1 || t.Day > kDays[t.Month - 1] || t.Hour > 23 ||
      t.Minute > 59 || t.Second > 59) {
    return {};
  }
  return t;
}

Timestamp FatTimestamp(uint16_t date, uint16_t time, uint8_t tenMs) {
  if (date == 0) return {};
  Timestamp t;
  t.Year = 1980 + (date >> 9);
  t.Month = (date >> 5) & 0x0F;
  t.Day = date & 0x1F;
  t.Hour = time >> 11;
  t.Minute = (time >> 5) & 0x3F;
  t.Second = (time & 0x1F) * 2;
  if (tenMs < 200) {
    t.Second += tenMs / 100;
    t.Millisecond = (tenMs % 100) * 10;
  }
  return Checked(t);
}

Timestamp ExfatTimestamp(uint32_t stamp, uint8_t tenMs, uint8_t utcOffset) {
  Timestamp t = FatTimestamp(static_cast<uint16_t>(stamp >> 16), static_cast<uint16_t>(stamp), tenMs);
  if (t.Valid() && (utcOffset & 0x80) != 0) {
    const int quarters = (utcOffset & 0x40) ? static_cast<int>(utcOffset & 0x7F) - 128 : (utcOffset & 0x7F);
    t.UtcOffsetMinutes = quarters * 15;
  }
  return t;
}

uint8_t ShortNameChecksum(const uint8_t* name11) {
  uint8_t sum = 0;
  for (int i = 0; i < 11; ++i) sum = static_cast<uint8_t>(((sum & 1) << 7) + (sum >> 1) + name11[i]);
  return sum;
}

uint16_t ExfatSetChecksum(std::span<const uint8_t> set) {
  uint16_t sum = 0;
  for (size_t i = 0; i < set.size(); ++i) {
    if (i == 2 || i == 3) continue;
    sum = static_cast<uint16_t>(((sum & 1) ? 0x8000 : 0) + (sum >> 1) + set[i]);
  }
  return sum;
}

static char16_t Upcase(char16_t c) {
  if ((c >= u'a' && c <= u'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7) ||
      (c >= 0x3B1 && c <= 0x3CB && c != 0x3C2) || (c >= 0x430 && c <= 0x44F)) {
    return static_cast<char16_t>(c - 0x20);
  }
  if (c == 0xFF) return 0x178;
  if (c >= 0x450 && c <= 0x45F) return static_cast<char16_t>(c - 0x50);
  if (c >= 0xFF41 && c <= 0xFF5A) return static_cast<char16_t>(c - 0x20);  // full-width a-z
  if (c >= 0x100 && c <= 0x17F && c != 0x130 && c != 0x131 && c != 0x138 && c != 0x149 &&
      c != 0x17F) {
    // Latin Extended-A pairs capital, small: even-odd up to U+0137, odd-even from U+0139.
    const bool oddPairs = (c >= 0x139 && c <= 0x148) || c >= 0x179;
    if (oddPairs ? (c % 2 == 0) : (c % 2 == 1)) return static_cast<char16_t>(c - 1);
  }
  return c;
}

uint16_t ExfatNameHash(std::u16string_view name) {
  uint16_t hash = 0;
  for (char16_t unit : name) {
    const char16_t c = Upcase(unit);
    hash = static_cast<uint16_t>(((hash & 1) ? 0x8000 : 0) + (hash >> 1) + (c & 0xFF));
    hash = static_cast<uint16_t>(((hash & 1) ? 0x8000 : 0) + (hash >> 1) + (c >> 8));
  }
  return hash;
}

bool PlausibleFatSlot(std::span<const uint8_t> slot) {
  if (slot.size() < kSlot) return false;
  if (slot[0] == 0) return true;
  if (slot[11] == attributes::kLongName) return PlausibleLongNamePart(slot);
  return PlausibleShortName(slot);
}

bool PlausibleExfatSlot(std::span<const uint8_t> slot) {
  if (slot.size() < kSlot) return false;
  switch (slot[0] & 0x7F) {
    case 0x00:  // unused slot (0x00) or deleted entry whose type was 0x80 (end of folder)
    case 0x01: case 0x02: case 0x03: case 0x05: case 0x20: case 0x21: case 0x22:
    case 0x40: case 0x41: case 0x60: case 0x61:
      return true;
    default:
      return false;
  }
}

namespace {

// A deleted 8.3 name lost its first character. Cameras name a folder's files alike
// (IMG_0001.JPG, MVI_0002.MOV, DSCF0003.JPG): where every whole name of the folder with the
// same length, the same next three characters and the same extension starts with one
// character, the lost one was most likely that.
void GuessLostFirstCharacters(std::vector<DirEntry>& entries) {
  const auto key = [](const DirEntry& e) {
    const std::string& n = e.ShortName;
    const size_t dot = n.rfind('.');
    return std::to_string(n.size()) + (e.IsDirectory() ? "/" : ":") + n.substr(1, 3) + "|" +
           (dot == std::string::npos ? std::string() : n.substr(dot));
  };
  constexpr char kDisagree = 0;
  std::unordered_map<std::string, char> firsts;
  for (const DirEntry& e : entries) {
    if (!e.NameComplete || e.ShortName.size() < 5 || e.IsDot()) continue;
    const auto [it, inserted] = firsts.emplace(key(e), e.ShortName[0]);
    if (!inserted && it->second != e.ShortName[0]) it->second = kDisagree;
  }
  for (DirEntry& e : entries) {
    if (e.NameComplete || e.ShortName.size() < 5) continue;
    const auto it = firsts.find(key(e));
    if (it == firsts.end() || it->second == kDisagree) continue;
    e.ShortName[0] = it->second;
    if (!e.LongName) e.Name = e.ShortName;
  }
}

}  // namespace

std::vector<DirEntry> ReadFatEntries(std::span<const uint8_t> bytes) {
  std::vector<DirEntry> entries;
  std::vector<std::span<const uint8_t>> parts;  // the long-name run just before this slot
  const size_t slots = bytes.size() / kSlot;
  for (size_t i = 0; i < slots; ++i) {
    const auto s = bytes.subspan(i * kSlot, kSlot);
    if (s[0] == 0) {
      parts.clear();
      continue;
    }
    if (s[11] == attributes::kLongName) {
      if (!PlausibleLongNamePart(s)) {
        parts.clear();
      } else {
        const bool deleted = s[0] == 0xE5;
        // A new live name starts at its last part (0x40 flag); a run mixing live and deleted
        // parts, or parts of another checksum, belongs to no entry.
        if ((!deleted && (s[0] & 0x40)) || (!parts.empty() && (parts.back()[0] == 0xE5) != deleted) ||
            (!parts.empty() && parts.back()[13] != s[13])) {
          parts.clear();
        }
        parts.push_back(s);
        if (parts.size() > kMaxLongNameParts) parts.erase(parts.begin());
      }
      continue;
    }
    if (!PlausibleShortName(s)) {
      parts.clear();
      continue;
    }
    DirEntry e;
    e.Position = static_cast<uint32_t>(i * kSlot);
    e.Attributes = s[11];
    e.Deleted = s[0] == 0xE5;
    std::array<uint8_t, 11> name11;
    std::memcpy(name11.data(), s.data(), 11);
    if (s[0] == 0x05) name11[0] = 0xE5;  // a live name whose first byte really is 0xE5

    if (e.Deleted) {
      bool restored = false;
      if (!parts.empty() && parts.back()[0] == 0xE5) {
        // The checksum is a bijection of the first byte, so one byte value matches it.
        for (int b = 0x21; b < 0x100 && !restored; ++b) {
          name11[0] = static_cast<uint8_t>(b);
          restored = !ForbiddenInShortName(static_cast<uint8_t>(b)) && b != 0xE5 &&
                     ShortNameChecksum(name11.data()) == parts.back()[13];
        }
      }
      if (!restored) {
        name11[0] = static_cast<uint8_t>(kUnknownFirstChar);
        e.NameComplete = false;
        parts.clear();
      }
    } else if (!parts.empty()) {
      // Live parts must run N (with 0x40), N-1, ..., 1 and all carry this entry's checksum.
      const uint8_t sum = ShortNameChecksum(name11.data());
      bool ok = (parts.front()[0] & 0x40) && (parts.front()[0] & 0x1F) == parts.size();
      for (size_t k = 0; ok && k < parts.size(); ++k) {
        ok = (parts[k][0] & 0x1F) == parts.size() - k && parts[k][13] == sum;
      }
      if (!ok) parts.clear();
    }

    const uint8_t caseFlags = s[12];
    const bool label = (e.Attributes & attributes::kVolumeLabel) && !(e.Attributes & attributes::kDirectory);
    if (std::memcmp(name11.data(), ".          ", 11) == 0) {
      e.ShortName = ".";
    } else if (std::memcmp(name11.data(), "..         ", 11) == 0) {
      e.ShortName = "..";
    } else if (label) {
      e.ShortName = Trimmed(name11.data(), 11, false);
    } else {
      const std::string base = Trimmed(name11.data(), 8, caseFlags & 0x08);
      const std::string ext = Trimmed(name11.data() + 8, 3, caseFlags & 0x10);
      e.ShortName = ext.empty() ? base : base + "." + ext;
    }
    if (!parts.empty() && !label) {
      e.Name = LongNameOf(parts);
      e.LongName = !e.Name.empty();
    }
    if (!e.LongName) e.Name = e.ShortName;
    if (e.Name.empty()) {
      parts.clear();
      continue;
    }
    e.Created = FatTimestamp(U16(s, 16), U16(s, 14), s[13]);
    e.Accessed = FatTimestamp(U16(s, 18), 0);
    e.Modified = FatTimestamp(U16(s, 24), U16(s, 22));
    e.FirstCluster = (static_cast<uint32_t>(U16(s, 20)) << 16) | U16(s, 26);
    e.Size = e.DataLength = U32(s, 28);
    entries.push_back(std::move(e));
    parts.clear();
  }
  GuessLostFirstCharacters(entries);
  return entries;
}

std::vector<DirEntry> ReadExfatEntries(std::span<const uint8_t> bytes) {
  std::vector<DirEntry> entries;
  const size_t slots = bytes.size() / kSlot;
  std::array<uint8_t, 19 * kSlot> set;
  for (size_t i = 0; i < slots; ++i) {
    const auto s = bytes.subspan(i * kSlot, kSlot);
    if ((s[0] & 0x7F) != 0x05) continue;
    const bool live = (s[0] & 0x80) != 0;
    const size_t secondaries = s[1];
    if (secondaries < 2 || secondaries > 18 || i + secondaries >= slots) continue;
    const auto all = bytes.subspan(i * kSlot, (secondaries + 1) * kSlot);
    bool ok = (all[kSlot] & 0x7F) == 0x40;
    for (size_t k = 1; ok && k <= secondaries; ++k) {
      const uint8_t type = all[k * kSlot];
      ok = ((type & 0x80) != 0) == live && (k == 1 || (type & 0x7F) == 0x41 || (type & 0x60) == 0x60);
    }
    if (!ok) continue;
    std::memcpy(set.data(), all.data(), all.size());
    for (size_t k = 0; k <= secondaries; ++k) set[k * kSlot] |= 0x80;  // as it was when written
    if (ExfatSetChecksum(std::span(set.data(), all.size())) != U16(s, 2)) continue;

    const auto stream = all.subspan(kSlot, kSlot);
    const size_t nameLength = stream[3];
    std::u16string name;
    for (size_t k = 2; k <= secondaries && name.size() < nameLength; ++k) {
      const auto part = all.subspan(k * kSlot, kSlot);
      if ((part[0] & 0x7F) != 0x41) continue;
      for (size_t u = 0; u < 15 && name.size() < nameLength; ++u) {
        name += static_cast<char16_t>(U16(part, 2 + 2 * u));
      }
    }
    if (name.empty()) continue;
    DirEntry e;
    e.Exfat = true;
    e.Deleted = !live;
    e.LongName = true;
    e.Position = static_cast<uint32_t>(i * kSlot);
    e.Name = Utf8FromUtf16(name);
    e.NameHashOk = name.size() == nameLength && ExfatNameHash(name) == U16(stream, 4);
    e.Attributes = U16(s, 4);
    e.Contiguous = (stream[1] & 0x02) != 0;
    e.Size = U64(stream, 8);
    e.FirstCluster = U32(stream, 20);
    e.DataLength = U64(stream, 24);
    e.Created = ExfatTimestamp(U32(s, 8), s[20], s[22]);
    e.Modified = ExfatTimestamp(U32(s, 12), s[21], s[23]);
    e.Accessed = ExfatTimestamp(U32(s, 16), 0, s[24]);
    entries.push_back(std::move(e));
    i += secondaries;
  }
  return entries;
}

}  // namespace snapsalvager::filesystems
