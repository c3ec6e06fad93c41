#include "protocol/device_ids.h"

#include "device/hid_device.h"
#include "protocol/message.h"

namespace qx80 {

bool OpenQx80(CHidDevice& hid, int32_t productId) {
  constexpr auto kLength = static_cast<int32_t>(kReportSize);
  return hid.Open(QX80_VENDOR_ID, productId, kLength, kLength, 0) != nullptr;
}

}  // namespace qx80
