// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// The DFXML report parses with python's XML reader, its byte runs give back every file from
// the card image, and hostile names arrive escaped.
#include "filesystems/DfxmlReport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>

#include "CardReading.h"
#include "filesystems/FatTable.h"
#include "filesystems/OriginalNames.h"
#include "fixtures/FatCards.h"

namespace snapsalvager::filesystems {
namespace {

namespace fs = std::filesystem;

void Write(const fs::path& path, const void* data, size_t size) {
  std::ofstream(path, std::ios::binary).write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
}

TEST(DfxmlReport, EscapesWhatXmlCannotHold) {
  EXPECT_EQ(XmlEscaped("a<b>&\"c'"), "a&lt;b&gt;&amp;&quot;c&apos;");
  EXPECT_EQ(XmlEscaped("\x01x\x1F\t"), "\xEF\xBF\xBDx\xEF\xBF\xBD\t");
  EXPECT_EQ(XmlEscaped("\xFF\xEF\xBF\xBE"), "\xEF\xBF\xBD\xEF\xBF\xBD");  // invalid, then U+FFFE
  EXPECT_EQ(XmlEscaped("Москва \xF0\x9F\x98\x80"), "Москва \xF0\x9F\x98\x80");
}

TEST(DfxmlReport, ByteRunsGiveBackEveryFileFromTheCard) {
  if (std::system("command -v python3 >/dev/null 2>&1") != 0) GTEST_SKIP() << "python3 is not installed";
  fixtures::FatCard card({.Kind = fixtures::FatCardKind::Fat32});
  const std::vector<std::string> names = {"DCIM/100CANON/<b>&amp;\"quoted\" 'x'.jpg",
                                          "DCIM/100CANON/MVI_0002.MOV", "DCIM/100CANON/\x01\x02.JPG"};
  std::vector<std::vector<uint8_t>> contents;
  for (size_t i = 0; i < names.size(); ++i) {
    std::vector<uint8_t> bytes(1500 + 1000 * i);
    for (size_t k = 0; k < bytes.size(); ++k) bytes[k] = static_cast<uint8_t>(k * (i + 3));
    fixtures::FileOptions o;
    o.Fragmented = i == 1;
    card.AddFile(names[i], bytes, o);
    contents.push_back(bytes);
  }
  const auto image = card.Image();
  const auto read = testing::ReadCard(image);
  ASSERT_TRUE(read.Volume);
  const Geometry& g = *read.Volume;
  const FatTable fat(g.Kind, std::span(image).subspan(g.FatOffset, g.FatBytes), g.ClusterCount);

  // As the save will: each found file at its start, its runs from the chain of its entry.
  std::vector<FoundStart> found;
  for (size_t i = 0; i < names.size(); ++i) found.push_back({card.StartOffset(names[i]) / 512, contents[i].size(), i == 1 ? "MOV" : "JPG"});
  const auto match = MatchOriginalNames(found, read.Entries, LayoutOf(g));
  std::vector<ReportedFile> files;
  for (size_t i = 0; i < names.size(); ++i) {
    ASSERT_TRUE(match[i]) << names[i];
    const NamedEntry& e = read.Entries[*match[i]];
    ReportedFile f;
    f.Filename = "saved/" + e.Entry.Name;
    f.Size = e.Entry.Size;
    f.Type = found[i].Ext;
    f.Original = &e;
    uint64_t at = 0;
    for (uint32_t c : fat.Follow(e.Entry.FirstCluster, 100).Clusters) {
      const uint64_t length = std::min<uint64_t>(g.ClusterBytes(), f.Size - at);
      f.Runs.push_back({at, *g.ClusterOffset(c), length});
      at += length;
    }
    files.push_back(f);
  }
  const std::string xml = DfxmlReport({"/dev/sdz", image.size(), 512, "6.10", ""}, files);

  const fs::path dir = fs::temp_directory_path() / ("dfxml-" + std::to_string(std::random_device{}()));
  fs::create_directories(dir / "expected");
  Write(dir / "report.xml", xml.data(), xml.size());
  Write(dir / "card.img", image.data(), image.size());
  for (size_t i = 0; i < contents.size(); ++i) Write(dir / "expected" / std::to_string(i), contents[i].data(), contents[i].size());
  FILE* out = popen(("python3 " CHECK_DFXML_SCRIPT " '" + dir.string() + "' 2>&1").c_str(), "r");
  ASSERT_NE(out, nullptr);
  std::string printed;
  char buffer[512];
  while (size_t n = fread(buffer, 1, sizeof buffer, out)) printed.append(buffer, n);
  const int status = pclose(out);
  fs::remove_all(dir);
  ASSERT_EQ(status, 0) << printed;
  EXPECT_EQ(printed,
            "DCIM/100CANON/<b>&amp;\"quoted\" 'x'.jpg|2021-06-10T09:41:20\n"
            "DCIM/100CANON/MVI_0002.MOV|2021-06-10T09:41:20\n"
            "DCIM/100CANON/\xEF\xBF\xBD\xEF\xBF\xBD.JPG|2021-06-10T09:41:20\n");
}

}  // namespace
}  // namespace snapsalvager::filesystems
