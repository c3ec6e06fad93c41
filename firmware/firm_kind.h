#pragma once
// The device's firmware image kinds. Kinds 0 to 4 double as the index of an image slot, an
// image version text and the device's version text of that component.
#include <cstdint>

namespace qx80 {

using FirmKind = int32_t;

constexpr FirmKind FIRM_KIND_UNKNOWN = -1;
constexpr FirmKind FIRM_KIND_TIPA = 0;
constexpr FirmKind FIRM_KIND_UAMC = 1;
constexpr FirmKind FIRM_KIND_FWUP = 2;
constexpr FirmKind FIRM_KIND_FQI = 3;
constexpr FirmKind FIRM_KIND_AGPF = 4;
constexpr FirmKind FIRM_KIND_SIAM = 256;

// Number of slot kinds (0 to 4); SIAM-wrapped images never go into a slot.
constexpr int FIRM_SLOT_COUNT = 5;

}  // namespace qx80
