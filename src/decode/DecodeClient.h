// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// The front ends' way to verdicts and previews: found files are checked by snapsalvager-decode
// helper processes (never in the caller's process), a pool of them working in parallel. A
// helper that crashes or runs out of time costs only its file ("could not check"): it is
// killed and a new one takes the next file. No Qt, no decoder library linked.
//
//   TDecodePool pool;                                   // one helper per core
//   pool.Start(jobs, [&](size_t i, const TDecodeOutcome& o) { post o to the window; });
//   ...  pool.Stop();  // or let the destructor stop it
#pragma once

#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <sys/types.h>
#include <thread>
#include <vector>

#include "decode/Verdict.h"

namespace snapsalvager::decode {

// One found file to check.
struct TDecodeJob {
  std::filesystem::path Path;
  std::string Type;        // the scan's type ("JPG", "MOV", ...): picks the decoder
  bool Scrambled = true;   // a temporary file of the scan (its head is stored scrambled)
  bool WantPreview = true;
};

struct TDecodeClientOptions {
  std::filesystem::path Helper;  // empty: HelperProgram()
  unsigned Helpers = 0;          // processes of the pool; 0: one per core
  // Time one file may take, wall clock: a base, plus a share per MiB for long clips.
  int TimeoutMs = 30000;
  int TimeoutMsPerMiB = 300;
};

// Where the helper program is: $SNAPSALVAGER_DECODE_HELPER when set, else
// snapsalvager-decode beside the running program, else in the build tree's src/decode
// next to the program's folder.
std::filesystem::path HelperProgram();

// One helper process, started on first use and again after it died. Check is called by one
// thread at a time; Abort may be called from any thread.
class TDecodeHelper {
 public:
  explicit TDecodeHelper(TDecodeClientOptions options = {});
  ~TDecodeHelper();
  TDecodeHelper(const TDecodeHelper&) = delete;
  TDecodeHelper& operator=(const TDecodeHelper&) = delete;

  // The verdict (and preview) of one file. Never throws: a file that cannot be opened is
  // Unreadable "open-failed"; a helper that dies, stalls or cannot start gives CouldNotCheck
  // with "crashed", "timeout", "cpu-limit" or "no-helper".
  TDecodeOutcome Check(const TDecodeJob& job);
  // Kills the running helper; a Check in progress returns CouldNotCheck "stopped".
  void Abort();
  // Ends an Abort: the next Check starts a new helper.
  void Reset();
  // The process id of the running helper, 0 when none (for tests).
  pid_t Pid() const { return pid_; }

 private:
  bool Start();
  void Finish(bool kill);
  std::string DeathReason();

  TDecodeClientOptions options_;
  std::atomic<pid_t> pid_{0};
  int socket_ = -1;
  std::atomic<bool> aborted_{false};
};

// A pool of helpers checking a list of files in the background, in parallel.
class TDecodePool {
 public:
  // Called once per job from one of the pool's threads, in the order the files finish.
  using TOnResult = std::function<void(size_t index, const TDecodeOutcome& outcome)>;

  explicit TDecodePool(TDecodeClientOptions options = {});
  ~TDecodePool();  // Stop()
  TDecodePool(const TDecodePool&) = delete;
  TDecodePool& operator=(const TDecodePool&) = delete;

  // Begins checking jobs; a previous run is waited for first. Not to be called, nor Wait or
  // Stop, from onResult (it runs on the pool's threads).
  void Start(std::vector<TDecodeJob> jobs, TOnResult onResult);
  // Waits until every job has had its result.
  void Wait();
  // Drops the jobs not begun, kills the helpers at work, and waits for the threads; no
  // result is reported after it returns.
  void Stop();
  unsigned Helpers() const { return static_cast<unsigned>(helpers_.size()); }

 private:
  void Work(TDecodeHelper& helper);

  std::vector<std::unique_ptr<TDecodeHelper>> helpers_;
  std::vector<std::thread> threads_;
  std::vector<TDecodeJob> jobs_;
  TOnResult onResult_;
  std::atomic<size_t> next_{0};
  std::atomic<bool> stopping_{false};
};

}  // namespace snapsalvager::decode
