// A card in memory for the scan's tests: reads that touch a bad sector fail, as a dying
// card's do, and every read is logged.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <utility>
#include <vector>

#include "engine/CardDevice.h"

namespace snapsalvager::memorycard {

constexpr uint32_t kCardSector = 512;

// A card in memory. Reads touching a bad sector fail; the hook sees every read first.
struct TCardState {
  std::vector<uint8_t> Bytes;
  std::set<uint32_t> BadSectors;
  std::function<void(uint64_t offset, size_t length)> Hook;
  std::mutex Mutex;
  std::vector<std::pair<uint64_t, size_t>> Reads;
  std::atomic<int> OpenSources{0};
};

class TMemorySource : public TCardSource {
 public:
  explicit TMemorySource(std::shared_ptr<TCardState> state) : state_(std::move(state)) { ++state_->OpenSources; }
  ~TMemorySource() override { --state_->OpenSources; }
  bool ReadAt(uint64_t offset, void* dest, size_t length) override {
    if (state_->Hook) state_->Hook(offset, length);
    {
      std::lock_guard<std::mutex> lock(state_->Mutex);
      state_->Reads.emplace_back(offset, length);
    }
    for (uint64_t s = offset / kCardSector; s < (offset + length + kCardSector - 1) / kCardSector; ++s) {
      if (state_->BadSectors.count(static_cast<uint32_t>(s))) return false;
    }
    if (offset + length > state_->Bytes.size()) return false;
    std::memcpy(dest, state_->Bytes.data() + offset, length);
    return true;
  }
  bool Geometry(TDiskGeometry& g) override {
    g = {};
    g.MediaKind = 2;
    g.Removable = 1;
    g.BytesPerSector = kCardSector;
    g.TracksPerCylinder = 255;
    g.SectorsPerTrack = 63;
    g.Cylinders = static_cast<uint32_t>(state_->Bytes.size() / kCardSector / (255 * 63));
    g.TotalSectors = g.Cylinders * 255 * 63;
    return true;
  }
  bool Length(int64_t& bytes) override {
    bytes = static_cast<int64_t>(state_->Bytes.size());
    return true;
  }

 private:
  std::shared_ptr<TCardState> state_;
};

}  // namespace snapsalvager::memorycard
