#pragma once
// The rules that compare the device's firmware versions with the carried image's: how a
// short version text becomes an ordered number, when an update is needed, and which of the
// device's texts is shown as its current version. Plain logic, no window system.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "firmware/firm_kind.h"

namespace qx80 {

constexpr size_t kComponentSlots = FIRM_SLOT_COUNT;  // the firmware kinds 0 to 4

// The inputs, indexed by component slot.
struct VersionSlots {
  std::array<bool, kComponentSlots> loaded{};          // the image holds a part for the slot
  std::array<std::u16string, kComponentSlots> device;  // "" unread, "---" query failed
  std::array<std::u16string, kComponentSlots> image;   // "" unless the part passed its check
};

// "2.09" -> 0x02000900, "209a" -> 0x02000961; anything else -> 0 (no usable version).
int32_t VersionTextToNumber(std::u16string_view text);

bool IsUpdateNeeded(const VersionSlots& slots);

// After an update: whether the device shows exactly the version of every part the image
// holds. A version the device did not give, or one that is no usable version, is not shown.
bool AreVersionsInstalled(const VersionSlots& slots);

enum class CurrentVersionSlot { None, Uamc, Fwup };
// Which device text the main window shows as the current version.
CurrentVersionSlot SelectCurrentVersion(const VersionSlots& slots);

}  // namespace qx80
