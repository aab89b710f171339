// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
#include "cli/Verdicts.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <exception>
#include <system_error>
#include <thread>

#include "decode/DecodeClient.h"
#include "session/SaveFiles.h"
#include "session/Texts.h"
#include "tempfile/Utf8Path.h"

namespace snapsalvager::cli {

namespace fs = std::filesystem;
using decode::TVerdict;
using decode::TVerdictKind;

std::vector<TVerdict> CheckFoundFiles(const TFoundFileList& found, const std::atomic<bool>& stop) {
  std::vector<decode::TDecodeJob> jobs;
  jobs.reserve(found.Count());
  for (size_t i = 0; i < found.Count(); ++i) {
    // Rows only: no preview is drawn on a terminal.
    jobs.push_back({found[i].TempFile, found[i].Ext, true, false});
  }
  std::vector<TVerdict> verdicts(jobs.size());
  if (jobs.empty()) return verdicts;
  decode::TDecodePool pool;
  std::fprintf(stderr, "%s",
               Text(TText::CheckingFiles, {std::to_string(jobs.size()), std::to_string(pool.Helpers())}).c_str());
  // Each index is written by one pool thread only; Wait and Stop order the writes before
  // the reads.
  std::atomic<size_t> done{0};
  pool.Start(std::move(jobs), [&verdicts, &done](size_t index, const decode::TDecodeOutcome& outcome) {
    verdicts[index] = outcome.Verdict;
    ++done;
  });
  // The count on a terminal's line, redrawn; in a log a line every few seconds.
  const bool tty = ::isatty(STDERR_FILENO) == 1;
  auto lastLine = std::chrono::steady_clock::now();
  const auto progress = [&](bool last) {
    const std::string line = Text(TText::CheckingProgress, {std::to_string(done), std::to_string(verdicts.size())});
    const auto now = std::chrono::steady_clock::now();
    if (tty) {
      std::fprintf(stderr, "\r%s\033[K%s", line.c_str(), last ? "\n" : "");
    } else if (last || now - lastLine >= std::chrono::seconds(3)) {
      std::fprintf(stderr, "%s\n", line.c_str());
      lastLine = now;
    }
    std::fflush(stderr);
  };
  while (done < verdicts.size() && !stop) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    progress(false);
  }
  if (stop) {
    pool.Stop();
  } else {
    pool.Wait();
  }
  progress(true);
  return verdicts;
}

std::string VerdictText(const TVerdict& verdict) {
  switch (verdict.Kind) {
    case TVerdictKind::Whole: return Text(TText::VerdictWhole);
    case TVerdictKind::Damaged:
      if (verdict.Percent >= 0) return Text(TText::VerdictDamagedAt, {std::to_string(verdict.Percent)});
      return Text(TText::VerdictDamaged);
    case TVerdictKind::Unreadable: return Text(TText::VerdictUnreadable);
    case TVerdictKind::CouldNotCheck: return Text(TText::VerdictCouldNotCheck);
    case TVerdictKind::NotChecked: break;
  }
  return Text(TText::VerdictNotChecked);
}

bool SetAside(const TVerdict& verdict) {
  return verdict.Kind == TVerdictKind::Damaged || verdict.Kind == TVerdictKind::Unreadable;
}

size_t MoveToDamagedFolder(const std::vector<fs::path>& saved, const fs::path& destFolder) {
  if (saved.empty()) return 0;
  const fs::path folder = destFolder / "damaged";
  std::error_code ec;
  fs::create_directory(folder, ec);
  TNamePicker names(folder, 0);
  size_t moved = 0;
  for (const fs::path& file : saved) {
    try {
      if (ec) throw std::system_error(ec);
      MoveWithoutReplacing(file, folder / PathFromUtf8(names.Pick(Utf8Of(file.filename()))));
      ++moved;
    } catch (const std::exception& e) {
      std::fprintf(stderr, "%s",
                   Text(TText::DamagedNotSetAside, {Utf8Of(file.filename()), Utf8Of(destFolder), e.what()}).c_str());
    }
  }
  if (moved > 0) {
    std::fprintf(stderr, "%s", Text(TText::DamagedSetAside, {std::to_string(moved), Utf8Of(folder)}).c_str());
  }
  return moved;
}

}  // namespace snapsalvager::cli
