// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// The preview page's background checks: every found file decoded by the pool of sandboxed
// snapsalvager-decode helpers (never in the window's process), the files on show first, each
// result handed to the GUI thread as it comes. The window keeps running meanwhile.
#pragma once

#include <QImage>
#include <QObject>

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "decode/Verdict.h"

namespace snapsalvager {

// One found file to check, and what its check gave.
struct TFileCheckJob {
  std::filesystem::path Path;
  std::string Type;  // the scan's type: picks the decoder
  bool WantPicture = false;  // a photo's picture too (videos and audio always give theirs)
};
struct TFileCheck {
  decode::TVerdict Verdict;
  QImage Preview;  // a video's frame or an audio file's waveform; null when none
};

// Where the helper program is and how many run at once (empty and 0: the defaults, one per
// core). Tests point it at a stand-in.
struct TFileCheckOptions {
  std::filesystem::path Helper;
  unsigned Helpers = 0;
  int TimeoutMs = 30000;
};

// A QObject so that results posted to the GUI thread die with it.
class TPreviewChecker : public QObject {
 public:
  // Called on the GUI thread for each file, with its index in the job list.
  using TOnChecked = std::function<void(size_t index, const TFileCheck& check)>;

  explicit TPreviewChecker(TFileCheckOptions options = {});
  ~TPreviewChecker() override;  // Stop()

  // Begins checking jobs in the background; a run in progress is stopped first.
  void Start(std::vector<TFileCheckJob> jobs, TOnChecked onChecked);
  // These files (indexes into the jobs) are checked next, before the rest.
  void Prefer(const std::vector<size_t>& indexes);
  // Ends the run: helpers at work are killed, nothing more is reported.
  void Stop();
  bool Running() const { return running_; }
  // How many files the run holds and how many have been reported on the GUI thread.
  size_t Total() const { return total_; }
  size_t Checked() const { return checked_; }
  // Checks jobs now, in parallel on helpers of their own, and waits for them: the photos of
  // the page being filled. Empty where no helper exists (the caller decodes them itself).
  std::vector<TFileCheck> CheckNow(const std::vector<TFileCheckJob>& jobs);
  // Whether this build can check files at all (the helper exists only on Linux).
  static bool Available();

 private:
  void Coordinate(std::vector<TFileCheckJob> jobs, unsigned run);
  void Deliver(unsigned run, size_t index, TFileCheck check);

  struct TNowPool;
  TFileCheckOptions options_;
  std::unique_ptr<TNowPool> now_;  // the helpers of CheckNow, kept between pages
  TOnChecked onChecked_;
  std::thread coordinator_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<size_t> preferred_;  // guarded by mutex_
  bool stop_ = false;             // guarded by mutex_
  size_t finished_ = 0;           // of the batch at work; guarded by mutex_
  unsigned run_ = 0;              // results of an earlier run are dropped
  bool running_ = false;
  size_t total_ = 0;
  size_t checked_ = 0;
};

}  // namespace snapsalvager
