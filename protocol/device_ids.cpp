#include "protocol/device_ids.h"

#include "device/hid_device.h"
#include "protocol/message.h"

namespace qx80 {

namespace {
constexpr auto kLength = static_cast<int32_t>(kReportSize);
}  // namespace

int32_t Qx80ModeOf(const HidInterfaceCaps& caps) {
  const bool reportsFit = caps.inputReportLength == kLength + 1 && caps.outputReportLength == kLength + 1;
  return reportsFit ? Qx80ModeOfIds(caps.vendorId, caps.productId) : 0;
}

bool OpenQx80(CHidDevice& hid, int32_t productId) {
  // CHidDevice's match of ids and payload lengths is the same rule as Qx80ModeOf.
  return hid.Open(QX80_VENDOR_ID, productId, kLength, kLength, 0) != nullptr;
}

}  // namespace qx80
