// The found-file list.
#include "session/FoundFiles.h"

#include <algorithm>

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

}  // namespace snapsalvager
