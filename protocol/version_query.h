#pragma once
// The version query: the host names a firmware component by its selector and the device
// answers with that component's version text. The updater and the simulated device read the
// selectors from here.
#include <cstdint>

#include "firmware/firm_kind.h"

namespace qx80 {

// The selector of each component, by kind (0 to 4).
inline constexpr uint8_t kVersionSelectors[FIRM_SLOT_COUNT] = {0x00, 0x21, 0x20, 0x22, 0x01};

}  // namespace qx80
