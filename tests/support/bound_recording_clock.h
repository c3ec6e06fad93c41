#pragma once
// A clock that passes everything to another one and keeps, in order, the time-outs that the
// waits of one thread gave themselves. What a wait would give up after is then seen exactly,
// without letting it run out and without timing anything.
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/clock.h"

namespace qx80 {

class BoundRecordingClock final : public Clock {
 public:
  explicit BoundRecordingClock(Clock& inner, std::thread::id thread = std::this_thread::get_id())
      : m_inner(inner), m_thread(thread) {}
  uint32_t TickCount() override { return m_inner.TickCount(); }
  void Sleep(uint32_t ms) override { m_inner.Sleep(ms); }
  std::chrono::nanoseconds RealDuration(uint32_t ms) override { return m_inner.RealDuration(ms); }
  std::chrono::nanoseconds RealBound(uint32_t ms) override {
    if (std::this_thread::get_id() == m_thread) {
      std::lock_guard<std::mutex> lock(m_mutex);
      m_asked.push_back(ms);
    }
    return m_inner.RealBound(ms);
  }

  // The time-outs asked on the thread, oldest first.
  std::vector<uint32_t> Asked() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_asked;
  }
  void Clear() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_asked.clear();
  }

 private:
  Clock& m_inner;
  std::thread::id m_thread;
  mutable std::mutex m_mutex;
  std::vector<uint32_t> m_asked;
};

}  // namespace qx80
