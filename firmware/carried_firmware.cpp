// Kept apart from the rest of the slots so that only executables that carry the package
// link the resource reader.
#include "firmware/firm_slots.h"
#include "platform/resources.h"

namespace qx80 {

constexpr uint16_t CARRIED_FIRMWARE_RESOURCE_ID = 131;

int FirmSlots::LoadCarriedFirmware() {
  const auto package = FindResourceBytes(ResourceType::Named(u"BIN"), CARRIED_FIRMWARE_RESOURCE_ID);
  if (package.empty()) {
    return 0;
  }
  ClearFirmSlots();
  return LoadFirmPackageCopy(package);
}

}  // namespace qx80
