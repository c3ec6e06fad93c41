#include "platform/event.h"

#include "platform/clock.h"

namespace qx80 {

void Event::Set() {
  // Notify under the lock: a waiter may destroy the event as soon as it sees it set.
  std::lock_guard<std::mutex> lock(m_mutex);
  m_set = true;
  m_cv.notify_all();
}

void Event::Reset() {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_set = false;
}

bool Event::IsSet() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_set;
}

bool Event::Wait(int64_t timeoutMs) {
  std::unique_lock<std::mutex> lock(m_mutex);
  if (timeoutMs < 0) {
    m_cv.wait(lock, [this] { return m_set; });
    return true;
  }
  const auto real = GetClock().RealBound(static_cast<uint32_t>(timeoutMs > 0xFFFFFFFF ? 0xFFFFFFFF : timeoutMs));
  return m_cv.wait_for(lock, real, [this] { return m_set; });
}

bool Event::WaitUntil(std::chrono::steady_clock::time_point deadline) {
  std::unique_lock<std::mutex> lock(m_mutex);
  return m_cv.wait_until(lock, deadline, [this] { return m_set; });
}

}  // namespace qx80
