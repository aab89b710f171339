// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// The group commit: temporary files saved in batches, each batch behind one journal of its
// plain heads and final names, and the finish of a batch that a kill cut short.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace snapsalvager {

// The group commit: temporary files are saved in batches of up to kSaveBatchFiles files and
// kSaveBatchBytes bytes. For each batch, the plain heads and final paths go into one journal
// in the temporary files' folder (SaveJournalOf), made durable; then every head is written,
// every file's data made durable, every file moved to its name without replacing, and each
// folder made durable once; only then does the journal go. A kill at any point leaves every
// file saved whole under its name or a temporary file that FinishInterruptedSave makes
// valid again, never both.
// 256 files: the batch's four flushes (journal, its folder, the files' data, the names) are
// shared by 256 files; its journal stays near 150 KB and a held Ctrl-C waits one batch.
inline constexpr size_t kSaveBatchFiles = 256;
// 256 MiB: a batch of large videos ends after a few seconds of flushing on a slow card
// reader or USB disk, so the durable point, the progress and a held Ctrl-C move on.
inline constexpr uint64_t kSaveBatchBytes = uint64_t{256} << 20;

// The journal of the batch being saved from tempFolder: "SaveJournal.heads".
std::filesystem::path SaveJournalOf(const std::filesystem::path& tempFolder);

// A save or restore cut short leaves its batch journal in tempFolder. Finishes it: a file
// of the batch still under its temporary name gets its scrambled head back (or is removed
// when a copy with exactly its bytes already holds its final name: a copy across file
// systems killed before its source went), then the journal goes. Afterwards every
// temporary file in tempFolder is a valid temporary file. Nothing to do without a journal.
// Throws std::runtime_error when the journal cannot be read or a head not written: the
// files must then not be touched by a new save or scan.
void FinishInterruptedSave(const std::filesystem::path& tempFolder);

// Saves temporary files in batches (see kSaveBatchFiles). Add queues a file, to be moved to
// finalPath (never replacing a file), and commits the batch once it is full or the next
// file lies in another folder; Finish commits what is left. Each file is reported once,
// after its batch is durable, with an empty text when it was saved, else why not (its
// temporary file, when it still exists, is then left valid, head scrambled).
class TBatchSave {
 public:
  using TReport = std::function<void(size_t tag, const std::string& error)>;
  explicit TBatchSave(TReport report);
  ~TBatchSave();
  TBatchSave(const TBatchSave&) = delete;
  TBatchSave& operator=(const TBatchSave&) = delete;
  void Add(size_t tag, const std::filesystem::path& tempPath, const std::filesystem::path& finalPath);
  void Finish();

  struct TEntry;

 private:
  void Commit();
  TReport report_;
  std::vector<TEntry> entries_;
  uint64_t bytes_ = 0;
};

}  // namespace snapsalvager
