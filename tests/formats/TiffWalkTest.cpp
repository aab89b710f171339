// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// The walker over hostile TIFF blocks: what it visits, what it passes over, that it ends.
#include "formats/TiffWalk.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <vector>

namespace snapsalvager {
namespace {

// A little-endian TIFF block built entry by entry.
struct TiffBuilder {
  std::vector<uint8_t> Bytes = {'I', 'I', 42, 0, 8, 0, 0, 0};

  void Put16(size_t at, uint32_t v) {
    if (Bytes.size() < at + 2) Bytes.resize(at + 2);
    Bytes[at] = static_cast<uint8_t>(v);
    Bytes[at + 1] = static_cast<uint8_t>(v >> 8);
  }
  void Put32(size_t at, uint32_t v) {
    Put16(at, v & 0xFFFF);
    Put16(at + 2, v >> 16);
  }
  struct Entry {
    uint32_t Tag, Type, Count, Value;
  };
  // An IFD at `at` with the entries and the pointer to the next IFD.
  void Ifd(size_t at, const std::vector<Entry>& entries, uint32_t next) {
    Put16(at, static_cast<uint32_t>(entries.size()));
    for (size_t e = 0; e < entries.size(); ++e) {
      const size_t p = at + 2 + 12 * e;
      Put16(p, entries[e].Tag);
      Put16(p + 2, entries[e].Type);
      Put32(p + 4, entries[e].Count);
      Put32(p + 8, entries[e].Value);
    }
    Put32(at + 2 + 12 * entries.size(), next);
  }
};

std::vector<uint32_t> VisitedTags(const std::vector<uint8_t>& bytes) {
  std::vector<uint32_t> tags;
  WalkTiffIfds(TTiffView(bytes.data(), bytes.size()), 1000,
               [&](const TTiffEntry& e, uint64_t) { tags.push_back(e.Tag); });
  return tags;
}

TEST(TiffWalkTest, ReadsEveryIfdOnceWhateverPointsAtIt) {
  TiffBuilder b;
  // IFD0 at 8 points at an Exif IFD at 100 and chains to itself; the Exif IFD points back.
  b.Ifd(8, {{0x110, 2, 4, 0x41424300}, {kTagExifIfd, 4, 1, 100}}, 8);
  b.Ifd(100, {{0x9003, 2, 4, 0}, {kTagExifIfd, 4, 1, 8}}, 100);
  EXPECT_EQ(VisitedTags(b.Bytes), (std::vector<uint32_t>{0x110, kTagExifIfd, 0x9003, kTagExifIfd}));
}

TEST(TiffWalkTest, PassesOverWhatDoesNotLieInTheBlock) {
  TiffBuilder b;
  b.Ifd(8, {{0x100, 3, 1, 640},
            {0x10F, 2, 20, 0xFFFFFFF0},  // a value far past the end
            {0x200, 0, 1, 0},             // a type TIFF does not define
            {0x201, 12, 0xFFFFFFFF, 16},  // a count whose bytes overflow 32 bits
            {0x101, 3, 1, 480}},
        0x7FFFFFFF);  // a next IFD past the end
  EXPECT_EQ(VisitedTags(b.Bytes), (std::vector<uint32_t>{0x100, 0x101}));

  TiffBuilder cut;
  cut.Ifd(8, {{0x100, 3, 1, 640}, {0x101, 3, 1, 480}}, 0);
  cut.Bytes.resize(cut.Bytes.size() - 5);  // the IFD's last entry and pointer cut off
  EXPECT_TRUE(VisitedTags(cut.Bytes).empty());

  std::vector<uint8_t> notTiff = {'X', 'X', 42, 0, 8, 0, 0, 0, 0, 0};
  EXPECT_TRUE(VisitedTags(notTiff).empty());
}

TEST(TiffWalkTest, AChainLongerThanTheCapEndsThere) {
  TiffBuilder b;
  const int ifds = TIfdTrail::kMaxIfds + 10;
  for (int i = 0; i < ifds; ++i) {
    const size_t at = 8 + 18 * static_cast<size_t>(i);
    b.Ifd(at, {{static_cast<uint32_t>(0x100 + i), 3, 1, 0}}, i + 1 < ifds ? static_cast<uint32_t>(at + 18) : 0);
  }
  EXPECT_EQ(VisitedTags(b.Bytes).size(), static_cast<size_t>(TIfdTrail::kMaxIfds));
}

TEST(TiffWalkTest, EntriesTellWhereTheirValuesLie) {
  TiffBuilder b;
  b.Ifd(8, {{0x10F, 2, 4, 0x44434241}, {0x110, 2, 5, 200}}, 0);
  const TTiffView t(b.Bytes.data(), b.Bytes.size());
  TTiffEntry inEntry, atOffset;
  ASSERT_TRUE(ReadTiffEntry(t, TiffEntryAt(8, 0), &inEntry));
  ASSERT_TRUE(ReadTiffEntry(t, TiffEntryAt(8, 1), &atOffset));
  EXPECT_EQ(inEntry.Value, TiffEntryAt(8, 0) + 8);
  EXPECT_EQ(atOffset.Value, 200u);
  EXPECT_EQ(atOffset.Bytes, 5u);
  const std::vector<uint8_t> bigEndian = {'M', 'M', 0, 42, 0, 0, 0, 8};
  EXPECT_EQ(TTiffView(bigEndian.data(), bigEndian.size()).FirstIfd(), 8u);
}

// The depth-first walk: tags in the order visited (a pointer's IFD nested at the pointer),
// a visit refusing type 12, and whether the walk of IFD0's chain held.
struct TreeWalked {
  bool Held;
  std::vector<uint32_t> Tags;
};

TreeWalked WalkTree(const std::vector<uint8_t>& bytes, uint64_t maxOffset = 0xFFFF, int64_t maxEntries = 100) {
  const TTiffView t(bytes.data(), bytes.size());
  TTiffTreeWalk walk(t, {maxOffset, 8, maxEntries});
  TreeWalked out{false, {}};
  std::function<bool(const TTiffEntry&, uint64_t, int)> visit = [&](const TTiffEntry& e, uint64_t, int depth) {
    if (e.Type == 12) return false;
    out.Tags.push_back(e.Tag);
    if (e.Tag == kTagExifIfd && !walk.Walk(e.Value, depth + 1, visit)) out.Tags.push_back(0xEEEE);
    return true;
  };
  out.Held = walk.Walk(t.FirstIfd(), 0, visit);
  return out;
}

TEST(TiffWalkTest, TheTreeWalkNestsPointedIfdsAndFailsWhereTheBlockDoesNotHold) {
  TiffBuilder nested;  // IFD0 -> Exif IFD at 100, chained to IFD1 at 200
  nested.Ifd(8, {{0x110, 3, 1, 0}, {kTagExifIfd, 4, 1, 100}, {0x112, 3, 1, 1}}, 200);
  nested.Ifd(100, {{0x9003, 3, 1, 0}}, 0);
  nested.Ifd(200, {{0x201, 4, 1, 0}}, 0);
  TiffBuilder loop;  // a chain back to itself, and an Exif pointer back to IFD0
  loop.Ifd(8, {{0x110, 3, 1, 0}, {kTagExifIfd, 4, 1, 8}}, 8);
  TiffBuilder refused;  // a DOUBLE the visit refuses: the entries before stay, the chain is not read
  refused.Ifd(8, {{0x110, 3, 1, 0}, {0x111, 12, 1, 0}, {0x112, 3, 1, 0}}, 200);
  refused.Ifd(200, {{0x201, 4, 1, 0}}, 0);
  TiffBuilder cut = nested;  // the block ends inside IFD0's second entry
  cut.Bytes.resize(8 + 2 + 12 + 6);
  TiffBuilder farNext;  // a next pointer past the offsets allowed
  farNext.Ifd(8, {{0x110, 3, 1, 0}}, 0x10000);
  TiffBuilder farSub;  // an Exif pointer past them: only that IFD fails
  farSub.Ifd(8, {{kTagExifIfd, 4, 1, 0x10000}, {0x110, 3, 1, 0}}, 0);

  const struct {
    const char* Name;
    const TiffBuilder& Block;
    TreeWalked Want;
  } cases[] = {
      {"nested", nested, {true, {0x110, kTagExifIfd, 0x9003, 0x112, 0x201}}},
      {"loop", loop, {false, {0x110, kTagExifIfd, 0xEEEE}}},
      {"refused", refused, {false, {0x110}}},
      {"cut", cut, {false, {0x110}}},
      {"far next", farNext, {false, {0x110}}},
      {"far sub-IFD", farSub, {true, {kTagExifIfd, 0xEEEE, 0x110}}},
  };
  for (const auto& c : cases) {
    const TreeWalked got = WalkTree(c.Block.Bytes);
    EXPECT_EQ(got.Held, c.Want.Held) << c.Name;
    EXPECT_EQ(got.Tags, c.Want.Tags) << c.Name;
  }
  // The entry budget spans the whole walk, sub-IFDs included: the fourth entry fails IFD0.
  EXPECT_EQ(WalkTree(nested.Bytes, 0xFFFF, 3).Tags, (std::vector<uint32_t>{0x110, kTagExifIfd, 0x9003}));
  EXPECT_FALSE(WalkTree(nested.Bytes, 0xFFFF, 3).Held);
}

}  // namespace
}  // namespace snapsalvager
