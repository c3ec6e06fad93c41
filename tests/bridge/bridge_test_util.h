#pragma once
// Helpers of the bridge tests. The bounds only keep a fault from hanging a test: nothing
// here measures how long anything takes.
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <thread>

#include "device/hid_device.h"

namespace qx80 {

inline constexpr int32_t kQx80Vendor = 0x1F5E;
inline constexpr int32_t kBoundMs = 10000;

// Polls `condition` until it holds or the bound has passed.
template <typename Condition>
bool Eventually(Condition condition) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kBoundMs);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) {
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

// Opens the QX-80 under `productId` (64-byte reports) once the bridge has announced it.
inline bool OpenEventually(CHidDevice& device, int32_t productId) {
  return Eventually([&] { return device.Open(kQx80Vendor, productId, 64, 64, 0) != nullptr; });
}

// Writes one report and expects the device to answer with the same payload.
inline void ExpectEchoed(CHidDevice& device, uint8_t seed) {
  std::array<uint8_t, 64> sent{};
  for (size_t i = 0; i < sent.size(); ++i) {
    sent[i] = static_cast<uint8_t>(seed + i);
  }
  ASSERT_EQ(device.WriteReport(sent.data(), 500), 1);
  std::array<uint8_t, 64> received{};
  ASSERT_EQ(device.ReadReport(received.data(), kBoundMs), 1);
  EXPECT_EQ(received, sent);
}

}  // namespace qx80
