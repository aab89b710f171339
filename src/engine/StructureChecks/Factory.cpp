// Which check follows a file of each type.
#include <cstring>

#include "engine/StructureChecks/Formats.h"

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

}  // namespace

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
