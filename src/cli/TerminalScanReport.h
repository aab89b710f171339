// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// The scan page on a terminal: the found files as tab-separated rows on stdout, the counters
// of the read (and of the search for second pieces) on stderr, redrawn in place on a
// terminal, a line every few seconds in a log.
#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "session/RecoverySession.h"

namespace snapsalvager::cli {

// Message boxes become lines on stderr.
void ShowMessage(const std::string& text);

// The scan page on a terminal: rows on stdout, the counters on stderr.
class TCliScanEvents : public TRecoveryObserver {
 public:
  TCliScanEvents();

  void SetProgressPosition(uint64_t) override {}
  void SetProgressMaximum(uint64_t) override {}
  void StepProgress() override {}
  void SetLabelText(TScanLabel label, const std::string& text) override;
  void AddFoundFile(const std::string& name, const std::string& description, int64_t size) override;
  // With --verdicts the rows wait for the verdicts, which come after the scan.
  bool HoldRows = false;
  // The held rows, each with its verdict at the end.
  void PrintHeldRows(const std::vector<std::string>& verdicts);
  void Finish(const std::string& error) override;
  // The search for second pieces has its own line, after the counters of the read.
  void SetJoinProgress(uint32_t done, uint32_t total) override;
  // A held row takes the new size; a printed one is told of on stderr.
  void FoundFileChanged(size_t index, const std::string& name, const std::string& description, int64_t size) override;

  // Leaves the counters as they ended, on their own line.
  void EndProgress();
  // A line of its own, the counters drawn again below it.
  void Note(const std::string& text);
  // The error that ended the scan; empty when none did.
  std::string Error();

 private:
  // A reader that went away (| head) ends the rows, not the scan.
  void PrintRow(size_t number, const std::string& name, int64_t size, const std::string& description,
                const char* verdict);
  std::string Line() const;
  void ClearLine();
  void Draw(bool force);

  std::mutex mutex_;
  bool tty_;
  bool rowsOpen_ = true;
  bool drawn_ = false;
  std::chrono::steady_clock::time_point lastLine_ = std::chrono::steady_clock::now();
  std::string read_ = "0", bad_ = "0", time_, join_;
  size_t files_ = 0;
  std::string error_;
  struct THeldRow {
    std::string Name, Description;
    int64_t Size;
  };
  std::vector<THeldRow> held_;
};

}  // namespace snapsalvager::cli
