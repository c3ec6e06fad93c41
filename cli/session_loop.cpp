#include "cli/session_loop.h"

#include <algorithm>
#include <chrono>

#include "platform/clock.h"

namespace qx80::cli {
namespace {

constexpr uint32_t kWaitSliceMs = 50;

}  // namespace

SessionLoop::SessionLoop() {
  SetWindowMessagePoster(WindowMessageQueue::PosterFor(m_queue));
  m_session = CDeviceSession::Create(&m_windowToken);
}

SessionLoop::~SessionLoop() {
  m_session.reset();
  SetWindowMessagePoster({});
}

int32_t SessionLoop::WaitForDevice() {
  // The tool has nothing to show before it knows the device: the watcher probes at once
  // instead of after one period.
  if (m_session->StartWatching(0) != kStatusOk) {
    return DEVICE_MODE_ABSENT;
  }
  RunUntil([this] { return m_session->ReportedMode() != DEVICE_MODE_UNKNOWN; }, kFirstReportTimeoutMs);
  return std::max(m_session->ReportedMode(), DEVICE_MODE_ABSENT);
}

bool SessionLoop::RunUntil(const std::function<bool()>& done, uint32_t timeoutMs, const MessageHandler& onMessage) {
  // The bound is for giving up on something that should come: on a sped-up clock it runs in
  // real time unless the clock's bounds are scaled, so that a busy machine never turns a
  // success into a time-out.
  const auto deadline = RealDeadline(timeoutMs);
  while (!done()) {
    if (std::chrono::steady_clock::now() >= deadline) {
      return false;
    }
    WindowMessage message;
    if (!m_queue->Wait(message, kWaitSliceMs)) {
      continue;
    }
    if (message.window == &m_windowToken && message.message == WM_DEVICE_MODE_CHANGED) {
      m_session->OnDeviceModeChanged(static_cast<int32_t>(static_cast<intptr_t>(message.wParam)));
      continue;
    }
    if (onMessage) {
      onMessage(message);
    }
  }
  return true;
}

}  // namespace qx80::cli
