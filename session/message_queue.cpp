#include "session/message_queue.h"

#include "platform/clock.h"

namespace qx80 {

void WindowMessageQueue::Post(const WindowMessage& message) {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_messages.push_back(message);
  }
  m_cv.notify_one();
}

bool WindowMessageQueue::Wait(WindowMessage& message, uint32_t timeoutMs) {
  std::unique_lock<std::mutex> lock(m_mutex);
  if (!m_cv.wait_for(lock, GetClock().RealDuration(timeoutMs), [this] { return !m_messages.empty(); })) {
    return false;
  }
  message = m_messages.front();
  m_messages.pop_front();
  return true;
}

WindowMessagePoster WindowMessageQueue::PosterFor(const std::shared_ptr<WindowMessageQueue>& queue) {
  std::weak_ptr<WindowMessageQueue> weak = queue;
  return [weak](const WindowMessage& message) {
    const std::shared_ptr<WindowMessageQueue> target = weak.lock();
    if (!target) {
      return false;
    }
    target->Post(message);
    return true;
  };
}

}  // namespace qx80
