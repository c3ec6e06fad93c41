// Kept apart from the rest of the slots so that only executables that carry the package
// link the resource reader.
#include "firmware/firm_slots.h"
#include "platform/resources/resources.h"
#include "platform/resources/shared_resource_ids.h"

namespace qx80 {

int FirmSlots::LoadCarriedFirmware() {
  const auto package = FindResourceBytes(ResourceType::Named(u"BIN"), IDR_FIRMWARE);
  if (package.empty()) {
    return 0;
  }
  ClearFirmSlots();
  return LoadFirmPackageCopy(package);
}

}  // namespace qx80
