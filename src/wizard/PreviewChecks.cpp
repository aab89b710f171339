// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// The pool takes a fixed list, so the files are handed to it in small batches: between two
// batches the files the user has just paged to go first. Only the coordinating thread
// touches the pool; the GUI thread only asks it to stop.
#include "wizard/PreviewChecks.h"

#include <QMetaObject>

#include <utility>

#include "decode/DecodeClient.h"

namespace snapsalvager {

namespace {

// Batches of a few files per helper: short enough that a page the user turns to is checked
// soon, long enough that the helpers rarely wait for each other.
constexpr size_t kFilesPerHelperInBatch = 3;

bool WantsPreview(const TFileCheckJob& job) {
  // A photo's picture comes when the page is filled; videos and audio get theirs here.
  const decode::TFileFamily family = decode::FamilyOfType(job.Type);
  return job.WantPicture || family == decode::TFileFamily::Video || family == decode::TFileFamily::Audio;
}

decode::TDecodeClientOptions PoolOptions(const TFileCheckOptions& options) {
  decode::TDecodeClientOptions pool;
  pool.Helper = options.Helper;
  pool.Helpers = options.Helpers;
  pool.TimeoutMs = options.TimeoutMs;
  return pool;
}

TFileCheck CheckOf(const decode::TDecodeOutcome& outcome) {
  TFileCheck check;
  check.Verdict = outcome.Verdict;
  const decode::TPreview& p = outcome.Preview;
  if (!p.Empty() && p.Rgb.size() >= static_cast<size_t>(p.Width) * p.Height * 3) {
    check.Preview = QImage(p.Rgb.data(), p.Width, p.Height, p.Width * 3, QImage::Format_RGB888).copy();
  }
  return check;
}

}  // namespace

struct TPreviewChecker::TNowPool {
  explicit TNowPool(const TFileCheckOptions& options) : Pool(PoolOptions(options)) {}
  decode::TDecodePool Pool;
};

TPreviewChecker::TPreviewChecker(TFileCheckOptions options) : options_(std::move(options)) {}

TPreviewChecker::~TPreviewChecker() { Stop(); }

std::vector<TFileCheck> TPreviewChecker::CheckNow(const std::vector<TFileCheckJob>& jobs) {
  std::vector<TFileCheck> checks(jobs.size());
  if (jobs.empty()) return checks;
  if (!now_) now_ = std::make_unique<TNowPool>(options_);
  std::vector<decode::TDecodeJob> work;
  work.reserve(jobs.size());
  for (const TFileCheckJob& job : jobs) work.push_back({job.Path, job.Type, true, WantsPreview(job)});
  // Each index is written by one pool thread; Wait orders the writes before the return.
  now_->Pool.Start(std::move(work), [&checks](size_t i, const decode::TDecodeOutcome& outcome) { checks[i] = CheckOf(outcome); });
  now_->Pool.Wait();
  return checks;
}

bool TPreviewChecker::Available() { return true; }

void TPreviewChecker::Start(std::vector<TFileCheckJob> jobs, TOnChecked onChecked) {
  Stop();
  {
    const std::lock_guard lock(mutex_);
    stop_ = false;
    finished_ = 0;
  }
  onChecked_ = std::move(onChecked);
  total_ = jobs.size();
  checked_ = 0;
  running_ = !jobs.empty();
  if (running_) coordinator_ = std::thread(&TPreviewChecker::Coordinate, this, std::move(jobs), run_);
}

void TPreviewChecker::Prefer(const std::vector<size_t>& indexes) {
  {
    const std::lock_guard lock(mutex_);
    preferred_.assign(indexes.begin(), indexes.end());
  }
  wake_.notify_all();
}

void TPreviewChecker::Stop() {
  {
    const std::lock_guard lock(mutex_);
    stop_ = true;
    preferred_.clear();
  }
  wake_.notify_all();
  if (coordinator_.joinable()) coordinator_.join();
  ++run_;  // results already posted belong to the run that ended
  running_ = false;
}

void TPreviewChecker::Coordinate(std::vector<TFileCheckJob> jobs, unsigned run) {
  decode::TDecodePool pool(PoolOptions(options_));
  const size_t batchSize = std::max<size_t>(1, pool.Helpers() * kFilesPerHelperInBatch);
  std::vector<bool> taken(jobs.size(), false);
  size_t next = 0;
  for (;;) {
    std::vector<size_t> batch;
    {
      const std::lock_guard lock(mutex_);
      if (stop_) return;
      while (!preferred_.empty() && batch.size() < batchSize) {
        const size_t i = preferred_.front();
        preferred_.pop_front();
        if (i < jobs.size() && !taken[i]) taken[i] = true, batch.push_back(i);
      }
      finished_ = 0;
    }
    for (; batch.size() < batchSize && next < jobs.size(); ++next) {
      if (!taken[next]) taken[next] = true, batch.push_back(next);
    }
    if (batch.empty()) return;

    std::vector<decode::TDecodeJob> work;
    work.reserve(batch.size());
    for (size_t i : batch) work.push_back({jobs[i].Path, jobs[i].Type, true, WantsPreview(jobs[i])});
    pool.Start(std::move(work), [this, &batch, run](size_t k, const decode::TDecodeOutcome& outcome) {
      Deliver(run, batch[k], CheckOf(outcome));
      {
        const std::lock_guard lock(mutex_);
        ++finished_;
      }
      wake_.notify_all();
    });
    bool stopped = false;
    {
      std::unique_lock lock(mutex_);
      wake_.wait(lock, [&] { return stop_ || finished_ == batch.size(); });
      stopped = stop_;
    }
    if (stopped) {
      pool.Stop();
      return;
    }
    pool.Wait();
  }
}

void TPreviewChecker::Deliver(unsigned run, size_t index, TFileCheck check) {
  // Queued to this object: once it is gone, nothing posted runs.
  QMetaObject::invokeMethod(
      this,
      [this, run, index, check = std::move(check)] {
        if (run != run_) return;
        ++checked_;
        if (checked_ >= total_) running_ = false;
        if (onChecked_) onChecked_(index, check);
      },
      Qt::QueuedConnection);
}

}  // namespace snapsalvager
