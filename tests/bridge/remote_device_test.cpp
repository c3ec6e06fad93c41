// Run by python_device.py, which plays the device in another process and passes its port
// in QX80_BRIDGE_PORT; under the cross build this program runs under Wine.
#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <string>

#include "device/bridge/bridge_hid_backend.h"
#include "device/hid_device.h"
#include "tests/bridge/bridge_test_util.h"

namespace qx80 {
namespace {

TEST(BridgeRemoteDeviceTest, ADevicePlayedByAnotherProcessAnswersAndSwitchesMode) {
  const char* port = std::getenv("QX80_BRIDGE_PORT");
  if (port == nullptr) {
    GTEST_SKIP() << "run by python_device.py";
  }
  std::string host;
  uint16_t number = 0;
  ASSERT_TRUE(ParseBridgeAddress(std::string("127.0.0.1:") + port, host, number));
  BridgeHidBackend bridge(host, number);
  ScopedHidBackend scoped(bridge);

  CHidDevice device;
  ASSERT_TRUE(OpenEventually(device, 0x2A01));
  ExpectEchoed(device, 0x10);
  ExpectEchoed(device, 0x90);

  // A first payload byte of 0x01 sends the device into update mode.
  std::array<uint8_t, 64> modeSwitch{0x01};
  ASSERT_EQ(device.WriteReport(modeSwitch.data(), 500), 1);
  CHidDevice updateMode;
  ASSERT_TRUE(OpenEventually(updateMode, 0x2A02));
  // The echo of the switch may still come first; then the normal-mode interface has gone.
  std::array<uint8_t, 64> buffer{};
  int read = device.ReadReport(buffer.data(), kBoundMs);
  if (read == 1) {
    EXPECT_EQ(buffer[0], 0x01);
    read = device.ReadReport(buffer.data(), kBoundMs);
  }
  EXPECT_EQ(read, 0);
  ExpectEchoed(updateMode, 0x20);
}

}  // namespace
}  // namespace qx80
