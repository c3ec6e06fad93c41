#include "workers/device_watcher.h"

#include "workers/probe_device.h"

namespace qx80 {

CDeviceWatcher::CDeviceWatcher() {
  g_deviceMode.store(DEVICE_MODE_UNKNOWN);
}

CDeviceWatcher::~CDeviceWatcher() {
  Stop(kWorkerStopTimeoutMs);
  std::lock_guard<std::recursive_mutex> lock(m_lock);
  // After StopWatching the mode belongs to whoever watches now: a watcher destroyed long
  // after, when its outlived thread finally ends, must not overwrite it.
  if (!m_modeReleased) {
    g_deviceMode.store(DEVICE_MODE_ABSENT);
  }
}

StatusCode CDeviceWatcher::StartWatching(const DeviceModeHandler* handler, uint32_t firstPollMs) {
  if (HasThread() || IsThreadActive()) {
    return kStatusAlreadyInitialized;
  }
  if (handler == nullptr) {
    return kStatusNullPointer;
  }
  g_deviceMode.store(DEVICE_MODE_UNKNOWN);
  {
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    m_handler = *handler;
    m_watching = true;
    m_modeReleased = false;
  }
  m_firstPollMs = firstPollMs;
  if (Start(u"CDeviceWatcher", 0)) {
    return kStatusOk;
  }
  StopWatching();
  return kStatusFail;
}

void CDeviceWatcher::StopWatching() {
  Stop(kWorkerStopTimeoutMs);
  std::lock_guard<std::recursive_mutex> lock(m_lock);
  g_deviceMode.store(DEVICE_MODE_ABSENT);
  m_handler = DeviceModeHandler{};
  m_watching = false;
  m_modeReleased = true;
}

uint32_t CDeviceWatcher::Run() {
  for (uint32_t waitMs = m_firstPollMs;; waitMs = kPollPeriodMs) {
    const bool input = Queue().WaitForMessage(waitMs);
    const bool last = m_running.load() == 0;
    if (input) {
      ThreadMessage message;
      while (Queue().Take(message)) {
        if (message.message == kThreadQuit) {
          m_running.store(0);
          return 0;
        }
        // Any other message has no receiver: no window lives on this thread.
      }
    } else {
      Report(Probe());
    }
    if (last) {
      return 0;
    }
  }
}

void CDeviceWatcher::RequestStop() {
  if (m_threadId == 0 || !PostToThread(kThreadQuit)) {
    m_running.store(0);
  }
}

DeviceMode CDeviceWatcher::Probe() {
  return ProbeDevice();
}

void CDeviceWatcher::Report(DeviceMode probed) {
  std::lock_guard<std::recursive_mutex> lock(m_lock);
  if (!m_watching) {
    return;  // StopWatching came while this poll was probing
  }
  const DeviceMode old = g_deviceMode.load();
  if (probed == old) {
    return;
  }
  const bool wasPresent = old != DEVICE_MODE_UNKNOWN && old != DEVICE_MODE_ABSENT;
  const DeviceMode mode = wasPresent ? DEVICE_MODE_ABSENT : probed;
  g_deviceMode.store(mode);
  if (m_handler.callback != nullptr) {
    m_handler.callback(mode, m_handler.userData);
  }
}

}  // namespace qx80
