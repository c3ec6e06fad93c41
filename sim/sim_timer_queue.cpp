#include "sim/sim_timer_queue.h"

#include "platform/clock.h"

namespace qx80 {

SimTimerQueue::SimTimerQueue() : m_thread([this] { Run(); }) {}

SimTimerQueue::~SimTimerQueue() {
  Stop();
}

void SimTimerQueue::Post(uint32_t delayMs, std::function<void()> task) {
  // Due times are real instants, scaled once by the clock in force.
  const auto due = std::chrono::steady_clock::now() + GetClock().RealDuration(delayMs);
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_stopping) {
      return;
    }
    m_tasks.emplace(due, std::move(task));
  }
  m_cv.notify_all();
}

void SimTimerQueue::Stop() {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_stopping = true;
    m_tasks.clear();
  }
  m_cv.notify_all();
  if (m_thread.joinable()) {
    m_thread.join();
  }
}

bool SimTimerQueue::WaitIdle(std::chrono::milliseconds realBound) {
  std::unique_lock<std::mutex> lock(m_mutex);
  return m_cv.wait_for(lock, realBound, [this] { return m_tasks.empty() && !m_running; });
}

void SimTimerQueue::Run() {
  std::unique_lock<std::mutex> lock(m_mutex);
  while (!m_stopping) {
    if (m_tasks.empty()) {
      m_cv.wait(lock);
      continue;
    }
    const auto first = m_tasks.begin();
    // A copy: Stop may drop the task, and its due time with it, while this waits.
    const auto due = first->first;
    if (std::chrono::steady_clock::now() < due) {
      m_cv.wait_until(lock, due);
      continue;
    }
    std::function<void()> task = std::move(first->second);
    m_tasks.erase(first);
    m_running = true;
    lock.unlock();
    task();
    lock.lock();
    m_running = false;
    m_cv.notify_all();
  }
}

}  // namespace qx80
