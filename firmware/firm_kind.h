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

// What each kind is called where it is shown.
struct FirmKindNameRow {
  FirmKind kind;
  const char* name;
};
inline constexpr FirmKindNameRow kFirmKindNames[] = {
    {FIRM_KIND_TIPA, "TIPA"}, {FIRM_KIND_UAMC, "UAMC"}, {FIRM_KIND_FWUP, "FWUP"},
    {FIRM_KIND_FQI, "FQI"},   {FIRM_KIND_AGPF, "AGPF"}, {FIRM_KIND_SIAM, "SIAM"},
};

// The name of `kind`; null for a value that is no kind.
constexpr const char* FirmKindName(FirmKind kind) {
  for (const FirmKindNameRow& row : kFirmKindNames) {
    if (row.kind == kind) {
      return row.name;
    }
  }
  return nullptr;
}

}  // namespace qx80
