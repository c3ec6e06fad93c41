#include "platform/clock.h"

#include <gtest/gtest.h>

#include <chrono>
#include <limits>

namespace qx80 {
namespace {

TEST(ClockTest, TicksSinceHandlesWrapAround) {
  EXPECT_EQ(TicksSince(0xFFFFFF00u, 0x00000010u), 0x110u);
  EXPECT_EQ(TicksSince(100u, 350u), 250u);
}

TEST(ClockTest, ScaledClockRunsFasterAndStartsAtItsOffset) {
  // Sixteen clock milliseconds before the wrap pass in 16 real microseconds, so the first
  // reading may already have wrapped: it is checked against the real time that went by.
  const auto before = std::chrono::steady_clock::now();
  ScaledClock clock(1000.0, Bounds::Scaled, 0xFFFFFFF0u);
  const uint32_t start = clock.TickCount();
  const std::chrono::duration<double, std::milli> real = std::chrono::steady_clock::now() - before;
  EXPECT_LE(TicksSince(0xFFFFFFF0u, start), static_cast<uint32_t>(real.count() * 1000.0) + 1);
  clock.Sleep(5000);  // five clock seconds, five real milliseconds
  EXPECT_GE(TicksSince(start, clock.TickCount()), 5000u);
  EXPECT_EQ(clock.RealDuration(2000), std::chrono::milliseconds(2));
}

TEST(ClockTest, SpeedUpsOutsideItsRangeAreHeldToIt) {
  const struct {
    double speedup;
    std::chrono::nanoseconds fiveSeconds;  // what 5000 clock ms last
  } cases[] = {
      {1e300, std::chrono::microseconds(5)}, {std::numeric_limits<double>::infinity(), std::chrono::microseconds(5)},
      {1e-300, std::chrono::seconds(5000)},  {0.0, std::chrono::seconds(5000)},
      {-3.0, std::chrono::seconds(5000)},    {std::numeric_limits<double>::quiet_NaN(), std::chrono::seconds(5000)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.speedup);
    ScaledClock clock(c.speedup, Bounds::Scaled);
    EXPECT_EQ(clock.RealDuration(5000), c.fiveSeconds);
    EXPECT_GT(clock.RealBound(0xFFFFFFFFu).count(), 0);
    clock.TickCount();  // the sanitizer build catches a conversion that overflows
  }
}

TEST(ClockTest, ScaledDurationsAreTheNearestNanosecond) {
  // The i686 program divides at the x87's extended precision: a quotient just below a whole
  // number there must not lose a nanosecond, whatever precision the division ran at.
  const struct {
    double speedup;
    uint32_t ms;
    std::chrono::nanoseconds real;
  } cases[] = {
      {kSlowestClockSpeedup, 5000, std::chrono::seconds(5000)},
      {kSlowestClockSpeedup, 1, std::chrono::seconds(1)},
      {0.003, 3, std::chrono::seconds(1)},
      {0.007, 1, std::chrono::nanoseconds(142857143)},  // 142,857,142.86
      {3.0, 1, std::chrono::nanoseconds(333333)},       // 333,333.33
      {kFastestClockSpeedup, 1, std::chrono::nanoseconds(1)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.ms << " ms at " << c.speedup);
    ScaledClock clock(c.speedup, Bounds::Scaled);
    EXPECT_EQ(clock.RealDuration(c.ms), c.real);
  }
}

TEST(ClockTest, BoundsRunScaledOrInRealTime) {
  ScaledClock clock(1000.0, Bounds::Real);
  EXPECT_EQ(clock.RealBound(5000), std::chrono::seconds(5));
  EXPECT_EQ(clock.RealBound(0), std::chrono::nanoseconds(0));
  EXPECT_EQ(clock.RealDuration(5000), std::chrono::milliseconds(5));
  clock.SetBounds(Bounds::Scaled);
  EXPECT_EQ(clock.RealBound(5000), std::chrono::milliseconds(5));
}

TEST(ClockTest, ScopedClockInstallsAndRestores) {
  ScaledClock clock(10.0, Bounds::Scaled);
  Clock* before = &GetClock();
  {
    ScopedClock scoped(clock);
    EXPECT_EQ(&GetClock(), &clock);
  }
  EXPECT_EQ(&GetClock(), before);
}

}  // namespace
}  // namespace qx80
