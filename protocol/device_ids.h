#pragma once
// How the QX-80 presents itself on the bus: one vendor id, a product id for each of its modes,
// and 64-byte reports both ways. The channel, the bus probe and the device list all find the
// device by this one rule.
#include <cstdint>

#include "device/hid_backend.h"

namespace qx80 {

class CHidDevice;

constexpr int32_t QX80_VENDOR_ID = 0x1F5E;
constexpr int32_t QX80_PRODUCT_NORMAL = 0x2A01;
constexpr int32_t QX80_PRODUCT_NORMAL_ALT = 0x2A06;
constexpr int32_t QX80_PRODUCT_UPDATE = 0x2A02;

// Channel modes: the device's normal mode, or its update mode.
constexpr int32_t CHANNEL_MODE_NORMAL = 1;
constexpr int32_t CHANNEL_MODE_UPDATE = 2;

struct Qx80Product {
  int32_t productId;
  int32_t mode;
};

// In the order the device is looked for: the two normal-mode ids, then the update-mode id.
inline constexpr Qx80Product kQx80Products[] = {
    {QX80_PRODUCT_NORMAL, CHANNEL_MODE_NORMAL},
    {QX80_PRODUCT_NORMAL_ALT, CHANNEL_MODE_NORMAL},
    {QX80_PRODUCT_UPDATE, CHANNEL_MODE_UPDATE},
};

// The mode an interface with these ids would be in; 0 when they are not the QX-80's.
constexpr int32_t Qx80ModeOfIds(int32_t vendorId, int32_t productId) {
  if (vendorId != QX80_VENDOR_ID) {
    return 0;
  }
  for (const Qx80Product& product : kQx80Products) {
    if (product.productId == productId) {
      return product.mode;
    }
  }
  return 0;
}

// The mode of a QX-80 interface: the QX-80's ids and 64-byte reports both ways (65 on the
// platform, with the report-id byte); 0 for any other interface.
int32_t Qx80ModeOf(const HidInterfaceCaps& caps);

// Opens the first QX-80 interface under `productId` into `hid`, by the rule of Qx80ModeOf.
bool OpenQx80(CHidDevice& hid, int32_t productId);

}  // namespace qx80
