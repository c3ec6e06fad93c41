#include "session/device_session.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <vector>

#include "device/hid_backend.h"
#include "platform/clock.h"
#include "session/message_queue.h"
#include "sim/sim_scenarios.h"
#include "tests/support/image_builder.h"

namespace qx80 {
namespace {

// The session with a message loop of its own over a simulated QX-80, the clock sped up.
class SessionTest : public ::testing::Test {
 protected:
  // Real time, far beyond any wait here: the session's paths all succeed.
  static constexpr std::chrono::seconds kBound{60};

  explicit SessionTest(const char* scenario = "ok")
      : m_scopedClock(m_clock), m_rig(*FindSimScenario(scenario)), m_backend(m_rig.Bus()) {
    m_rig.Device().KeepRequests();
    SetWindowMessagePoster(WindowMessageQueue::PosterFor(m_queue));
    m_session = CDeviceSession::Create(&m_window);
  }
  ~SessionTest() override {
    m_session.reset();
    SetWindowMessagePoster({});
  }

  // Dispatches like the main window until `done`; other messages are kept in m_other.
  bool RunUntil(const std::function<bool()>& done) {
    const auto guard = std::chrono::steady_clock::now() + kBound;
    while (!done()) {
      if (std::chrono::steady_clock::now() > guard) {
        return false;
      }
      WindowMessage message;
      if (!m_queue->Wait(message, 100)) {
        continue;
      }
      if (message.message == WM_DEVICE_MODE_CHANGED) {
        m_session->OnDeviceModeChanged(static_cast<int32_t>(static_cast<intptr_t>(message.wParam)));
      } else {
        m_other.push_back(message);
      }
    }
    return true;
  }
  bool WaitConnected(int32_t mode) {
    return RunUntil([&] { return m_session->ReportedMode() == mode && m_session->IsConnected(); });
  }

  ScaledClock m_clock{50, Bounds::Real};
  ScopedClock m_scopedClock;
  SimQx80Rig m_rig;
  ScopedHidBackend m_backend;
  std::shared_ptr<WindowMessageQueue> m_queue = std::make_shared<WindowMessageQueue>();
  char m_window = 0;
  char m_progressWindow = 0;
  std::shared_ptr<CDeviceSession> m_session;
  std::vector<WindowMessage> m_other;
};

TEST_F(SessionTest, ReadsEachComponentOncePerChannel) {
  SimQx80Device& device = m_rig.Device();
  device.SetVersion(0x21, "2.07");
  device.SetVersion(0x01, "0107");  // leading zeros go while a digit follows
  device.SetVersion(0x22, std::string("2.05xyz"));
  device.AddFault({.kind = SimFaultKind::StatusError, .messageId = 0x0006, .times = 1, .value = 1});  // slot 0
  ASSERT_EQ(m_session->StartWatching(), kStatusOk);
  ASSERT_TRUE(WaitConnected(DEVICE_MODE_NORMAL));
  EXPECT_EQ(m_session->DeviceVersions(), (CDeviceSession::Versions{u"---", u"2.07", u"2.05", u"2.05", u"107"}));

  // The selectors in slot order.
  std::vector<uint8_t> selectors;
  for (const std::vector<uint8_t>& request : device.Requests()) {
    if (ReadHeader(request.data()).id == 0x0006) {
      selectors.push_back(ReadHeader(request.data()).arg);
    }
  }
  EXPECT_EQ(selectors, (std::vector<uint8_t>{0x00, 0x21, 0x20, 0x22, 0x01}));

  // Another report while the channel is open reads nothing again.
  EXPECT_FALSE(m_session->ConnectDevice(DEVICE_MODE_NORMAL));
  m_session->OnDeviceModeChanged(DEVICE_MODE_NORMAL);
  EXPECT_EQ(device.Requests().size(), 5u);

  // The device leaves: the channel closes and the versions are forgotten.
  device.Unplug();
  ASSERT_TRUE(RunUntil([&] { return m_session->ReportedMode() == DEVICE_MODE_ABSENT; }));
  EXPECT_FALSE(m_session->IsConnected());
  EXPECT_EQ(m_session->Device()->ReadyFlag(), 0);
  EXPECT_EQ(m_session->DeviceVersions(), CDeviceSession::Versions{});
  EXPECT_EQ(m_rig.Bus().OpenHandleCount(), 0u);
}

TEST(OverallPercentTest, ScalesASectionIntoItsShare) {
  struct Case {
    int percent;
    uint32_t index, count, overall;
  };
  const Case cases[] = {
      {50, 1, 2, 75}, {100, 0, 2, 50}, {100, 1, 2, 100}, {1, 0, 2, 0}, {20, 0, 2, 10}, {99, 0, 1, 99}, {21, 2, 3, 73},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(OverallPercent(c.percent, c.index, c.count), c.overall) << c.percent << " " << c.index << "/" << c.count;
  }
}

test::Bytes TwoSectionPackage() {
  const test::Bytes main = test::BuildHeaderImage({.kind = FIRM_KIND_UAMC, .size = 0x3000, .version = "2.09"});
  const test::Bytes second = test::BuildHeaderImage({.kind = FIRM_KIND_FWUP, .size = 0x2000, .version = "2.09"});
  return test::Concat({main, second});
}

// A whole update through the session: the mode reports carry the connection through the
// device's restarts, the progress arrives as one overall percentage, and after the result the
// channel is gone until the device is back in normal mode with its new versions.
TEST_F(SessionTest, RunsAWholeUpdate) {
  FirmSlots slots;
  ASSERT_EQ(slots.LoadFirmPackageCopy(TwoSectionPackage()), 1);
  ASSERT_EQ(m_session->StartWatching(), kStatusOk);
  ASSERT_TRUE(WaitConnected(DEVICE_MODE_NORMAL));
  EXPECT_TRUE(IsUpdateNeeded(MakeVersionSlots(slots, m_session->DeviceVersions())));

  ASSERT_GE(m_session->StartUpdate(slots, &m_progressWindow), 0);
  const auto finished = [&] { return !m_other.empty() && m_other.back().message == WM_UPDATE_FINISHED; };
  ASSERT_TRUE(RunUntil(finished));
  EXPECT_EQ(m_other.back().wParam, 0u);
  m_session->OnUpdateFinished(0);
  EXPECT_FALSE(m_session->IsConnected());
  EXPECT_EQ(m_session->DeviceVersions(), CDeviceSession::Versions{});

  std::vector<uint32_t> progress;
  for (const WindowMessage& message : m_other) {
    if (message.message == WM_UPDATE_PROGRESS) {
      EXPECT_EQ(message.window, &m_progressWindow);
      progress.push_back(static_cast<uint32_t>(message.wParam));
    }
  }
  // Ticks 1 to 20 with two sections show as 0 to 10.
  ASSERT_GE(progress.size(), 20u);
  for (uint32_t t = 1; t <= 20; ++t) {
    EXPECT_EQ(progress[t - 1], t / 2);
  }
  EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
  EXPECT_NE(std::find(progress.begin(), progress.end(), 50u), progress.end()) << "the first section's 100";
  EXPECT_EQ(progress.back(), 100u);

  ASSERT_TRUE(WaitConnected(DEVICE_MODE_NORMAL));
  EXPECT_EQ(m_session->DeviceVersions(), (CDeviceSession::Versions{u"2.05", u"2.09", u"2.09", u"2.05", u"2.05"}));
}

// The front ends word the result (the application's texts 4005 and 4006: main_window_test); the
// session's end is the same whatever the result, and safe without an update or twice.
TEST_F(SessionTest, AnUpdatesEndIsTheSameWhateverItsResult) {
  for (const int32_t result : {ResultWriteFailed, ResultModeTimeout, ResultOk}) {
    m_session->OnUpdateFinished(result);
    EXPECT_FALSE(m_session->IsConnected()) << result;
  }
}

}  // namespace
}  // namespace qx80
