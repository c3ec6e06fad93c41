// The tool's message loop on a sped-up clock: a wait for something that should come runs in
// real time, and only a clock with scaled bounds lets it give up early.
#include "cli/session_loop.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "platform/clock.h"
#include "platform/window_message.h"

namespace qx80::cli {
namespace {

TEST(SessionLoopTest, AWaitGivesUpOnTheClocksBoundNotOnItsScaledTime) {
  const struct {
    const char* name;
    Bounds bounds;
    bool messageComes;
    bool result;
  } cases[] = {
      // A minute passes in 60 microseconds of this clock; the answer comes after 20 ms.
      {"an answer that comes late in clock time is still taken", Bounds::Real, true, true},
      {"a time-out as the outcome passes scaled", Bounds::Scaled, false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ScaledClock clock(1e6, c.bounds);
    ScopedClock scoped(clock);
    SessionLoop loop;
    std::thread poster;
    if (c.messageComes) {
      poster = std::thread([&loop] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        PostWindowMessage(loop.Session().Window(), WM_UPDATE_STEP, 50, 0);
      });
    }
    uint32_t progress = 0;
    EXPECT_EQ(loop.RunUntil([&] { return progress == 50; }, 60000,
                            [&](const WindowMessage& message) {
                              if (message.window == loop.Session().Window() && message.message == WM_UPDATE_STEP) {
                                progress = static_cast<uint32_t>(message.wParam);
                              }
                            }),
              c.result);
    if (poster.joinable()) {
      poster.join();
    }
  }
}

}  // namespace
}  // namespace qx80::cli
