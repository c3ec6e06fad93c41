#include "workers/probe_device.h"

#include "device/hid_device.h"

namespace qx80 {
namespace {

bool Present(CHidDevice& device, int32_t productId) {
  const bool opened = device.Open(kQx80VendorId, productId, kQx80ReportLength, kQx80ReportLength, 0) != nullptr;
  device.Close();
  return opened;
}

}  // namespace

DeviceMode ProbeDevice() {
  CHidDevice device;
  if (Present(device, kQx80NormalProductId) || Present(device, kQx80NormalProductIdAlt)) {
    return DEVICE_MODE_NORMAL;
  }
  if (Present(device, kQx80UpdateProductId)) {
    return DEVICE_MODE_UPDATE;
  }
  return DEVICE_MODE_ABSENT;
}

}  // namespace qx80
