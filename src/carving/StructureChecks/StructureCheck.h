// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// Streaming structure checks for deep scans: one check follows one carved file as its
// sectors are carved, in order, and tells where the file really ends. A check is made once
// per file, allocates nothing afterwards, reads only the bytes it was fed and bounds every
// size it meets by the bytes left on the card.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

namespace snapsalvager {

// Where a header found inside a file's known extent stands.
enum class TInside : uint8_t {
  No,    // outside the extent, or of a kind the file does not carry: it starts a file
  Part,   // at a place the file's structure accounts for (a frame at a chunk's payload)
  Frame,  // a frame or packet of a kind the file holds (a JPEG in an mdat), at no place
          // its structure names (yet): it and the file are both followed
  Maybe   // inside the extent, unaccounted for: the header's own structure decides
};

enum class TCheckVerdict : uint8_t {
  GoesOn,     // the structure holds so far and says the file continues
  EndsAt,     // the file ends at End() (which may lie before the last byte fed)
  CannotTell  // broken, or a form the check does not know: the carving rule decides
};

class TStructureCheck {
 public:
  // limit: the bytes from the file's first byte to the end of the scanned range; a size that
  // points past it is inconsistent.
  explicit TStructureCheck(uint64_t limit, uint64_t carriedTypes);
  virtual ~TStructureCheck() = default;
  TStructureCheck(const TStructureCheck&) = delete;
  TStructureCheck& operator=(const TStructureCheck&) = delete;

  // The file's next bytes, in order. Once the verdict is EndsAt or CannotTell it stays so
  // and later bytes are ignored.
  TCheckVerdict Feed(const uint8_t* data, size_t length);
  // The carved data stops here (a header starts the next file, or the range ended). A check
  // that can still place the end (a TIFF whose IFDs were all carved) may answer EndsAt.
  TCheckVerdict DataEnds();
  TCheckVerdict Verdict() const { return verdict_; }
  uint64_t End() const { return end_; }
  uint64_t Fed() const { return fed_; }

  // Whether a header of FileTypeTable row typeIndex, found at the start of a sector that
  // begins at file offset offset, lies inside this file's known extent and is of a kind the
  // file carries (a JPEG frame in a video, a preview in a raw file): then it starts no file.
  virtual bool Contains(uint64_t offset, int typeIndex, const uint8_t* sector) const;
  // Contains, told apart: a header the structure accounts for, or one that only lies inside
  // the extent (a newer file written over the middle of a deleted one looks the same).
  TInside Inside(uint64_t offset, int typeIndex, const uint8_t* sector) const;
  // Where the part of the file that starts at offset (one Inside named Part) ends by the
  // file's structure, when the structure gives its length: a header there whose own file
  // ends elsewhere was written over the part, not stored in it.
  virtual bool PartEnd(uint64_t, uint64_t&) const { return false; }
  // Split photos: whether the file's entropy-coded data broke off (foreign data, a stray
  // marker, or the data stopped inside it), and the offset of the sector where that was seen.
  virtual bool EntropyBreak(uint64_t&) const { return false; }

 protected:
  // Called when the Need bytes at At have been collected into Head.
  virtual void OnHead(const uint8_t* head) = 0;
  // Byte-wise mode (JPEG entropy-coded data): consume bytes from data at file offset fed_,
  // returning how many were used; leave it by calling Expect or an ending.
  virtual size_t Scan(const uint8_t* data, size_t length);
  virtual TCheckVerdict OnDataEnds() { return TCheckVerdict::CannotTell; }
  // Whether the file goes on and may hold this header (its kind, an Exif photo's rule).
  bool Carries(int typeIndex, const uint8_t* sector) const;
  // Whether a contained header is at a place the structure accounts for.
  virtual bool Accounts(uint64_t, int, const uint8_t*) const { return false; }

  // The file ends at end by a size it states, unless its own data runs on across that end:
  // the bytes bytes from windowAt (before end, at or after what was fed) go to RunsOn. A
  // size the data contradicts is not trusted to cut: the check cannot tell, and the carving
  // rule ends the file where the header rule does. Data that stops before the window is
  // whole leaves the stated end.
  void EndsUnlessRunsOn(uint64_t end, uint64_t windowAt, uint32_t bytes);
  // Whether the file's data runs on across end, which lies at offset inside window.
  virtual bool RunsOn(const uint8_t*, uint32_t, uint32_t) const { return false; }

  // The next unit header is at file offset at, need bytes long (need <= kMaxHead). It must
  // lie at or after the bytes already fed.
  void Expect(uint64_t at, uint32_t need);
  // More head bytes at the same position (need <= kMaxHead).
  void More(uint32_t need);
  void EndsAt(uint64_t end);
  // The file ends at end once that many bytes were fed.
  void EndsOnceFed(uint64_t end);
  void Broken() { verdict_ = TCheckVerdict::CannotTell; }
  void StartScanning() { scanning_ = true; progressed_ = true; }
  // Leaves byte-wise mode at a marker found at file offset at whose first n bytes (already
  // consumed) are bytes; need head bytes in all.
  void ResumeAt(uint64_t at, const uint8_t* bytes, uint32_t n, uint32_t need);
  void StopScanning() { scanning_ = false; }
  // A unit chain stopped at At with these head bytes: a clean end when they are all zero
  // (the slack of the last cluster), otherwise the file was cut or overwritten.
  void EndOfRun(const uint8_t* head, uint32_t n);

  static constexpr uint32_t kMaxHead = 512;
  uint64_t limit_;
  uint64_t carried_;
  uint64_t frameTypes_ = 0;  // the kinds of the file's own frames and packets
  uint64_t at_ = 0;
  uint32_t need_ = 0;
  uint64_t fed_ = 0;
  // Headers found exactly at At (a unit boundary) also belong to the file: set by checks of
  // packet streams, where the next unit continues the run.
  bool boundaryInside_ = false;
  // A JPEG with an Exif block is a camera's photo, never a frame of this video or audio
  // file: where one starts a sector, a newer photo overwrote the deleted clip.
  bool exifPhotosAreFiles_ = false;

 private:
  TCheckVerdict verdict_ = TCheckVerdict::GoesOn;
  uint64_t end_ = 0;
  uint64_t pendingEnd_ = 0;
  uint64_t statedEnd_ = 0;  // the end EndsUnlessRunsOn waits to confirm
  bool scanning_ = false;
  bool progressed_ = false;
  uint32_t have_ = 0;
  uint8_t head_[kMaxHead];
};

// The check for a file of this type whose first sector is first (sectorSize bytes), or
// null when the type has no check (the carving rule alone decides its end).
std::unique_ptr<TStructureCheck> MakeStructureCheck(std::string_view type, const uint8_t* first,
                                                    uint32_t sectorSize, uint64_t limit);

// Whether a header of this type whose first sector is first cannot start a file: its own
// first units are impossible (an ASF header object without File Properties or of an absurd
// size, a RIFF whose first chunk cannot be, an ISO file whose first box is implausible).
bool ImpossibleStart(std::string_view type, const uint8_t* first, uint32_t sectorSize);

}  // namespace snapsalvager
