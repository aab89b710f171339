// The found-file list and the names of carved files.
#include "engine/FoundFiles.h"

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

std::string FileNumberText(uint32_t number) {
  std::string digits = std::to_string(number);
  // Four digits at least, so the first 999 names all begin with "File0", which is what
  // the check for an earlier recovery in the destination folder looks for.
  if (digits.size() < 4) digits.insert(0, 4 - digits.size(), '0');
  return digits;
}

std::string RecoveredFileName(uint32_t number, const std::string& type) {
  return "File" + FileNumberText(number) + "." + type;
}

std::string TemporaryFileName(uint32_t number, const std::string& type) {
  return "Temporary_v5_File" + FileNumberText(number) + "_" + type + ".~QX";
}

}  // namespace snapsalvager
