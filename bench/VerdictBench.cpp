// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// Verdicts for a batch of found files through the pool of sandboxed helpers: the tiny media
// samples of every family, whole and damaged, as the scan's temporary files. Arg: helpers.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <mutex>

#include "decode/DecodeClient.h"
#include "fixtures/Jpegs.h"
#include "fixtures/MediaSamples.h"

namespace {

namespace fs = std::filesystem;
using namespace snapsalvager::decode;

// The batch, written once: every sample whole and with each damage in its middle.
const std::vector<TDecodeJob>& Batch() {
  static std::vector<TDecodeJob> jobs;
  static std::once_flag once;
  std::call_once(once, [] {
    std::string pattern = (fs::temp_directory_path() / "verdict-bench-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) return;
    const auto& samples = fixtures::WholeMediaSamples();
    for (const auto& s : samples) {
      std::vector<std::vector<uint8_t>> variants = {s.Bytes};
      for (fixtures::Damage d : fixtures::kAllDamage) variants.push_back(fixtures::Damaged(s.Bytes, d, 0.5, samples[0].Bytes));
      for (const auto& bytes : variants) {
        const fs::path path = fs::path(pattern) / (std::to_string(jobs.size()) + "." + s.Type);
        fixtures::WriteTemporaryFile(path, bytes);
        jobs.push_back({path, s.Type, true, true});
      }
    }
  });
  return jobs;
}

void BM_VerdictsOfABatch(benchmark::State& state) {
  const auto& jobs = Batch();
  TDecodeClientOptions options;
  options.Helper = SNAPSALVAGER_DECODE_HELPER_PATH;
  options.Helpers = static_cast<unsigned>(state.range(0));
  TDecodePool pool(options);
  int64_t bytes = 0;
  for (const auto& j : jobs) bytes += static_cast<int64_t>(fs::file_size(j.Path));
  for (auto _ : state) {
    std::mutex m;
    int couldNot = 0;
    pool.Start(jobs, [&](size_t, const TDecodeOutcome& o) {
      std::lock_guard<std::mutex> lock(m);
      couldNot += o.Verdict.Kind == TVerdictKind::CouldNotCheck;
    });
    pool.Wait();
    if (couldNot != 0) state.SkipWithError("a helper could not check a file");
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(jobs.size()));
  state.SetBytesProcessed(state.iterations() * bytes);
  state.counters["files"] = static_cast<double>(jobs.size());
}
BENCHMARK(BM_VerdictsOfABatch)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
