// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// Small helpers shared by the card-access tests: a scratch folder per test and shell
// commands for loop devices and mounts.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <string>

#include "fixtures/TempFolder.h"

namespace snapsalvager::enginetest {

// A scratch folder per test: the shared fixture.
using ScratchDir = fixtures::TempFolder;

// Runs a shell command; returns its first output line, or an empty text when it failed.
inline std::string Run(const std::string& command) {
  FILE* pipe = ::popen((command + " 2>/dev/null").c_str(), "r");
  if (pipe == nullptr) return {};
  std::array<char, 512> buffer{};
  std::string out;
  if (std::fgets(buffer.data(), buffer.size(), pipe) != nullptr) out = buffer.data();
  while (std::fgets(buffer.data(), buffer.size(), pipe) != nullptr) {
  }
  const int status = ::pclose(pipe);
  if (status != 0) return {};
  while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
  return out.empty() ? std::string("ok") : out;
}

// An image file attached read-only to a free loop device; detached at destruction.
class LoopDevice {
 public:
  explicit LoopDevice(const std::filesystem::path& image) {
    if (::geteuid() != 0 || !std::filesystem::exists("/dev/loop-control")) return;
    const std::string dev = Run("losetup -r -f --show '" + image.string() + "'");
    if (dev.rfind("/dev/loop", 0) == 0) device_ = dev;
  }
  ~LoopDevice() {
    if (!device_.empty()) Run("losetup -d " + device_);
  }
  LoopDevice(const LoopDevice&) = delete;
  LoopDevice& operator=(const LoopDevice&) = delete;
  bool ok() const { return !device_.empty(); }
  const std::string& device() const { return device_; }

 private:
  std::string device_;
};

// A read-only mount of a block device; unmounted at destruction.
class Mount {
 public:
  Mount(const std::string& device, const std::filesystem::path& mountPoint) : point_(mountPoint) {
    std::filesystem::create_directories(point_);
    mounted_ = !Run("mount -o ro " + device + " '" + point_.string() + "'").empty();
  }
  ~Mount() {
    if (mounted_) Run("umount '" + point_.string() + "'");
  }
  Mount(const Mount&) = delete;
  Mount& operator=(const Mount&) = delete;
  bool ok() const { return mounted_; }

 private:
  std::filesystem::path point_;
  bool mounted_ = false;
};

}  // namespace snapsalvager::enginetest
