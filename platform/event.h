#pragma once
// A manual-reset event: once set it stays set, releasing every waiter, until reset.
// Timed waits go through the process clock (platform/clock.h).
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace qx80 {

class Event {
 public:
  explicit Event(bool initiallySet = false) : m_set(initiallySet) {}
  Event(const Event&) = delete;
  Event& operator=(const Event&) = delete;

  void Set();
  void Reset();
  bool IsSet() const;
  // Waits until set or until `timeoutMs` clock milliseconds passed (-1: no limit).
  // Returns whether the event was set.
  bool Wait(int64_t timeoutMs);
  // Waits until set or until the real time `deadline`. Returns whether the event was set.
  bool WaitUntil(std::chrono::steady_clock::time_point deadline);

 private:
  mutable std::mutex m_mutex;
  std::condition_variable m_cv;
  bool m_set;
};

}  // namespace qx80
