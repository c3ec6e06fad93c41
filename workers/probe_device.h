#pragma once
// One look at the bus for the QX-80.
#include <cstdint>

#include "workers/device_mode.h"

namespace qx80 {

// Opens and closes the first matching interface under each product id in turn (in
// kQx80Products' order: the two normal-mode ids first, then the update-mode id) and returns
// the mode of the first that opens: DEVICE_MODE_NORMAL, DEVICE_MODE_UPDATE, or DEVICE_MODE_ABSENT when none does.
// A failure to open counts as absence. Keeps nothing open.
DeviceMode ProbeDevice();

}  // namespace qx80
