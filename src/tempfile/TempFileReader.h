// Reader of temporary files: unscrambles the head on the fly, reports a capped size.
// Also the note file of the temporary folder.
#pragma once

#include <cstdint>
#include <filesystem>

namespace snapsalvager {

// Length of the directory entry at path; 0 when there is none or the lookup fails.
int64_t GetFileSizeByName(const std::filesystem::path& path);

class TPreviewFileStream {
 public:
  // Takes the size from GetFileSizeByName, then opens the file read-only.
  // Throws std::runtime_error when it cannot be opened.
  explicit TPreviewFileStream(const std::filesystem::path& path);
  ~TPreviewFileStream();
  TPreviewFileStream(const TPreviewFileStream&) = delete;
  TPreviewFileStream& operator=(const TPreviewFileStream&) = delete;

  // Reads up to count bytes at the current position; the part inside the head is
  // unscrambled when Encoded. Returns the bytes read (0 at the end).
  int32_t Read(void* buffer, int32_t count);
  // The smaller of the file size and MaxSize (0 when MaxSize is 0).
  int64_t GetSize() const;
  // origin SEEK_SET, SEEK_CUR or SEEK_END (from MaxSize when the file is larger).
  // Returns the new position, or -1.
  int64_t Seek(int64_t offset, int origin);
  int64_t Position() const;

  int64_t MaxSize = 0;  // must be set by every user
  bool Encoded = false;
  int32_t EncodedLength = 0;
  uint8_t EncodeKey = 0;

 private:
  int fd_ = -1;
  int64_t file_size_ = 0;
  int64_t position_ = 0;
};

// The head settings of every temporary file.
inline constexpr int32_t kTempHeadLength = 512;
inline constexpr uint8_t kTempHeadKey = 0xD3;

// Writes "AboutThisFolder.txt" (19 lines, CR LF) into tempFolder; errors are ignored.
void WriteFolderNote(const std::filesystem::path& tempFolder);

}  // namespace snapsalvager
