#pragma once
// A simulated QX-80 with everything an update needs around it, for the update worker's tests:
// the device of a named scenario on a simulated bus, the device watcher, and an owner that
// follows the watcher's reports the way the main window does (close the channel on 0, open
// one on 1 or 2). Posted window messages are recorded.
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "device/hid_backend.h"
#include "platform/clock.h"
#include "platform/window_message.h"
#include "sim/sim_scenarios.h"
#include "tests/workers/worker_test_util.h"
#include "workers/device_comm_app.h"
#include "workers/device_watcher.h"

namespace qx80 {

// Passes everything to another clock and counts the sleeps by length.
class SleepTally final : public Clock {
 public:
  explicit SleepTally(Clock& inner) : m_inner(inner) {}
  uint32_t TickCount() override { return m_inner.TickCount(); }
  void Sleep(uint32_t ms) override {
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      m_sleeps.push_back(ms);
    }
    m_inner.Sleep(ms);
  }
  std::chrono::nanoseconds RealDuration(uint32_t ms) override { return m_inner.RealDuration(ms); }
  std::chrono::nanoseconds RealBound(uint32_t ms) override { return m_inner.RealBound(ms); }
  // Sleeps of `ms`, all of them or only those after the last sleep of `after` ms.
  uint32_t Count(uint32_t ms, uint32_t after = 0) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    uint32_t count = 0;
    for (const uint32_t slept : m_sleeps) {
      count = slept == after ? 0 : count + (slept == ms ? 1 : 0);
    }
    return count;
  }

 private:
  Clock& m_inner;
  mutable std::mutex m_mutex;
  std::vector<uint32_t> m_sleeps;
};

// Every posted window message, in order.
class MessageLog {
 public:
  MessageLog() {
    SetWindowMessagePoster([this](const WindowMessage& message) {
      std::lock_guard<std::mutex> lock(m_mutex);
      m_messages.push_back(message);
      m_cv.notify_all();
      return true;
    });
  }
  ~MessageLog() { SetWindowMessagePoster({}); }
  // Waits (real time, generously bounded) for the `nth` message of that number.
  bool WaitFor(uint32_t message, WindowMessage& found, int nth = 1) {
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_cv.wait_for(lock, std::chrono::seconds(60), [&] {
      int seen = 0;
      for (const WindowMessage& m : m_messages) {
        if (m.message == message && ++seen == nth) {
          found = m;
          return true;
        }
      }
      return false;
    });
  }
  std::vector<WindowMessage> Messages() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_messages;
  }

 private:
  mutable std::mutex m_mutex;
  std::condition_variable m_cv;
  std::vector<WindowMessage> m_messages;
};

class UpdateRig {
 public:
  // Clock speed-up of the update tests: the two-minute wait takes between two and three
  // seconds. The device's answers are waited for in real time, unless the scenario's
  // outcome is that they never come (`bounds` Scaled: a 5 s time-out passes in 100 ms).
  static constexpr double kSpeedup = 50;

  explicit UpdateRig(const SimScenario& scenario, Bounds bounds = Bounds::Real, double speedup = kSpeedup)
      : m_scaled(speedup, bounds), m_tally(m_scaled), m_scopedClock(m_tally), m_rig(scenario), m_backend(m_rig.Bus()) {
    m_rig.Device().KeepRequests();
    m_handler = DeviceModeHandler{&FollowDevice, this};
    m_watcher->StartWatching(&m_handler);
  }
  ~UpdateRig() { StopWatching(); }

  // After this the rig no longer uses its connection.
  void StopWatching() { m_watcher->StopWatching(); }

  // Waits until the owner has a channel open in `mode` (the watcher's first reports).
  bool WaitConnected(int32_t mode) {
    return WaitUntil([&] { return g_deviceMode.load() == mode && m_comm->ReadyFlag() != 0; });
  }

  std::shared_ptr<CDeviceCommApp>& Comm() { return m_comm; }
  SimQx80Device& Device() { return m_rig.Device(); }
  const SleepTally& Sleeps() const { return m_tally; }
  MessageLog& Log() { return m_log; }

 private:
  // The main window's part, on the watcher thread (the tests have no message loop).
  static void FollowDevice(int32_t mode, void* userData) {
    CDeviceCommApp& comm = *static_cast<UpdateRig*>(userData)->m_comm;
    if (mode == DEVICE_MODE_NORMAL || mode == DEVICE_MODE_UPDATE) {
      comm.Connect(mode);
    } else {
      comm.Disconnect();
    }
  }

  ScaledClock m_scaled;
  SleepTally m_tally;
  ScopedClock m_scopedClock;
  MessageLog m_log;
  SimQx80Rig m_rig;
  ScopedHidBackend m_backend;
  std::shared_ptr<CDeviceCommApp> m_comm = std::make_shared<CDeviceCommApp>();
  std::shared_ptr<CDeviceWatcher> m_watcher = std::make_shared<CDeviceWatcher>();
  DeviceModeHandler m_handler;
};

}  // namespace qx80
