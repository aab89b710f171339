// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// The client with the real helper (temporary files of every family give the same verdicts
// and previews as the decoders in this process) and with a stand-in that crashes, hangs or
// answers nonsense: that file cannot be checked, and the next file is.
#include "decode/DecodeClient.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <chrono>
#include <cstring>
#include <mutex>

#include "decode/Decoders.h"
#include "fixtures/Jpegs.h"
#include "fixtures/MediaSamples.h"

namespace snapsalvager::decode {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

struct TempDir {
  fs::path Path;
  TempDir() {
    std::string pattern = (fs::temp_directory_path() / "decode-client-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp");
    Path = pattern;
  }
  ~TempDir() { fs::remove_all(Path); }
};

std::vector<TDecodeOutcome> CheckAll(TDecodePool& pool, std::vector<TDecodeJob> jobs) {
  std::vector<TDecodeOutcome> results(jobs.size());
  std::mutex m;
  pool.Start(std::move(jobs), [&](size_t i, const TDecodeOutcome& o) {
    std::lock_guard<std::mutex> lock(m);
    results[i] = o;
  });
  pool.Wait();
  return results;
}

TEST(DecodeClientTest, TheHelperGivesTheVerdictsAndPreviewsOfTemporaryFiles) {
  if (!fixtures::MediaSampleToolsAvailable()) GTEST_SKIP() << "ffmpeg, sox, heif-enc or exiftool missing";
  TempDir dir;
  std::vector<TDecodeJob> jobs;
  std::vector<TDecodeOutcome> expected;
  const auto& samples = fixtures::WholeMediaSamples();
  for (size_t i = 0; i < samples.size(); ++i) {
    const auto& s = samples[i];
    // Whole and cut, as the scan writes them: the head scrambled.
    for (bool cut : {false, true}) {
      const Bytes bytes = cut ? fixtures::Damaged(s.Bytes, fixtures::Damage::Cut, 0.5) : s.Bytes;
      const fs::path path = dir.Path / (std::to_string(jobs.size()) + "." + s.Type);
      fixtures::WriteTemporaryFile(path, bytes);
      jobs.push_back({path, s.Type, true, true});
      expected.push_back(CheckFile(TFileBytes(bytes.data(), bytes.size()), FamilyOfType(s.Type), true));
    }
  }
  TDecodeClientOptions options;
  options.Helpers = 2;
  TDecodePool pool(options);
  const std::vector<TDecodeOutcome> got = CheckAll(pool, jobs);
  for (size_t i = 0; i < jobs.size(); ++i) {
    SCOPED_TRACE(jobs[i].Path.filename().string());
    EXPECT_EQ(got[i].Verdict.Kind, expected[i].Verdict.Kind) << got[i].Verdict.Reason;
    EXPECT_EQ(got[i].Verdict.Percent, expected[i].Verdict.Percent);
    EXPECT_EQ(got[i].Verdict.Reason, expected[i].Verdict.Reason);
    EXPECT_EQ(got[i].Verdict.DurationMs, expected[i].Verdict.DurationMs);
    EXPECT_EQ(got[i].Preview.Width, expected[i].Preview.Width);
    EXPECT_EQ(got[i].Preview.Rgb, expected[i].Preview.Rgb);
  }
}

TEST(DecodeClientTest, AFileTheHelperCannotOpenOrATypeWithoutDecoderIsAnsweredHere) {
  TDecodeHelper helper;
  EXPECT_EQ(helper.Check({"/nonexistent/File0001.JPG", "JPG"}).Verdict.Kind, TVerdictKind::Unreadable);
  EXPECT_EQ(helper.Check({"/nonexistent/File0002.X3F", "X3F"}).Verdict.Kind, TVerdictKind::NotChecked);
  EXPECT_EQ(helper.Pid(), 0);  // no helper started for either
}

TEST(DecodeClientTest, AMissingHelperProgramCouldNotCheck) {
  TempDir dir;
  fixtures::WritePlainFile(dir.Path / "a.jpg", fixtures::EncodeJpeg(32, 32));
  TDecodeClientOptions options;
  options.Helper = dir.Path / "no-such-helper";
  TDecodeHelper helper(options);
  const TVerdict v = helper.Check({dir.Path / "a.jpg", "JPG", false}).Verdict;
  EXPECT_EQ(v.Kind, TVerdictKind::CouldNotCheck);
  EXPECT_EQ(v.Reason, "no-helper");
}

TEST(DecodeClientTest, ACrashingOrHangingDecoderCouldNotCheckThatFileAndTheNextIsChecked) {
  TempDir dir;
  const char* contents[] = {"fine", "ABORT", "fine", "HANG", "fine", "GARBAGE", "fine"};
  std::vector<TDecodeJob> jobs;
  for (const char* c : contents) {
    const fs::path path = dir.Path / (std::to_string(jobs.size()) + ".jpg");
    fixtures::WritePlainFile(path, Bytes(c, c + std::strlen(c)));
    jobs.push_back({path, "JPG", false, false});
  }
  TDecodeClientOptions options;
  options.Helper = SNAPSALVAGER_FAULTY_HELPER;
  options.Helpers = 1;  // one process: each fault must be followed by a new one
  options.TimeoutMs = 500;
  TDecodePool pool(options);
  const std::vector<TDecodeOutcome> got = CheckAll(pool, jobs);
  const char* reasons[] = {"", "crashed", "", "timeout", "", "bad-reply", ""};
  for (size_t i = 0; i < jobs.size(); ++i) {
    const TVerdict& v = got[i].Verdict;
    EXPECT_EQ(v.Kind, *reasons[i] ? TVerdictKind::CouldNotCheck : TVerdictKind::Whole) << contents[i];
    EXPECT_EQ(v.Reason, reasons[i]) << contents[i];
  }
}

TEST(DecodeClientTest, StopEndsAHangingCheckAtOnce) {
  TempDir dir;
  std::vector<TDecodeJob> jobs;
  for (int i = 0; i < 3; ++i) {
    const fs::path path = dir.Path / (std::to_string(i) + ".jpg");
    fixtures::WritePlainFile(path, Bytes{'H', 'A', 'N', 'G'});
    jobs.push_back({path, "JPG", false, false});
  }
  TDecodeClientOptions options;
  options.Helper = SNAPSALVAGER_FAULTY_HELPER;
  options.Helpers = 2;
  TDecodePool pool(options);
  int results = 0;
  pool.Start(jobs, [&](size_t, const TDecodeOutcome&) { ++results; });
  ::usleep(200000);
  const auto begin = std::chrono::steady_clock::now();
  pool.Stop();
  EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::seconds(2));
  EXPECT_EQ(results, 0);
}

}  // namespace
}  // namespace snapsalvager::decode
