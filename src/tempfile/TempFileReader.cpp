// Reader of temporary files and the note file of the temporary folder.
#include "tempfile/TempFileReader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <stdexcept>
#include <string>

namespace snapsalvager {

int64_t GetFileSizeByName(const std::filesystem::path& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return 0;
  return static_cast<int64_t>(st.st_size);
}

TPreviewFileStream::TPreviewFileStream(const std::filesystem::path& path) {
  file_size_ = GetFileSizeByName(path);
  do {
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  } while (fd_ < 0 && errno == EINTR);
  int err = errno;
  if (fd_ >= 0) {
    // A folder opens on Linux but is no file to read.
    struct stat st {};
    if (::fstat(fd_, &st) != 0 || S_ISDIR(st.st_mode)) {
      err = S_ISDIR(st.st_mode) ? EISDIR : errno;
      ::close(fd_);
      fd_ = -1;
    }
  }
  if (fd_ < 0) {
    throw std::runtime_error("Cannot open file \"" + path.string() + "\". " +
                             std::strerror(err));
  }
}

TPreviewFileStream::~TPreviewFileStream() {
  if (fd_ >= 0) ::close(fd_);
}

int32_t TPreviewFileStream::Read(void* buffer, int32_t count) {
  if (count <= 0 || position_ < 0) return 0;
  auto* bytes = static_cast<uint8_t*>(buffer);
  const int64_t p = position_;
  int32_t got = 0;
  while (got < count) {
    const ssize_t n =
        ::pread(fd_, bytes + got, static_cast<size_t>(count - got), static_cast<off_t>(p + got));
    if (n < 0) {
      if (errno == EINTR) continue;
      break;  // an unreadable file reads as ending here
    }
    if (n == 0) break;
    got += static_cast<int32_t>(n);
  }
  position_ = p + got;
  // Only the bytes actually read are unscrambled: the rest of the caller's buffer is not ours.
  if (Encoded && p < EncodedLength) {
    const int64_t n = std::min<int64_t>(got, EncodedLength - p);
    for (int64_t i = 0; i < n; ++i) bytes[i] ^= EncodeKey;
  }
  return got;
}

int64_t TPreviewFileStream::GetSize() const { return std::min(file_size_, MaxSize); }

int64_t TPreviewFileStream::Seek(int64_t offset, int origin) {
  int64_t target;
  switch (origin) {
    case SEEK_SET:
      target = offset;
      break;
    case SEEK_CUR:
      target = position_ + offset;
      break;
    case SEEK_END:
      target = (MaxSize > 0 && file_size_ > MaxSize ? MaxSize : file_size_) + offset;
      break;
    default:
      return -1;
  }
  if (target < 0) return -1;
  position_ = target;
  return position_;
}

int64_t TPreviewFileStream::Position() const { return position_; }

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
  const std::filesystem::path file = tempFolder / "AboutThisFolder.txt";
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
