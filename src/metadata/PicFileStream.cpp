// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// Windowed byte sources for the EXIF reader.
#include "metadata/PicFileStream.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <stdexcept>

namespace snapsalvager {

TmdFileStream::TmdFileStream(const std::filesystem::path& fileName, bool encoded)
    : FileName(fileName),
      Reader(std::make_unique<TPreviewFileStream>(fileName, TReadSettings{kReaderMaxSize, encoded})),
      Window(WindowSize) {
  WindowStart = Reader->Position();
  WindowLength = Reader->Read(Window.data(), WindowSize);
}

TmdFileStream::~TmdFileStream() = default;

void TmdFileStream::LoadWindow(int64_t position) {
  if (InWindow(position)) return;
  if (Reader->Seek(position, SEEK_SET) < 0) {
    WindowStart = position;
    WindowLength = 0;
    return;
  }
  WindowStart = Reader->Position();
  WindowLength = Reader->Read(Window.data(), WindowSize);
}

uint8_t TmdFileStream::ByteAt(int64_t index) {
  LoadWindow(index);
  if (WindowEmpty()) throw std::runtime_error("Out of bounds");
  // LoadWindow starts the window at index, so a non-empty window holds it.
  const uint8_t b = Window[static_cast<size_t>(index - WindowStart)];
  Position = index + 1;
  return b;
}

uint16_t TmdFileStream::ReadWord() {
  const uint8_t first = ReadByte();
  const uint8_t second = ReadByte();
  return ByteOrder == 1 ? static_cast<uint16_t>(first << 8 | second)
                        : static_cast<uint16_t>(second << 8 | first);
}

uint32_t TmdFileStream::ReadDWord() {
  const uint32_t first = ReadWord();
  const uint32_t second = ReadWord();
  return ByteOrder == 1 ? (first << 16 | second) : (second << 16 | first);
}

int32_t TmdFileStream::ReadBytes(void* destination, int32_t count) {
  auto* out = static_cast<uint8_t*>(destination);
  int32_t copied = 0;
  // Byte by byte in effect, a window at a time in practice: stops on an empty window and
  // throws "Out of bounds" where a single ReadByte would.
  while (copied < count && !WindowEmpty()) {
    LoadWindow(Position);
    if (WindowEmpty()) throw std::runtime_error("Out of bounds");
    const int64_t available = WindowStart + WindowLength - Position;
    const int32_t n = static_cast<int32_t>(std::min<int64_t>(available, count - copied));
    std::memcpy(out + copied, Window.data() + (Position - WindowStart), static_cast<size_t>(n));
    copied += n;
    Position += n;
    // A long value (a MakerNote) is read in one go rather than window by window.
    const int32_t rest = count - copied;
    if (rest >= WindowSize) {
      if (Reader->Seek(Position, SEEK_SET) < 0) throw std::runtime_error("Out of bounds");
      const int32_t got = Reader->Read(out + copied, rest);
      copied += got;
      Position += got;
      if (got < rest) throw std::runtime_error("Out of bounds");  // the file ended inside
    }
  }
  return copied;
}

void TmdExifStream::SetPosition(int64_t position) {
  // The Exif block lives in one APP1 segment, at most 64 KiB long.
  if (SectionBase != 0 &&
      (position < 0 || position > static_cast<int64_t>(SectionBase) + 65535)) {
    throw std::runtime_error("Exif section out of bounds");
  }
  Position = position;
}

}  // namespace snapsalvager
