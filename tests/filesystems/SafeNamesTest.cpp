// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// Hostile names from directory entries never leave the destination folder.
#include "filesystems/SafeNames.h"

#include <gtest/gtest.h>

#include "filesystems/Text.h"
#include "fixtures/HostileNames.h"

namespace snapsalvager::filesystems {
namespace {

std::string Utf8(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

// Properties every safe component has, whatever came in.
void ExpectSafe(const std::string& c) {
  EXPECT_FALSE(c.empty());
  EXPECT_NE(c, ".");
  EXPECT_NE(c, "..");
  EXPECT_LE(c.size(), kMaxComponentBytes);
  EXPECT_EQ(EncodeUtf8(DecodeUtf8(c)), c) << "not valid UTF-8";
  for (char32_t ch : DecodeUtf8(c)) {
    EXPECT_TRUE(ch >= 0x20 && ch != 0x7F && ch != '/' && ch != '\\' && ch != ':') << static_cast<uint32_t>(ch);
  }
  EXPECT_NE(c.back(), '.');
  EXPECT_NE(c.back(), ' ');
}

TEST(SafeNames, HostileNamesBecomeOneHarmlessComponent) {
  for (const auto& c : fixtures::kHostileNames) {
    SCOPED_TRACE(c.In);
    const std::string out = SafeComponent(c.In);
    EXPECT_EQ(out, c.Out);
    ExpectSafe(out);
  }
}

TEST(SafeNames, Utf16NamesLoseOnlyTheirBrokenUnits) {
  EXPECT_EQ(SafeComponent(std::u16string(u"\xD83D\xDE00 party.jpg")), "\xF0\x9F\x98\x80 party.jpg");
  EXPECT_EQ(SafeComponent(std::u16string(u"\xD83Dx.jpg")), "\xEF\xBF\xBDx.jpg");   // lone high
  EXPECT_EQ(SafeComponent(std::u16string(u"\xDE00.jpg")), "\xEF\xBF\xBD.jpg");     // lone low
  EXPECT_EQ(SafeComponent(std::u16string(u"\u5317\u4EAC.JPG")), "\xE5\x8C\x97\xE4\xBA\xAC.JPG");
  EXPECT_EQ(SafeComponent(std::u16string(u"a\0b", 3)), "a_b");
}

TEST(SafeNames, LongNamesAreCutAtACharacterAndKeepTheirExtension) {
  // 255 UTF-16 units, the longest a FAT or exFAT name holds, in two- and three-byte scripts.
  for (char16_t unit : {u'\u00E9', u'\u5317', u'a'}) {
    std::u16string name(251, unit);
    name += u".jpg";
    const std::string out = SafeComponent(name);
    SCOPED_TRACE(out);
    ExpectSafe(out);
    EXPECT_TRUE(out.ends_with(".jpg"));
  }
  const std::string out = SafeComponent(std::string(300, 'x') + "." + std::string(40, 'y'));
  ExpectSafe(out);
  EXPECT_EQ(out.size(), kMaxComponentBytes);  // an extension that long is not one
}

TEST(SafeNames, PathsStayInsideTheDestination) {
  const std::filesystem::path destination = "/media/out";
  const std::vector<std::vector<std::string>> folders = {
      {"DCIM", "100CANON"}, {"..", "..", ".."}, {"/", "etc"}, {"", "."}, {"C:", "\\\\server\\share"},
      std::vector<std::string>(100, ".."),
  };
  for (const auto& f : folders) {
    for (const std::string name : {"IMG_0001.JPG", "..", "/etc/passwd", ""}) {
      const auto path = SafeRelativePath(f, name);
      SCOPED_TRACE(path.string());
      EXPECT_TRUE(path.is_relative());
      EXPECT_FALSE(path.has_root_name());
      EXPECT_LE(std::distance(path.begin(), path.end()), static_cast<long>(kMaxPathComponents + 1));
      for (const auto& part : path) {
        ExpectSafe(Utf8(part));
      }
      const auto joined = (destination / path).lexically_normal();
      EXPECT_EQ(joined.generic_string().rfind(destination.generic_string() + "/", 0), 0u);
    }
  }
  EXPECT_EQ(SafeRelativePath({"DCIM", "100CANON"}, "IMG_0001.JPG"), std::filesystem::path("DCIM/100CANON/IMG_0001.JPG"));
}

}  // namespace
}  // namespace snapsalvager::filesystems
