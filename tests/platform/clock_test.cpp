#include "platform/clock.h"

#include <gtest/gtest.h>

namespace qx80 {
namespace {

TEST(ClockTest, TicksSinceHandlesWrapAround) {
  EXPECT_EQ(TicksSince(0xFFFFFF00u, 0x00000010u), 0x110u);
  EXPECT_EQ(TicksSince(100u, 350u), 250u);
}

TEST(ClockTest, ScaledClockRunsFasterAndStartsAtItsOffset) {
  ScaledClock clock(1000.0, 0xFFFFFFF0u);
  const uint32_t start = clock.TickCount();
  EXPECT_GE(start, 0xFFFFFFF0u);
  clock.Sleep(5000);  // five clock seconds, five real milliseconds
  EXPECT_GE(TicksSince(start, clock.TickCount()), 5000u);
  EXPECT_EQ(clock.RealDuration(2000), std::chrono::milliseconds(2));
}

TEST(ClockTest, ScopedClockInstallsAndRestores) {
  ScaledClock clock(10.0);
  Clock* before = &GetClock();
  {
    ScopedClock scoped(clock);
    EXPECT_EQ(&GetClock(), &clock);
  }
  EXPECT_EQ(&GetClock(), before);
}

}  // namespace
}  // namespace qx80
