#include "workers/probe_device.h"

#include "device/hid_device.h"
#include "protocol/device_ids.h"

namespace qx80 {

DeviceMode ProbeDevice() {
  CHidDevice device;
  for (const Qx80Product& product : kQx80Products) {
    const bool opened = OpenQx80(device, product.productId);
    device.Close();
    if (opened) {
      return product.mode;
    }
  }
  return DEVICE_MODE_ABSENT;
}

}  // namespace qx80
