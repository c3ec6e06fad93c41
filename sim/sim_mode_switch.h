#pragma once
// How the simulated QX-80 moves between its normal and its update mode (command 1, message
// 0x0001): in normal mode an acknowledged value 0 makes it leave the bus and come back under
// the update-mode product id; in update mode value 1 commits the firmware written there and
// brings it back in normal mode (when `switches` is set). The delays are clock milliseconds.
#include <cstdint>

#include "protocol/device_ids.h"

namespace qx80 {

constexpr uint16_t SIM_MSG_DEVICE_MODE = 0x0001;
constexpr uint8_t SIM_ENTER_UPDATE_MODE = 0;
constexpr uint8_t SIM_LEAVE_UPDATE_MODE = 1;

struct SimModeSwitchConfig {
  // From the acknowledgement to leaving the bus: long enough for the host to take the reply
  // even when the clock is sped up and the machine busy.
  uint32_t leaveDelayMs = 1000;
  uint32_t updateReturnDelayMs = 3000;  // off the bus before it appears in update mode
  uint32_t normalReturnDelayMs = 3000;  // off the bus before it appears in normal mode again
  // Whether command 1 restarts the device at all. A bare device answers it like any stored
  // setting, so tests of other messages may send it freely; the scenarios' devices restart.
  bool switches = false;
  bool returnsInUpdateMode = true;  // false: it never comes back after leaving for update mode
  uint32_t updateModeStayMs = 0;    // non-zero: leaves the bus for good this long after arriving
  bool takesUpdate = true;          // false: comes back from its update mode with the firmware it had
  bool returnsInNormalMode = true;  // false: it never comes back after leaving its update mode
  // The product id it comes back under in normal mode.
  uint16_t normalProductId = QX80_PRODUCT_NORMAL;
};

}  // namespace qx80
