// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// The carving loop's decisions, sector by sector: where a file starts, what of each sector
// it holds, where it ends. The carver owns the open file's state and what carving found on
// the way (file starts, runs a structure accounted for, breaks of photos); it knows no
// journal, no thread and no file system: the files go to a TCarverOutput.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "carving/CarvingRules.h"
#include "carving/SplitPhotos.h"

namespace snapsalvager {

// Where the carver's files and findings go, in the order they happen.
class TCarverOutput {
 public:
  virtual ~TCarverOutput() = default;
  // A file of type starts: the next writes go to it.
  virtual void OpenFile(const std::string& type) = 0;
  virtual void Write(const uint8_t* bytes, uint32_t size) = 0;
  // The open file ends at length bytes (fewer than were written).
  virtual void Truncate(uint64_t length) = 0;
  // The open file is done; it is listed as type. Also called when no file is open.
  virtual void CloseFile(const std::string& type) = 0;
  // Findings, as they are made: a file started at a card sector (only with a rule that
  // joins split photos), a run a structure accounted for, a photo that broke off.
  virtual void FileStarted(uint64_t /*cardSector*/) {}
  virtual void Claimed(const TClaimedRun& /*run*/) {}
  virtual void Broke(const TPhotoBreak& /*brk*/) {}
  // The open file's own structure placed its end: told just before its CloseFile.
  virtual void EndPlaced() {}
};

// What carving found, for the join pass after the read and for a journal to go on from.
struct TCarvingFindings {
  std::vector<TPhotoBreak> Breaks;
  std::vector<TClaimedRun> Claimed;
  std::vector<uint64_t> FileStarts;
};

// The open file as a journal point records it.
struct TCarverState {
  std::string CurrentType;
  bool FileStarted = false;
  std::string RuleState;
  uint64_t FilePos = 0;
  uint64_t FileFirst = 0;
};

class TCarver {
 public:
  // Reads sector (an index in the range) again into out (sector size bytes); false when
  // it cannot be read (it is then carved as zeros).
  using TReadAgain = std::function<bool(uint64_t sector, uint8_t* out)>;

  // The range is total sectors from card sector base. stopRequested is read once per
  // sector: a stop ends the open file at the batch end and starts no new file.
  TCarver(std::unique_ptr<TCarvingRule> rule, uint32_t sectorSize, uint64_t base, uint64_t total,
          TCarverOutput& output, TReadAgain readAgain, std::function<bool()> stopRequested);

  // Carves sector p of the range (batchEnd: the last of its batch). The sector is read,
  // never changed.
  void Carve(const uint8_t* sector, uint64_t p, bool batchEnd);
  // Ends the open file where its data stops (the scan stops between batches, the card is
  // gone); the output's CloseFile is called also when none is open.
  void CloseOpenFile();
  // False once a stop request ended the carving.
  bool KeepGoing() const { return keepGoing_; }
  void StopCarving() { keepGoing_ = false; }
  bool FileOpen() const { return open_; }
  // The card sector where the open file (or, once it closed, the last one) began.
  uint64_t FileFirstSector() const { return base_ + fileFirst_; }
  // Where a journal may take the state: after any sector that leaves no file open (the
  // structure rule's, whose checks then hold nothing), or at batch ends, open file and all
  // (the header rule's).
  bool StateBetweenFilesOnly() const { return rule_->StateBetweenFilesOnly(); }

  TCarverState State() const;
  // Goes on from a journal's point: false when its rule state does not fit this rule.
  bool Restore(const TCarverState& state, bool fileOpen, TCarvingFindings findings);

  const TCarvingFindings& Findings() const { return findings_; }
  TCarvingFindings TakeFindings() { return std::move(findings_); }

 private:
  void StartFile(uint64_t p);
  void StartLate(const TLateStart& late, const uint8_t* sector, uint64_t p);
  void WriteWhole(const uint8_t* sector);
  void EndExactly(const uint8_t* sector, const TFileEnd& end);
  void EndOpenFile(const TFileEnd& end);

  std::unique_ptr<TCarvingRule> rule_;
  const uint32_t sectorSize_;
  const uint64_t base_;
  const uint64_t total_;
  TCarverOutput& output_;
  TReadAgain readAgain_;
  std::function<bool()> stopRequested_;

  bool open_ = false;
  uint64_t filePos_ = 0;    // bytes carved into the open file
  uint64_t fileFirst_ = 0;  // the open file's first sector in the range
  bool replaying_ = false;  // carving sectors again after a late start
  std::string currentType_;
  bool fileStarted_ = false;  // a header was seen: from now on some file is always open
  bool keepGoing_ = true;
  TCarvingFindings findings_;
};

}  // namespace snapsalvager
