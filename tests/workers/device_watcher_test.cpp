#include "workers/device_watcher.h"

#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "device/sim_bus/sim_hid_bus.h"
#include "platform/clock.h"
#include "platform/event.h"
#include "platform/window_message.h"
#include "tests/workers/worker_test_util.h"
#include "workers/probe_device.h"

namespace qx80 {
namespace {

HidInterfaceCaps Qx80(uint16_t productId, uint16_t vendorId = 0x1F5E, uint16_t reportLength = 65) {
  return HidInterfaceCaps{vendorId, productId, reportLength, reportLength, 0, 0};
}

// Counts the watcher's looks at the bus.
class CountingWatcher : public CDeviceWatcher {
 public:
  std::atomic<int> probes{0};

 protected:
  DeviceMode Probe() override {
    ++probes;
    return CDeviceWatcher::Probe();
  }
};

// Records every report with the number of probes made when it came.
class ModeRecorder {
 public:
  struct Report {
    int32_t mode;
    int probe;
  };
  explicit ModeRecorder(const std::atomic<int>* probes = nullptr) : m_probes(probes) {}

  DeviceModeHandler Handler() { return DeviceModeHandler{&ModeRecorder::Callback, this}; }
  std::vector<Report> Reports() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_reports;
  }
  std::vector<int32_t> Modes() {
    std::vector<int32_t> modes;
    for (const auto& r : Reports()) {
      modes.push_back(r.mode);
    }
    return modes;
  }
  size_t Count() { return Reports().size(); }

 private:
  static void Callback(int32_t mode, void* userData) {
    auto* self = static_cast<ModeRecorder*>(userData);
    std::lock_guard<std::mutex> lock(self->m_mutex);
    self->m_reports.push_back({mode, self->m_probes != nullptr ? self->m_probes->load() : 0});
  }

  const std::atomic<int>* m_probes;
  std::mutex m_mutex;
  std::vector<Report> m_reports;
};

TEST(ProbeDeviceTest, NormalModeWinsAndNothingStaysOpen) {
  SimHidBus bus;
  ScopedHidBackend backend(bus);
  struct Case {
    const char* name;
    std::vector<HidInterfaceCaps> bus;
    DeviceMode mode;
  };
  const std::vector<Case> cases = {
      {"empty bus", {}, DEVICE_MODE_ABSENT},
      {"someone else's device", {Qx80(0x0001, 0x845E)}, DEVICE_MODE_ABSENT},
      {"normal-mode id of another vendor", {Qx80(0x2A01, 0x1F5F)}, DEVICE_MODE_ABSENT},
      {"right ids, wrong report length", {Qx80(0x2A01, 0x1F5E, 64)}, DEVICE_MODE_ABSENT},
      {"first normal-mode id", {Qx80(0x2A01)}, DEVICE_MODE_NORMAL},
      {"second normal-mode id", {Qx80(0x2A06)}, DEVICE_MODE_NORMAL},
      {"update mode", {Qx80(0x2A02)}, DEVICE_MODE_UPDATE},
      {"both normal-mode ids", {Qx80(0x2A06), Qx80(0x2A01)}, DEVICE_MODE_NORMAL},
      {"update and normal mode", {Qx80(0x2A02), Qx80(0x2A06)}, DEVICE_MODE_NORMAL},
      {"update mode beside a wrong-length normal one", {Qx80(0x2A01, 0x1F5E, 9), Qx80(0x2A02)}, DEVICE_MODE_UPDATE},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<SimHidBus::DeviceId> ids;
    for (const auto& caps : c.bus) {
      ids.push_back(bus.Attach(caps, nullptr));
    }
    EXPECT_EQ(ProbeDevice(), c.mode);
    EXPECT_EQ(bus.OpenHandleCount(), 0u);
    for (auto id : ids) {
      bus.Detach(id);
    }
  }
}

// A watcher over the simulated bus; one poll lasts 20 ms of real time.
class DeviceWatcherTest : public ::testing::Test {
 protected:
  ~DeviceWatcherTest() override { m_watcher->StopWatching(); }

  bool ReportsReach(size_t count) {
    return WaitUntil([&] { return m_recorder.Count() >= count; });
  }

  ScaledClock m_scaled{10.0, Bounds::Real};
  CountingClock m_clock{m_scaled};
  ScopedClock m_scopedClock{m_clock};
  SimHidBus m_bus;
  ScopedHidBackend m_backend{m_bus};
  std::shared_ptr<CountingWatcher> m_watcher = std::make_shared<CountingWatcher>();
  ModeRecorder m_recorder{&m_watcher->probes};
  DeviceModeHandler m_handler = m_recorder.Handler();
};

TEST_F(DeviceWatcherTest, ReportsTheFirstPollAndThenEveryChangeWithAbsenceBetweenModes) {
  EXPECT_EQ(g_deviceMode, DEVICE_MODE_UNKNOWN);  // set by the constructor
  ASSERT_EQ(m_watcher->StartWatching(&m_handler), kStatusOk);
  ASSERT_TRUE(ReportsReach(1));
  const int firstProbe = m_recorder.Reports()[0].probe;
  ASSERT_TRUE(WaitUntil([&] { return m_watcher->probes >= firstProbe + 3; }));
  EXPECT_EQ(m_recorder.Modes(), std::vector<int32_t>{DEVICE_MODE_ABSENT});  // nothing new while nothing changes

  const auto device = m_bus.Attach(Qx80(0x2A01), nullptr);
  ASSERT_TRUE(ReportsReach(2));
  EXPECT_EQ(g_deviceMode, DEVICE_MODE_NORMAL);
  m_bus.Reenumerate(device, 0x2A02);  // the switch into update mode
  ASSERT_TRUE(ReportsReach(4));
  EXPECT_EQ(g_deviceMode, DEVICE_MODE_UPDATE);
  m_bus.Reenumerate(device, 0x2A06);  // and back, under the other normal-mode id
  ASSERT_TRUE(ReportsReach(6));
  m_bus.Detach(device);
  ASSERT_TRUE(ReportsReach(7));

  const auto reports = m_recorder.Reports();
  ASSERT_EQ(m_recorder.Modes(), (std::vector<int32_t>{0, 1, 0, 2, 0, 1, 0}));
  // A new mode never comes in the poll that reported the absence before it.
  EXPECT_GT(reports[3].probe, reports[2].probe);
  EXPECT_GT(reports[5].probe, reports[4].probe);
  EXPECT_EQ(g_deviceMode, DEVICE_MODE_ABSENT);
}

TEST_F(DeviceWatcherTest, StartWatchingRefusesANullHandlerAndASecondStart) {
  EXPECT_EQ(m_watcher->StartWatching(nullptr), kStatusNullPointer);
  EXPECT_FALSE(m_watcher->HasThread());
  EXPECT_EQ(g_deviceMode, DEVICE_MODE_UNKNOWN);

  ASSERT_EQ(m_watcher->StartWatching(&m_handler), kStatusOk);
  ASSERT_TRUE(ReportsReach(1));
  ModeRecorder other;
  const DeviceModeHandler otherHandler = other.Handler();
  EXPECT_EQ(m_watcher->StartWatching(&otherHandler), kStatusAlreadyInitialized);
  EXPECT_EQ(g_deviceMode, DEVICE_MODE_ABSENT);  // not reset to "unknown"

  m_bus.Attach(Qx80(0x2A01), nullptr);
  ASSERT_TRUE(ReportsReach(2));
  EXPECT_EQ(m_recorder.Modes(), (std::vector<int32_t>{0, 1}));
  EXPECT_EQ(other.Count(), 0u);  // the first handler stays
}

TEST_F(DeviceWatcherTest, StopWatchingLeavesModeAbsentAndASecondStopReturnsAtOnce) {
  m_bus.Attach(Qx80(0x2A02), nullptr);
  ASSERT_EQ(m_watcher->StartWatching(&m_handler), kStatusOk);
  ASSERT_TRUE(ReportsReach(1));
  EXPECT_EQ(g_deviceMode, DEVICE_MODE_UPDATE);

  m_watcher->StopWatching();
  EXPECT_EQ(g_deviceMode, DEVICE_MODE_ABSENT);
  EXPECT_FALSE(m_watcher->IsThreadActive());
  const uint32_t sleeps = m_clock.Sleeps();
  m_watcher->StopWatching();
  EXPECT_EQ(m_clock.Sleeps(), sleeps);  // no thread, no wait
  EXPECT_EQ(g_deviceMode, DEVICE_MODE_ABSENT);
  EXPECT_EQ(m_recorder.Count(), 1u);  // stopping is not reported
}

TEST_F(DeviceWatcherTest, StartWatchingFailsCleanlyWhenTheThreadCannotStart) {
  class UnlaunchableWatcher : public CDeviceWatcher {
   protected:
    std::thread Launch(std::function<void()>) override {
      throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
    }
  };
  auto unlaunchable = std::make_shared<UnlaunchableWatcher>();
  CDeviceWatcher unowned;  // not held by a shared_ptr
  for (CDeviceWatcher* watcher : {static_cast<CDeviceWatcher*>(unlaunchable.get()), &unowned}) {
    EXPECT_EQ(watcher->StartWatching(&m_handler), kStatusFail);
    EXPECT_FALSE(watcher->HasThread());
    EXPECT_EQ(g_deviceMode, DEVICE_MODE_ABSENT);
  }
}

TEST_F(DeviceWatcherTest, TheWindowHandlerPostsEachReportToItsWindow) {
  std::mutex mutex;
  std::vector<WindowMessage> posted;
  SetWindowMessagePoster([&](const WindowMessage& message) {
    std::lock_guard<std::mutex> lock(mutex);
    posted.push_back(message);
    return true;
  });
  int window = 0;
  PostDeviceMode(DEVICE_MODE_UPDATE, nullptr);  // no window: nothing posted
  m_bus.Attach(Qx80(0x2A01), nullptr);
  const DeviceModeHandler windowHandler{&PostDeviceMode, &window};
  ASSERT_EQ(m_watcher->StartWatching(&windowHandler), kStatusOk);
  const bool reported = WaitUntil([&] {
    std::lock_guard<std::mutex> lock(mutex);
    return !posted.empty();
  });
  m_watcher->StopWatching();
  SetWindowMessagePoster({});

  ASSERT_TRUE(reported);
  ASSERT_EQ(posted.size(), 1u);
  EXPECT_EQ(posted[0].window, &window);
  EXPECT_EQ(posted[0].message, WM_DEVICE_MODE_CHANGED);
  EXPECT_EQ(posted[0].wParam, static_cast<uintptr_t>(DEVICE_MODE_NORMAL));
  EXPECT_EQ(posted[0].lParam, 0);
}

TEST(DeviceWatcherStopTest, AStopRequestEndsTheWaitWithoutAnotherPoll) {
  SteppingClock clock(0, std::chrono::milliseconds(2));  // one poll: 400 ms of real time
  ScopedClock scoped(clock);
  SimHidBus bus;
  ScopedHidBackend backend(bus);
  auto watcher = std::make_shared<CountingWatcher>();
  ModeRecorder recorder;
  const DeviceModeHandler handler = recorder.Handler();
  ASSERT_EQ(watcher->StartWatching(&handler), kStatusOk);
  watcher->StopWatching();
  EXPECT_FALSE(watcher->IsThreadActive());
  EXPECT_EQ(watcher->probes, 0);  // woken by the quit, not by the end of the poll period
  EXPECT_EQ(recorder.Count(), 0u);
}

// A whole poll period lasts an hour of real time; shorter waits, such as the stop's checks,
// pass in microseconds.
class LongPollClock final : public Clock {
 public:
  uint32_t TickCount() override { return m_tick.load(); }
  void Sleep(uint32_t ms) override {
    m_tick.fetch_add(ms);
    std::this_thread::sleep_for(RealDuration(ms));
  }
  std::chrono::nanoseconds RealDuration(uint32_t ms) override {
    return ms >= CDeviceWatcher::kPollPeriodMs ? std::chrono::hours(1) : std::chrono::microseconds(ms);
  }

 private:
  std::atomic<uint32_t> m_tick{0};
};

TEST(DeviceWatcherStartTest, AFirstPollOfZeroProbesAtOnce) {
  LongPollClock clock;
  ScopedClock scoped(clock);
  SimHidBus bus;
  ScopedHidBackend backend(bus);
  bus.Attach(Qx80(0x2A01), nullptr);
  auto watcher = std::make_shared<CountingWatcher>();
  ModeRecorder recorder(&watcher->probes);
  const DeviceModeHandler handler = recorder.Handler();
  ASSERT_EQ(watcher->StartWatching(&handler, 0), kStatusOk);
  ASSERT_TRUE(WaitUntil([&] { return recorder.Count() == 1; })) << "the first report waited for a period";
  watcher->StopWatching();
  ASSERT_EQ(recorder.Reports().size(), 1u);
  EXPECT_EQ(recorder.Reports()[0].mode, DEVICE_MODE_NORMAL);
  EXPECT_EQ(recorder.Reports()[0].probe, 1);
  EXPECT_EQ(watcher->probes, 1) << "later polls keep the period";
}

// Its probe hangs until released, the way a wedged driver call would.
class WedgedWatcher : public CDeviceWatcher {
 public:
  struct Gate {
    Event entered;
    Event release;
    Event destroyed;  // set once the whole watcher is gone
  };
  explicit WedgedWatcher(std::shared_ptr<Gate> gate) : m_gate(std::move(gate)) {}

 protected:
  DeviceMode Probe() override {
    m_gate->entered.Set();
    m_gate->release.Wait(-1);
    return DEVICE_MODE_NORMAL;
  }

 private:
  std::shared_ptr<Gate> m_gate;
};

TEST(DeviceWatcherStopTest, AWatcherThatOutlivesItsStopNeverReportsAgain) {
  ScaledClock clock(1000.0, Bounds::Scaled);  // the 20 s bound passes in 20 ms
  ScopedClock scoped(clock);
  auto gate = std::make_shared<WedgedWatcher::Gate>();
  ModeRecorder recorder;
  const DeviceModeHandler handler = recorder.Handler();
  auto watcher = std::make_shared<WedgedWatcher>(gate);
  ASSERT_EQ(watcher->StartWatching(&handler), kStatusOk);
  gate->entered.Wait(-1);
  watcher->StopWatching();  // gives up on the wedged probe
  EXPECT_TRUE(watcher->IsThreadActive());
  EXPECT_EQ(g_deviceMode, DEVICE_MODE_ABSENT);
  // No second thread beside the one still running.
  EXPECT_EQ(watcher->StartWatching(&handler), kStatusAlreadyInitialized);
  EXPECT_EQ(g_deviceMode, DEVICE_MODE_ABSENT);

  gate->release.Set();  // the late probe finds a device in normal mode
  ASSERT_TRUE(WaitUntil([&] { return !watcher->IsThreadActive(); }));
  EXPECT_EQ(g_deviceMode, DEVICE_MODE_ABSENT);
  EXPECT_EQ(recorder.Count(), 0u);
}

TEST(DeviceWatcherStopTest, AnOutlivedWatcherDestroyedLateLeavesTheModeToItsSuccessor) {
  ScaledClock clock(1000.0, Bounds::Scaled);  // the 20 s bound passes in 20 ms
  ScopedClock scoped(clock);
  auto gate = std::make_shared<WedgedWatcher::Gate>();
  ModeRecorder recorder;
  const DeviceModeHandler handler = recorder.Handler();
  {
    // The deleter runs after every destructor of the watcher has.
    std::shared_ptr<WedgedWatcher> watcher(new WedgedWatcher(gate), [gate](WedgedWatcher* w) {
      delete w;
      gate->destroyed.Set();
    });
    ASSERT_EQ(watcher->StartWatching(&handler), kStatusOk);
    gate->entered.Wait(-1);
    watcher->StopWatching();               // gives up on the wedged probe
  }                                        // the owner lets go; the wedged thread keeps the watcher alive
  g_deviceMode.store(DEVICE_MODE_NORMAL);  // what the watcher that came next has found

  gate->release.Set();
  ASSERT_TRUE(WaitUntil([&] { return gate->destroyed.IsSet(); }));
  EXPECT_EQ(g_deviceMode, DEVICE_MODE_NORMAL);
  EXPECT_EQ(recorder.Count(), 0u);
}

}  // namespace
}  // namespace qx80
