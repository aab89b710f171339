// The temporary-file format: size cap, head scrambling, names and the folder note.
#include "tempfile/TempFileFormat.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <ctime>

namespace snapsalvager {
namespace {

constexpr char kTempPrefix[] = "Temporary_v5_File";
constexpr char kTempSuffix[] = ".~QX";
constexpr char kRecoveredPrefix[] = "File";

std::string UpperCase(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

}  // namespace

int64_t TempFileSizeCap(const std::string& type) { return type == "JPG" ? kJpgMaxSize : 0; }

void ScrambleHead(void* data, int64_t offset, int64_t count) {
  if (offset < 0 || offset >= kTempHeadLength || count <= 0) return;
  auto* bytes = static_cast<uint8_t*>(data);
  const int64_t n = std::min<int64_t>(count, kTempHeadLength - offset);
  for (int64_t i = 0; i < n; ++i) bytes[i] ^= kTempHeadKey;
}

std::string FileNumberText(uint32_t number) {
  std::string digits = std::to_string(number);
  // Four digits at least, so the first 999 names all begin with "File0", which is what
  // the check for an earlier recovery in the destination folder looks for.
  if (digits.size() < 4) digits.insert(0, 4 - digits.size(), '0');
  return digits;
}

std::string RecoveredFileName(uint32_t number, const std::string& type) {
  return kRecoveredPrefix + FileNumberText(number) + "." + type;
}

std::string TemporaryFileName(uint32_t number, const std::string& type) {
  return kTempPrefix + FileNumberText(number) + "_" + type + kTempSuffix;
}

std::string TemporaryFilePattern() { return std::string(kTempPrefix) + "*" + kTempSuffix; }

std::string TemporaryNameForm() { return std::string(kTempPrefix) + "<number>_<type>" + kTempSuffix; }

std::string RecoveredNameOfTemporary(const std::string& tempName) {
  const std::string prefix = kTempPrefix;
  const std::string suffix = kTempSuffix;
  if (tempName.size() <= prefix.size() + suffix.size() || tempName.compare(0, prefix.size(), prefix) != 0)
    return {};
  if (UpperCase(tempName.substr(tempName.size() - suffix.size())) != suffix) return {};
  const std::string middle = tempName.substr(prefix.size(), tempName.size() - prefix.size() - suffix.size());
  const size_t underscore = middle.find('_');
  if (underscore == std::string::npos || underscore < 4 || underscore + 1 >= middle.size()) return {};
  const std::string number = middle.substr(0, underscore);
  const std::string type = middle.substr(underscore + 1);
  const auto digit = [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; };
  const auto alnum = [](char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; };
  if (!std::all_of(number.begin(), number.end(), digit) || !std::all_of(type.begin(), type.end(), alnum))
    return {};
  return kRecoveredPrefix + number + "." + UpperCase(type);
}

void WriteFolderNote(const std::filesystem::path& tempFolder) {
  char stamp[64] = "";
  const std::time_t now = std::time(nullptr);
  std::tm local {};
  if (localtime_r(&now, &local) != nullptr) {
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &local);
  }
  static const char* const kLines[] = {
      "",
      "About This TmpFiles Folder",
      "",
      "此文件夹是用于 Snapsalvager 存储临时文件",
      "on scanning your memory card. ",
      "Files in this TMPFiles folder all have a \".~QX\" extension name",
      "which are encoded/compressed and cannot be used or open directly. ",
      "Once the whole recovery completes, the final recovered files ",
      "would be saved to the upper level folder instead of this folder.",
      "",
      "You may remove the TMPFiles folder and \".~QX\" files safely to release the space they "
      "take",
      "in case you uninstall Snapsalvager or do not need the temporary files.",
      "",
      "Snapsalvager performs read-only operation on your source memory card, so unless you have "
      "re-used",
      "your memory card (took new pictures on the same memory card), or the memory card is in "
      "unstable state,",
      "you may still use Snapsalvager to recover the pictures from the memory card once again.",
      "",
      nullptr,  // "Generated at " line
      "",
  };
  std::string text;
  for (const char* line : kLines) {
    text += line != nullptr ? std::string(line) : std::string("Generated at ") + stamp;
    text += "\r\n";
  }
  const std::filesystem::path file = tempFolder / kFolderNoteName;
  const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644);
  if (fd < 0) return;  // the note is a courtesy; a failure here must not stop the scan
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  ::close(fd);
}

}  // namespace snapsalvager
