// Which raw type a TIFF-structured file is: by its own magic where it has one, else by the
// tags of its first IFD (DNGVersion, Make, the JPEG thumbnail of a Coolpix raw).
#include <algorithm>
#include <cstring>

#include "carving/StructureChecks/Formats.h"
#include "carving/StructureChecks/TodaysTypes.h"

namespace snapsalvager {
namespace {

constexpr uint32_t kMaxIfd0Entries = 500;

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

// The makers whose raw files are plain TIFF structure, and the type each camera writes.
std::string_view TypeOfMaker(std::string_view make, bool panasonicMagic, bool jpegIfd0, bool canonMagic) {
  if (panasonicMagic) return StartsWith(make, "LEICA") ? "RWL" : "RW2";
  if (StartsWith(make, "NIKON")) return jpegIfd0 ? "NRW" : "NEF";
  if (StartsWith(make, "SONY")) return "ARW";
  if (StartsWith(make, "Canon")) return canonMagic ? "CR2" : "";
  if (StartsWith(make, "PENTAX") || StartsWith(make, "RICOH IMAGING")) return "PEF";
  if (StartsWith(make, "OLYMPUS") || StartsWith(make, "OM Digital")) return "ORF";
  if (StartsWith(make, "SAMSUNG")) return "SRW";
  if (StartsWith(make, "Hasselblad")) return "3FR";
  if (StartsWith(make, "Phase One") || StartsWith(make, "Leaf")) return "IIQ";
  if (StartsWith(make, "Kodak") || StartsWith(make, "KODAK") || StartsWith(make, "EASTMAN KODAK")) return "DCR";
  return {};
}

}  // namespace

std::string_view RawTypeByMaker(const uint8_t* s, uint32_t size) {
  using namespace structure;
  if (size < 16) return {};
  const bool le = s[0] == 'I' && s[1] == 'I';
  if (!le && !(s[0] == 'M' && s[1] == 'M')) return {};
  auto u16 = [&](uint32_t o) { return le ? Le16(s + o) : Be16(s + o); };
  auto u32 = [&](uint32_t o) { return le ? Le32(s + o) : Be32(s + o); };
  const uint32_t magic = u16(2);
  if (magic != 42 && magic != 0x55 && magic != 0x4F52 && magic != 0x5352) return {};
  if (magic == 42 && std::memcmp(s + 8, "IIII", 4) == 0 && le) return "IIQ";  // Phase One's own block
  const uint32_t ifd = u32(4);
  if (ifd < 8 || ifd > size - 2) return {};
  const uint32_t count = u16(ifd);
  if (count == 0 || count > kMaxIfd0Entries) return {};
  // A long IFD0 (a DNG's) runs on into the next sector: the entries here still tell.
  const uint32_t inSector = std::min<uint32_t>(count, (size - ifd - 2) / 12);
  std::string_view make;
  bool dng = false, jpegIfd0 = false;
  uint32_t lastTag = 0;
  for (uint32_t e = 0; e < inSector; ++e) {
    const uint32_t entry = ifd + 2 + 12 * e;
    const uint32_t tag = u16(entry), type = u16(entry + 2), n = u32(entry + 4);
    // Writers keep the tags in ascending order; random bytes almost never do.
    if (type == 0 || type > 13 || tag <= lastTag) return {};
    lastTag = tag;
    if (tag == 0xC612) dng = true;
    if (tag == 0x103 && type == 3 && n == 1 && u16(entry + 8) == 6) jpegIfd0 = true;
    if (tag == 0x10F && type == 2 && n > 0 && n < 64) {
      const uint32_t at = n <= 4 ? entry + 8 : u32(entry + 8);
      if (at >= size || n > size - at) continue;  // beyond this sector: the maker is not told
      make = std::string_view(reinterpret_cast<const char*>(s + at), n);
      while (!make.empty() && (make.back() == '\0' || make.back() == ' ')) make.remove_suffix(1);
    }
  }
  if (dng) return "DNG";
  if (magic == 0x4F52 || magic == 0x5352) return "ORF";
  const bool canonMagic = s[8] == 'C' && s[9] == 'R';
  return TypeOfMaker(make, magic == 0x55, jpegIfd0, canonMagic);
}

}  // namespace snapsalvager
