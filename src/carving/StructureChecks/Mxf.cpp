// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// MXF (professional camcorders): a chain of KLV packets from the header partition pack to
// the footer partition and its random index pack.
#include <cstring>

#include "carving/StructureChecks/Formats.h"
#include "carving/StructureChecks/TodaysTypes.h"

namespace snapsalvager::structure {
namespace {

constexpr uint64_t kMxfCarries = Bit("JPG") | Bit("MPG") | Bit("MP3");

constexpr uint8_t kUlPrefix[4] = {0x06, 0x0E, 0x2B, 0x34};
// A partition pack's key up to its kind (byte 13: 2 header, 3 body, 4 footer).
constexpr uint8_t kPartitionKey[13] = {0x06, 0x0E, 0x2B, 0x34, 0x02, 0x05, 0x01,
                                       0x01, 0x0D, 0x01, 0x02, 0x01, 0x01};
constexpr uint8_t kRandomIndexKind = 0x11;
constexpr uint32_t kKlvHead = 17;  // key and the first byte of its BER length

// The partition kind (2-4, 0x11 for the random index pack) of a key, or 0.
uint8_t PartitionKind(const uint8_t* key) {
  if (std::memcmp(key, kPartitionKey, sizeof kPartitionKey) != 0) return 0;
  if (key[13] >= 2 && key[13] <= 4 && key[14] >= 1 && key[14] <= 4 && key[15] == 0) return key[13];
  if (key[13] == kRandomIndexKind && key[14] == 1 && key[15] == 0) return kRandomIndexKind;
  return 0;
}

// The BER-coded length after a key: the value's length and the length field's own; false
// for a form no writer uses.
bool BerLength(const uint8_t* p, uint64_t* length, uint32_t* fieldBytes) {
  if (p[0] < 0x80) {
    *length = p[0];
    *fieldBytes = 1;
    return true;
  }
  const uint32_t n = p[0] & 0x7F;
  if (n == 0 || n > 8) return false;
  uint64_t v = 0;
  for (uint32_t k = 1; k <= n; ++k) v = v << 8 | p[k];
  if (v >> 56) return false;  // no card is that large
  *length = v;
  *fieldBytes = 1 + n;
  return true;
}

class TMxfCheck final : public TStructureCheck {
 public:
  explicit TMxfCheck(uint64_t limit) : TStructureCheck(limit, kMxfCarries) { Expect(0, kKlvHead); }

 protected:
  void OnHead(const uint8_t* h) override {
    const uint8_t kind = PartitionKind(h);
    if (std::memcmp(h, kUlPrefix, 4) != 0 || (footer_ && kind == 2)) {
      // Past the footer the file has ended; before it, the file was cut or overwritten.
      return footer_ ? EndsAt(at_) : Broken();
    }
    if (at_ == 0 && kind != 2) return Broken();
    // The rest of a long-form length; never more than the packet holds, as a fill packet
    // may be shorter than the longest head.
    const uint32_t lengthBytes = h[16] < 0x80 ? 1 : 1 + (h[16] & 0x7F);
    if (lengthBytes > 9) return Broken();
    if (need_ < 16 + lengthBytes) return More(16 + lengthBytes);
    uint64_t length = 0;
    uint32_t field = 0;
    if (!BerLength(h + 16, &length, &field)) return Broken();
    const uint64_t size = 16 + field + length;
    if (size > limit_ - at_) return Broken();
    if (kind == 4) footer_ = true;
    if (kind == kRandomIndexKind) return EndsOnceFed(at_ + size);  // always the last packet
    Expect(at_ + size, kKlvHead);
  }

 private:
  bool footer_ = false;
};

}  // namespace

bool IsMxfHeader(const uint8_t* s, uint32_t size) {
  if (size < 64 || PartitionKind(s) != 2) return false;
  uint64_t length = 0;
  uint32_t field = 0;
  // The pack: version 1, a KAG size, this partition at 0, the previous at 0.
  if (!BerLength(s + 16, &length, &field) || length < 88) return false;
  const uint8_t* v = s + 16 + field;
  return Be16(v) == 1 && AllZero(v + 8, 8) && AllZero(v + 16, 8);
}

std::unique_ptr<TStructureCheck> MakeMxfCheck(uint64_t limit) {
  return std::make_unique<TMxfCheck>(limit);
}

}  // namespace snapsalvager::structure
