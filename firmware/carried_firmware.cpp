// Kept apart from the rest of the slots so that only executables that carry the package
// link the resource reader.
#include "firmware/firm_slots.h"
#include "platform/resources/resources.h"
#include "platform/resources/shared_resource_ids.h"

namespace qx80 {

std::span<const uint8_t> CarriedFirmwarePackage() {
  return FindResourceBytes(ResourceType::Named(u"BIN"), IDR_FIRMWARE);
}

int FirmSlots::LoadCarriedFirmware() {
  const auto package = CarriedFirmwarePackage();
  if (package.empty()) {
    return 0;
  }
  ClearFirmSlots();
  // The resource is read-only and lives as long as the process: the slots point into it.
  return LoadParts(package, nullptr);
}

}  // namespace qx80
