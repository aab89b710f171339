// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// snapsalvager-cli recover as a user runs it: the command run and its output split into rows,
// fresh work folders, and the suites over one media card made once per test program. Shared
// by the recover command's test files.
#pragma once

#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <linux/capability.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <functional>
#include <fstream>
#include <iterator>
#include <map>
#include <algorithm>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "session/Texts.h"
#include "fixtures/Jpegs.h"
#include "fixtures/Languages.h"
#include "fixtures/LoopDisk.h"
#include "carving/Signatures.h"
#include "fixtures/MediaCard.h"
#include "fixtures/MediaSamples.h"
#include "fixtures/RunCommand.h"
#include "session/ScanJournal.h"
#include "session/ScanThread.h"
#include "tempfile/TempFileFormat.h"

namespace recovertest {

namespace fs = std::filesystem;
using snapsalvager::Text;
using snapsalvager::TLanguage;
using snapsalvager::TText;
using snapsalvager::JournalPresent;
using snapsalvager::ReadScanJournal;
using snapsalvager::TScanJournal;

// The suites pin the Chinese texts: their runs speak Chinese whatever the developer's locale.
inline const bool kChineseRuns = ::setenv("SNAPSALVAGER_LANG", "zh", 1) == 0;

// A text as the command shows a message: line breaks without their "\r".
inline std::string Shown(std::string text) {
  std::string line;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\r' || i + 1 >= text.size() || text[i + 1] != '\n') line += text[i];
  }
  return line;
}

inline std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

struct TResult {
  int Status = -1;
  bool Exited = false;  // ended by itself, not by a signal
  std::string Out, Err;
  std::vector<std::vector<std::string>> Rows;  // stdout split into tab-separated fields
};

// Runs snapsalvager-cli with args (the command first); sends SIGINT after interruptAfterMs
// when set; inChild runs in the child just before exec (limits, another user, stdout).
inline TResult RunCli(const std::vector<std::string>& args, const fs::path& work, int interruptAfterMs = -1,
               const std::function<void()>& inChild = {}, int interrupts = 1) {
  std::vector<std::string> all = {SNAPSALVAGER_CLI};
  all.insert(all.end(), args.begin(), args.end());
  const fixtures::CommandRun run = fixtures::RunCommand(all, work, interruptAfterMs, inChild, interrupts);
  TResult result;
  result.Status = run.Status;
  result.Exited = run.Exited;
  result.Out = run.Out;
  result.Err = run.Err;
  std::istringstream lines(result.Out);
  for (std::string line; std::getline(lines, line);) {
    std::vector<std::string> fields;
    std::istringstream cells(line);
    for (std::string cell; std::getline(cells, cell, '\t');) fields.push_back(cell);
    result.Rows.push_back(fields);
  }
  return result;
}

inline TResult RunRecover(std::vector<std::string> args, const fs::path& work, int interruptAfterMs = -1,
                   const std::function<void()>& inChild = {}, int interrupts = 1) {
  args.insert(args.begin(), "recover");
  return RunCli(args, work, interruptAfterMs, inChild, interrupts);
}

inline fs::path MakeTempDir(const char* name) {
  std::string pattern = (fs::temp_directory_path() / (std::string(name) + "-XXXXXX")).string();
  if (::mkdtemp(pattern.data()) == nullptr) return {};
  return pattern;
}

inline std::vector<std::string> RecoveredNames(const fs::path& dest) {
  std::vector<std::string> names;
  for (auto& entry : fs::directory_iterator(dest)) {
    if (entry.is_regular_file()) names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

// A suite over one media card, made once per test program and removed at its end; each test
// gets a fresh work folder. TCard names the card: its tools, options and folder names.
template <class TCard>
class TMediaCardTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!TCard::Available()) return;
    cardDir_ = new fs::path(MakeTempDir(TCard::kCardFolder));
    card_ = new fixtures::MediaCard(fixtures::MakeMediaCard(*cardDir_, TCard::Options()));
  }
  static void TearDownTestSuite() {
    if (cardDir_) fs::remove_all(*cardDir_);
    delete card_;
    delete cardDir_;
    card_ = nullptr;
    cardDir_ = nullptr;
  }
  void SetUp() override {
    if (!card_) GTEST_SKIP() << TCard::kMissing;
    work_ = MakeTempDir(TCard::kRunFolder);
  }
  void TearDown() override {
    std::error_code ec;
    if (!work_.empty()) fs::remove_all(work_, ec);
  }

  static inline fixtures::MediaCard* card_ = nullptr;
  static inline fs::path* cardDir_ = nullptr;
  fs::path work_;
};

// The demo card: photos, clips and audio, some of them deleted.
struct TDemoCard {
  static bool Available() { return fixtures::MediaToolsAvailable(); }
  static fixtures::MediaCardOptions Options() { return {}; }
  static constexpr const char* kCardFolder = "recover-card";
  static constexpr const char* kRunFolder = "recover-run";
  static constexpr const char* kMissing = "mkfs.fat, mtools, exiftool or ffmpeg missing";
};

class RecoverCommandTest : public TMediaCardTest<TDemoCard> {};

}  // namespace recovertest
