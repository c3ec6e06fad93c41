// One writer per device: the lock of a key has one holder at a time, in this process as in
// any other, and is free again as soon as its holder ends.
#include "platform/device_lock.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>

namespace qx80 {
namespace {

// A key no other test run uses at the same time (the lock is the machine's).
std::string UniqueKey(const char* name) {
  return std::string("test:") + name + ":" +
         std::to_string(std::chrono::steady_clock::now().time_since_epoch().count());
}

TEST(DeviceLockTest, OneHolderPerKeyUntilItEnds) {
  const std::string key = UniqueKey("one");
  std::string error;
  DeviceLock other;
  {
    DeviceLock first;
    ASSERT_EQ(first.Take(key, error), DeviceLock::Status::Held) << error;
    EXPECT_TRUE(first.Held());
    EXPECT_EQ(first.Take(key, error), DeviceLock::Status::Held);  // taking again changes nothing
    DeviceLock second;
    EXPECT_EQ(second.Take(key, error), DeviceLock::Status::Busy);
    EXPECT_FALSE(second.Held());
    // Another device's lock is its own.
    ASSERT_EQ(other.Take(key + "/other", error), DeviceLock::Status::Held) << error;
  }
  DeviceLock third;
  EXPECT_EQ(third.Take(key, error), DeviceLock::Status::Held) << error;
}

// The name is the same on every platform, whatever the key holds: 64-bit FNV-1a.
TEST(DeviceLockTest, NameIsTheKeysHash) {
  EXPECT_EQ(DeviceLockName(""), "qx80-device-cbf29ce484222325");
  EXPECT_EQ(DeviceLockName("a"), "qx80-device-af63dc4c8601ec8c");
  EXPECT_EQ(DeviceLockName("usb:/sys/devices/pci0000:00/0000:00:14.0/usb1/1-2").size(), 28u);
}

}  // namespace
}  // namespace qx80
