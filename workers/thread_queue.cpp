#include "workers/thread_queue.h"

#include "platform/clock.h"

namespace qx80 {

void ThreadQueue::Open() {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_messages.clear();
  m_open = true;
}

void ThreadQueue::Close() {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_messages.clear();
  m_open = false;
}

bool ThreadQueue::Post(const ThreadMessage& message) {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (!m_open) {
    return false;
  }
  m_messages.push_back(message);
  m_cv.notify_all();
  return true;
}

bool ThreadQueue::WaitForMessage(uint32_t timeoutMs) {
  std::unique_lock<std::mutex> lock(m_mutex);
  return m_cv.wait_for(lock, GetClock().RealDuration(timeoutMs), [this] { return !m_messages.empty(); });
}

bool ThreadQueue::Take(ThreadMessage& message) {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (m_messages.empty()) {
    return false;
  }
  message = m_messages.front();
  m_messages.pop_front();
  return true;
}

}  // namespace qx80
