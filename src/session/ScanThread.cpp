// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// The scan thread: its start, pause and stop control, the abandon of a thread that does not
// end, and the end of every scan; the pass itself is in ScanPass.cpp.
#include "session/ScanThread.h"

#include <chrono>
#include <exception>
#include <stdexcept>
#include <string>

#include "session/ScanThreadState.h"
#include "session/Texts.h"

namespace snapsalvager {

namespace {

// Abandoned threads that may still write temporary files (process-wide: they outlive the
// objects that started them).
std::atomic<int> g_abandonedRunning{0};

uint32_t SteadyTick() {
  using namespace std::chrono;
  return static_cast<uint32_t>(
      duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

std::string TwoDigits(uint32_t value) {
  std::string text = std::to_string(value);
  return text.size() < 2 ? "0" + text : text;
}

}  // namespace

int AbandonedScansRunning() { return g_abandonedRunning; }

std::string AbandonedScanRunningText() {
  return Text(TText::AbandonedScanRunning);
}

std::string FormatRemainingTime(uint32_t seconds) {
  const uint32_t hours = seconds / 3600;
  const uint32_t minutes = (seconds - hours * 3600) / 60;
  const uint32_t rest = seconds - hours * 3600 - minutes * 60;
  return std::to_string(hours) + ":" + TwoDigits(minutes) + ":" + TwoDigits(rest);
}

uint32_t EstimateRemainingSeconds(uint32_t elapsedSeconds, uint64_t sectorsDone,
                                  uint64_t sectorsTotal) {
  if (sectorsDone == 0 || sectorsDone >= sectorsTotal) return 0;
  const double remaining = static_cast<double>(elapsedSeconds) / sectorsDone *
                           static_cast<double>(sectorsTotal - sectorsDone);
  return remaining >= 4294967295.0 ? UINT32_MAX : static_cast<uint32_t>(remaining);
}

uint32_t TDigitalReadThread::Impl::Now() const { return tick ? tick() : SteadyTick(); }

void TDigitalReadThread::Impl::Execute(const std::shared_ptr<Impl>& self) {
  std::string error;
  try {
    self->CarvingLoop();
  } catch (const std::exception& e) {
    error = e.what();
  } catch (...) {
    error = Text(TText::UnknownScanError);
  }
  // Always: the buffer, a file still open (not recorded) and the device.
  self->buffer.clear();
  self->buffer.shrink_to_fit();
  if (self->sink) self->sink->Abandon();
  {
    std::lock_guard<std::mutex> lock(self->controlMutex);
    self->writesDone = true;
    if (self->countedAbandoned) --g_abandonedRunning;
  }
  if (self->card) self->card->Close();
  // The front end is told also when an error ended the loop, so nothing waits for ever.
  try {
    self->Sync([&] { self->events->Finish(error); });
  } catch (...) {
  }
  {
    std::lock_guard<std::mutex> lock(self->controlMutex);
    self->finished = true;
  }
  self->controlChanged.notify_all();
}

TDigitalReadThread::TDigitalReadThread(TScanEvents& events, TSynchronize synchronize,
                                       TFoundFileList& foundFiles)
    : impl_(std::make_shared<Impl>(events, std::move(synchronize), foundFiles)) {}

TDigitalReadThread::~TDigitalReadThread() {
  if (!thread_.joinable()) return;
  if (impl_->abandoned) {
    thread_.detach();
    return;
  }
  Terminate();
  thread_.join();
}

void TDigitalReadThread::Start() {
  if (thread_.joinable()) throw std::logic_error("the scan thread was already started");
  if (!Card) throw std::logic_error("the scan was given no card");
  impl_->card = Card;
  impl_->drive = Drive;
  impl_->tempFolder = TempFolder;
  impl_->inputs = Inputs;
  impl_->wholeVolume = WholeVolume;
  impl_->firstSector = FirstSector;
  impl_->lastSector = LastSector;
  impl_->deepScan = DeepScan;
  impl_->tick = TickCount;
  impl_->describe = DescribeFile;
  impl_->resumeFrom = ResumeFrom;
  impl_->afterBatch = AfterBatch;
  std::shared_ptr<Impl> state = impl_;
  thread_ = std::thread([state] { Impl::Execute(state); });
}

void TDigitalReadThread::Suspend() {
  std::lock_guard<std::mutex> lock(impl_->controlMutex);
  impl_->pauseRequested = true;
}

void TDigitalReadThread::Resume() {
  {
    std::lock_guard<std::mutex> lock(impl_->controlMutex);
    impl_->pauseRequested = false;
  }
  impl_->controlChanged.notify_all();
}

bool TDigitalReadThread::Suspended() const {
  std::lock_guard<std::mutex> lock(impl_->controlMutex);
  return impl_->pauseRequested;
}

bool TDigitalReadThread::Parked() const { return impl_->parked; }

void TDigitalReadThread::Terminate() {
  {
    std::lock_guard<std::mutex> lock(impl_->controlMutex);
    impl_->terminated = true;
  }
  impl_->controlChanged.notify_all();
}

bool TDigitalReadThread::Terminated() const { return impl_->terminated; }

bool TDigitalReadThread::Finished() const { return impl_->finished; }

bool TDigitalReadThread::WaitFor(uint32_t timeoutMs) {
  if (!thread_.joinable() && !impl_->finished) return false;  // never started
  std::unique_lock<std::mutex> lock(impl_->controlMutex);
  return impl_->controlChanged.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                        [this] { return impl_->finished.load(); });
}

void TDigitalReadThread::Abandon() {
  {
    std::lock_guard<std::recursive_mutex> lock(impl_->frontMutex);
    impl_->abandoned = true;
  }
  {
    std::lock_guard<std::mutex> lock(impl_->controlMutex);
    if (thread_.joinable() && !impl_->writesDone && !impl_->countedAbandoned) {
      impl_->countedAbandoned = true;
      ++g_abandonedRunning;
    }
  }
  Terminate();
}

}  // namespace snapsalvager
