// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// The found-file list.
#include "session/FoundFiles.h"

#include <algorithm>

#include "filesystems/SafeNames.h"

namespace snapsalvager {

TFoundFile& TFoundFileList::Append(TFoundFile record) {
  records_.push_back(std::make_unique<TFoundFile>(std::move(record)));
  return *records_.back();
}

size_t TFoundFileList::CountSelected() const {
  return static_cast<size_t>(std::count_if(records_.begin(), records_.end(),
                                           [](const auto& record) { return record->Selected; }));
}

void ClearFoundFiles(TFoundFileList& list) { list.Clear(); }

std::filesystem::path OriginalPathOf(const TFoundFile& file) {
  if (!file.Original) return {};
  return filesystems::SafeRelativePath(file.Original->Folder, file.Original->Entry.Name);
}

}  // namespace snapsalvager
