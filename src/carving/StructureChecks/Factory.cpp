// Which check follows a file of each type.
#include <cstring>

#include "carving/StructureChecks/Formats.h"

namespace snapsalvager {
namespace {

// IIQ is left out: Phase One keeps the raw data in its own directory, not in TIFF strips.
bool IsTiffBased(std::string_view type) {
  for (std::string_view t : {"TIF", "NEF", "CR2", "DCR", "SRF", "PEF", "DNG", "ORF", "RAW", "ARW",
                             "NRW", "RW2", "RWL", "SRW", "3FR"}) {
    if (t == type) return true;
  }
  return false;
}

// An ASF header object: a sane size, and a File Properties object among the child objects
// that lie in the first sector (when the walk leaves the sector first, it cannot tell).
bool ImpossibleAsf(const uint8_t* s, uint32_t size) {
  static constexpr uint8_t kHeader[16] = {0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                                          0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
  static constexpr uint8_t kFileProperties[16] = {0xA1, 0xDC, 0xAB, 0x8C, 0x47, 0xA9, 0xCF, 0x11,
                                                  0x8E, 0xE4, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65};
  constexpr uint64_t kMaxHeader = 64 << 20;
  if (std::memcmp(s, kHeader, 16) != 0) return true;
  const uint64_t header = structure::Le64(s + 16);
  if (header < 30 + 24 || header > kMaxHeader || structure::Le32(s + 24) == 0) return true;
  for (uint64_t at = 30; at + 24 <= size; ) {
    if (at + 24 > header) return true;  // the children ended without File Properties
    const uint64_t object = structure::Le64(s + at + 16);
    if (object < 24 || object > header - at) return true;
    if (std::memcmp(s + at, kFileProperties, 16) == 0) return false;
    at += object;
  }
  return false;
}

// A RIFF with room for a chunk, and a first chunk with a name and a size that fits.
bool ImpossibleRiff(const uint8_t* s) {
  const uint64_t riff = structure::Le32(s + 4);
  if (std::memcmp(s, "RIFF", 4) != 0 || riff < 4 + 8 || !structure::Printable4(s + 8)) return true;
  return !structure::Printable4(s + 12) || 4 + 8 + uint64_t{structure::Le32(s + 16)} > riff;
}

// An ISO file's first box: one a camera writes first, of a size that can be.
bool ImpossibleIsoBox(const uint8_t* s) {
  const uint32_t size = structure::Be32(s);
  if (std::memcmp(s + 4, "ftyp", 4) == 0) return size < 16 || size > 4096;
  static constexpr const char* kFirst[] = {"moov", "mdat", "free", "skip", "wide", "pnot", "junk", "pict", "PICT", "uuid"};
  for (const char* t : kFirst) {
    if (std::memcmp(s + 4, t, 4) == 0) return size != 0 && size < 8 && !(size == 1 && structure::Be64(s + 8) >= 16);
  }
  return true;
}

}  // namespace

bool ImpossibleStart(std::string_view type, const uint8_t* first, uint32_t sectorSize) {
  if (first == nullptr || sectorSize < 400) return false;
  if (type == "ASF") return ImpossibleAsf(first, sectorSize);
  if (type == "AVI" || type == "WAV") return ImpossibleRiff(first);
  if (type == "MOV" || type == "MP4" || type == "3GP") return ImpossibleIsoBox(first);
  return false;
}

std::unique_ptr<TStructureCheck> MakeStructureCheck(std::string_view type, const uint8_t* first,
                                                    uint32_t sectorSize, uint64_t limit) {
  if (first == nullptr || sectorSize < 400) return nullptr;
  const bool isoBox = std::memcmp(first + 4, "ftyp", 4) == 0;
  if (type == "JPG") return structure::MakeJpegCheck(limit);
  if (type == "AVI") return structure::MakeRiffCheck(limit, true);
  if (type == "WAV") return structure::MakeRiffCheck(limit, false);
  if (type == "MOV" || type == "MP4" || type == "3GP" || (type == "MTS" && isoBox)) {
    return structure::MakeIsoCheck(limit);
  }
  if (type == "CR3" || type == "M4A") return structure::MakeIsoCheck(limit);
  if (type == "HEIC" || type == "HEIF" || type == "AVIF") return structure::MakeIsoCheck(limit, true);
  if (type == "FLAC") return structure::MakeFlacCheck(limit);
  if (type == "MXF") return structure::MakeMxfCheck(limit);
  if (type == "MPG") return structure::MakeProgramStreamCheck(limit);
  if (type == "MTS") {
    if (first[0] == 0x47 && first[188] == 0x47) return structure::MakeTransportStreamCheck(limit, 188);
    if (first[4] == 0x47 && first[196] == 0x47) return structure::MakeTransportStreamCheck(limit, 192);
    return nullptr;
  }
  if (type == "ASF") return structure::MakeAsfCheck(limit);
  if (type == "MP3") return structure::MakeMp3Check(limit);
  if (type == "AMR") return structure::MakeAmrCheck(limit);
  if (IsTiffBased(type)) return structure::MakeTiffCheck(limit);
  return nullptr;
}

}  // namespace snapsalvager
