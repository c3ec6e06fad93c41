// One writer per QX-80 through the links of the front ends: the second link to one device
// is refused before it reaches the device, and a simulated device, which no other process
// can reach, takes no lock.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <string>

#include "link/device_link.h"

namespace qx80 {
namespace {

TEST(DeviceLinkLockTest, SecondLinkToOneBridgeIsRefusedBeforeReachingIt) {
  // A loopback address of this run alone (the lock is the machine's), where nothing listens.
  const auto n = static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
  const std::string device = "bridge:127." + std::to_string(n % 251 + 1) + "." + std::to_string(n / 251 % 251 + 1) +
                             "." + std::to_string(n / 63001 % 251 + 1) + ":1";
  std::string error;
  DeviceLink first(1.0);
  ASSERT_TRUE(first.OpenBus(device, error)) << error;
  ASSERT_EQ(first.Lock(error), DeviceLock::Status::Held) << error;
  {
    DeviceLink second(1.0);
    ASSERT_TRUE(second.OpenBus(device, error)) << error;
    EXPECT_EQ(second.Lock(error), DeviceLock::Status::Busy);
    DeviceLink elsewhere(1.0);
    ASSERT_TRUE(elsewhere.OpenBus(device + "0", error)) << error;
    EXPECT_EQ(elsewhere.Lock(error), DeviceLock::Status::Held) << error;
  }
  EXPECT_EQ(first.Lock(error), DeviceLock::Status::Held);
}

TEST(DeviceLinkLockTest, SimulatedDevicesTakeNone) {
  std::string error;
  DeviceLink first(1.0);
  ASSERT_TRUE(first.OpenBus("sim", error)) << error;
  ASSERT_TRUE(first.Choose({}, error)) << error;
  EXPECT_EQ(first.Lock(error), DeviceLock::Status::Held);
  DeviceLink second(1.0);
  ASSERT_TRUE(second.OpenBus("sim", error)) << error;
  ASSERT_TRUE(second.Choose({}, error)) << error;
  EXPECT_EQ(second.Lock(error), DeviceLock::Status::Held);
}

}  // namespace
}  // namespace qx80
