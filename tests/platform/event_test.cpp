#include "platform/event.h"

#include <gtest/gtest.h>

#include <thread>

#include "platform/clock.h"

namespace qx80 {
namespace {

TEST(EventTest, ManualResetReleasesEveryWaiterUntilReset) {
  Event event;
  EXPECT_FALSE(event.Wait(0));
  event.Set();
  EXPECT_TRUE(event.Wait(0));
  EXPECT_TRUE(event.Wait(-1));  // stays set
  event.Reset();
  EXPECT_FALSE(event.IsSet());
}

TEST(EventTest, TimedWaitEndsUnsetAndASetFromAnotherThreadReleases) {
  ScaledClock clock(1000.0, Bounds::Scaled);
  ScopedClock scoped(clock);
  Event event;
  EXPECT_FALSE(event.Wait(100));
  std::thread setter([&event] { event.Set(); });
  EXPECT_TRUE(event.Wait(-1));
  setter.join();
}

}  // namespace
}  // namespace qx80
