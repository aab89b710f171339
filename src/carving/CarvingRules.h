// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// Where a carved file starts and where it ends, as the scan's carving loop asks sector by
// sector. The header rule is the plain scan: a file runs from its header to the next one.
// The structure rule is the deep scan: it follows each file's structure to its real end and
// falls back to the header rule wherever the structure cannot tell.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "carving/Signatures.h"
#include "carving/StructureChecks/StructureCheck.h"

namespace snapsalvager {

// A header met inside the open file and first taken as part of it, which starts a file of
// its own after all: the sectors from Cut (a sector boundary) on are carved again, that
// header's sector starting a file of Type. The open file ends at Cut, or with Kept at Keep:
// its own structure ends it there, and the header's file may overlap it (a photo over a
// clip's media data that no index of the clip names).
struct TLateStart {
  uint64_t Cut = 0;
  bool Kept = false;
  uint64_t Keep = 0;
  std::string Type;
};

// One question about one sector, with what the carver knows of it.
struct TSectorQuestion {
  bool Open = false;        // a file is open,
  uint64_t FilePos = 0;     // this many bytes carved into it
  bool Replaying = false;   // the sector is carved again after a late start
  bool FileStarted = false; // a header was seen before
  std::string_view CurrentType;  // the open file's type (the next file's when a header names none)
  bool MayStart = false;    // a header here may start a file (no stop, not the range's end)
  bool LastSector = false;  // the range ends here, or the batch after a stop request
  uint64_t BytesLeft = 0;   // from this sector to the range's end
};

// How a file ends: at an exact byte its structure placed (in or before the sector asked
// about: the sector is the file's up to there), or else where its data stops; the length
// it keeps; where its photo data broke off, when it did.
struct TFileEnd {
  bool Exact = false;
  uint64_t ExactEnd = 0;
  uint64_t Length = 0;
  // The file's own structure placed its end (exactly, or where its data ran out); false
  // when it ends only because the next file starts or the range does.
  bool Placed = false;
  bool Broke = false;
  uint64_t BrokeAt = 0;
};

enum class TVerdictKind {
  Continue,     // the sector is the open file's (if one is open)
  EndHere,      // the open file ends with this sector (Ends)
  StartHere,    // a file of Type starts here; none was open
  EndAndStart,  // the open file ends before this sector (Ends), a file of Type starts here
  // A header inside the open file started a file of its own after all: the open file ends
  // at Late.Cut, and the sectors from there are carved again before the same sector is
  // asked about once more.
  EndedBefore,
};

struct TSectorVerdict {
  TVerdictKind Kind = TVerdictKind::Continue;
  bool Header = false;  // a header is here (it may start nothing: the range's end, a stop)
  std::string Type;     // the header's file type: the carving's current type from now on
  TFileEnd Ends;        // EndHere, EndAndStart
  // StartHere, EndAndStart: the started file's exact end already lies in this sector.
  bool StartedEnds = false;
  TFileEnd StartedEnd;
  TLateStart Late;  // EndedBefore
};

// The contract of every rule: deep never loses what the header rule finds. A sector where
// the header rule starts a file (TSignatureRecogniser::DetectFileHeader) starts a file here
// too, unless the open file's own structure names that offset as the start of one of its
// parts (TInside::Part: a sample, an index entry, a packet of its grid, a strip or preview
// of its IFDs, a box of its tree). A header the structure cannot name yet, its index coming
// after the data, is followed both ways: the open file runs on to its own end, and the
// header's sectors are carved again as a file of their own when it ends (EndedBefore with
// a Keep). And no file the rule ends by its structure stores fewer bytes than the header
// rule would while its data runs on: a size the data contradicts is not trusted to cut.
class TCarvingRule {
 public:
  TCarvingRule(const TRecogniserInputs& inputs, uint32_t sectorSize);
  virtual ~TCarvingRule() = default;
  TCarvingRule(const TCarvingRule&) = delete;
  TCarvingRule& operator=(const TCarvingRule&) = delete;

  // The one question of the carving loop for every sector, before its bytes are written.
  // After EndedBefore the carver carves the sectors again (Replaying) and asks once more
  // about the same sector; the answer then goes on where the first one stopped.
  TSectorVerdict Judge(const uint8_t* sector, const TSectorQuestion& question);
  // The open file's data stops without a sector (the scan stops between batches, the card
  // is gone): how it ends, carved bytes long.
  TFileEnd EndsNow(uint64_t carved);

  // Whether the rule follows structures far enough to find photos in two pieces: the carver
  // then records where files start, for the join pass's cluster geometry.
  virtual bool JoinsSplitPhotos() const { return false; }
  // Whether SaveState holds only between files (see below).
  virtual bool StateBetweenFilesOnly() const { return false; }

  // The state that carries from one sector to the next, as text, to go on after an
  // interruption: whole for the header rule at any sector; for the structure rule only
  // between files (no file open), where its open file's checks hold nothing.
  virtual std::string SaveState() const;
  // False when state is not one SaveState of this rule gave.
  virtual bool RestoreState(const std::string& state);

 protected:
  // The steps of the answer, in the order Judge takes them.
  // A header inside the open file, filePos bytes long, started a file before this sector.
  virtual bool StartedBefore(const uint8_t*, uint64_t, TLateStart&) { return false; }
  // Asked when a header or the range's end ends the open file: whether a header inside it
  // starts a file.
  virtual bool StartedBeforeEnd(TLateStart&) { return false; }
  // Asked when the open file's structure ended it in this sector at end: whether a header
  // inside it starts a file of its own after all.
  virtual bool StartedBeforeExactEnd(uint64_t, TLateStart&) { return false; }
  // Whether a file starts at this sector, and its type (empty: the header names none).
  // open: a file is open, filePos bytes carved into it.
  virtual bool StartsFile(const uint8_t* sector, bool open, uint64_t filePos, std::string& type);
  // After a late start, the header that brought it, with a file carved again open up to
  // this sector: whether it still starts a file.
  virtual bool StillStarts(const uint8_t*, uint64_t, const std::string&) { return true; }
  // A file of type begins with this sector; bytesLeft from it to the end of the range.
  virtual void FileStarts(const std::string&, const uint8_t*, uint64_t) {}
  // Whether the open file, filePos bytes long before this sector, ends in it or before it
  // (its exact end is known): then at end.
  virtual bool EndsIn(const uint8_t*, uint64_t, uint64_t&) { return false; }
  // The open file's data stops after carved bytes: the length the file has.
  virtual uint64_t DataEnds(uint64_t carved) { return carved; }
  // Asked after DataEnds: whether the file's entropy-coded data broke off, and the offset of
  // the sector where that was seen (a photo that may go on elsewhere on the card).
  virtual bool TakeBreak(uint64_t&) { return false; }
  // Asked after DataEnds: whether the file's structure placed that end.
  virtual bool EndPlaced() const { return false; }

  TSignatureRecogniser recogniser_;
  uint32_t sectorSize_;

 private:
  TFileEnd EndOf(uint64_t length);
  // Where an answer that ended before stopped: 0 none, 1 after the late start before the
  // header question, 2 after the one the header brought (its type kept).
  int resume_ = 0;
  bool resumeHeader_ = false;
  std::string resumeType_;
};

// The deep scan's rule: structure checks, the deep recognitions, and the header rule.
class TStructureRule final : public TCarvingRule {
 public:
  TStructureRule(const TRecogniserInputs& inputs, uint32_t sectorSize);

  bool JoinsSplitPhotos() const override { return true; }
  bool StateBetweenFilesOnly() const override { return true; }
  std::string SaveState() const override;
  bool RestoreState(const std::string& state) override;

 protected:
  bool StartedBefore(const uint8_t* sector, uint64_t filePos, TLateStart& start) override;
  bool StartedBeforeEnd(TLateStart& start) override;
  bool StartedBeforeExactEnd(uint64_t end, TLateStart& start) override;
  bool StartsFile(const uint8_t* sector, bool open, uint64_t filePos, std::string& type) override;
  bool StillStarts(const uint8_t* sector, uint64_t filePos, const std::string& type) override;
  void FileStarts(const std::string& type, const uint8_t* sector, uint64_t bytesLeft) override;
  bool EndsIn(const uint8_t* sector, uint64_t filePos, uint64_t& end) override;
  uint64_t DataEnds(uint64_t carved) override;
  bool TakeBreak(uint64_t& at) override;
  bool EndPlaced() const override { return placed_; }

 private:
  // Whether the header at this sector, inside the open file's extent, starts a file now
  // (true), is part of it (false), or waits one sector for its own structure to tell.
  bool StartsInside(const uint8_t* sector, uint64_t filePos, const std::string& type, bool plain);

  TRecogniserInputs inputs_;
  std::unique_ptr<TStructureCheck> check_;  // the open file's
  std::string openType_;
  bool plain_ = false;  // the header rule took the last header StartsFile found
  bool headerPlain_ = false;  // and the one that ended the open file before a late start
  uint64_t fileLimit_ = 0;                  // from the open file's start to the range's end
  bool LateStart(uint64_t at, const std::string& type, TLateStart& start);
  // The open file ends at end by its structure: whether a frame it holds starts a file.
  bool FrameOutlives(uint64_t end, TLateStart& start);
  // The header at the start of a part the open file's structure names and sizes is that
  // part only when its own file ends where the part ends; its own check follows it until
  // it tells. One that ends elsewhere (a photo written over a motion-JPEG frame) is a file
  // of its own, followed both ways as a frame is.
  void FollowPart(const uint8_t* sector);
  void PartIsAFile();
  // The open file's structure ended it at last: whether its index names every frame it
  // held as one of its samples; if not, the first it does not name is the frame to carve
  // again as a file of its own.
  bool FramesNamed(const TStructureCheck& check);
  void ForgetFrames();

  // A header inside the open file that waits for its second sector: its own check, where
  // it lies in the open file, and its type.
  std::unique_ptr<TStructureCheck> candidate_;
  uint64_t candidateAt_ = 0;
  std::string candidateType_;
  // The first header the open file holds as a frame of its kind (a JPEG in an mdat) that its
  // structure does not name: a file of its own, cutting the open file if its structure
  // breaks before it ends, overlapping its end otherwise.
  bool frame_ = false;
  uint64_t frameAt_ = 0;
  std::string frameType_;
  // The frames the open file holds unnamed, in order, with each one's own end once its
  // check placed it (0: not known): a movie whose index follows its data names them when
  // it ends.
  struct TFrameSeen {
    uint64_t At = 0;
    uint64_t End = 0;
    std::string Type;
  };
  static constexpr size_t kMaxFrames = 256;
  std::vector<TFrameSeen> frames_;
  bool framesOverflow_ = false;
  // The part under proof: its header's own check, where it starts and where the open
  // file's structure ends it (0: a frame's part, its end not known until the index is).
  std::unique_ptr<TStructureCheck> part_;
  uint64_t partAt_ = 0;
  uint64_t partEnd_ = 0;
  std::string partType_;
  // The open file just ended by its structure while holding a frame (asked once).
  bool outlived_ = false;
  // The type of the header the carving starts again with, after a late start.
  std::string restart_;
  // The sector before the current one as it was read (a packet stream that runs on is no
  // new file).
  std::vector<uint8_t> previous_;
  bool havePrevious_ = false;
  // The break of the file DataEnds last closed, and whether its structure placed its end.
  bool broke_ = false;
  bool placed_ = false;
  uint64_t breakAt_ = 0;
};

std::unique_ptr<TCarvingRule> MakeCarvingRule(bool deep, const TRecogniserInputs& inputs,
                                              uint32_t sectorSize);

}  // namespace snapsalvager
