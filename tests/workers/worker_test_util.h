#pragma once
// Clocks and waiting helpers for the worker tests.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <thread>

#include "platform/clock.h"

namespace qx80 {

// Virtual time: the tick counter moves only when someone sleeps, by exactly the length of
// the sleep, so the stop polls of Thread can be counted exactly. Every clock millisecond,
// slept or waited, lasts `realPerMs` of real time.
class SteppingClock final : public Clock {
 public:
  explicit SteppingClock(uint32_t startTick = 0, std::chrono::nanoseconds realPerMs = std::chrono::microseconds(1))
      : m_tick(startTick), m_realPerMs(realPerMs) {}
  uint32_t TickCount() override { return m_tick.load(); }
  void Sleep(uint32_t ms) override {
    m_sleeps.fetch_add(1);
    m_tick.fetch_add(ms);
    std::this_thread::sleep_for(RealDuration(ms));
  }
  std::chrono::nanoseconds RealDuration(uint32_t ms) override { return m_realPerMs * ms; }
  uint32_t Sleeps() const { return m_sleeps.load(); }

 private:
  std::atomic<uint32_t> m_tick;
  std::atomic<uint32_t> m_sleeps{0};
  std::chrono::nanoseconds m_realPerMs;
};

// Passes everything to another clock and counts the sleeps.
class CountingClock final : public Clock {
 public:
  explicit CountingClock(Clock& inner) : m_inner(inner) {}
  uint32_t TickCount() override { return m_inner.TickCount(); }
  void Sleep(uint32_t ms) override {
    m_sleeps.fetch_add(1);
    m_inner.Sleep(ms);
  }
  std::chrono::nanoseconds RealDuration(uint32_t ms) override { return m_inner.RealDuration(ms); }
  std::chrono::nanoseconds RealBound(uint32_t ms) override { return m_inner.RealBound(ms); }
  uint32_t Sleeps() const { return m_sleeps.load(); }

 private:
  Clock& m_inner;
  std::atomic<uint32_t> m_sleeps{0};
};

// Waits in real time until `done` holds; false if it still does not after a generous
// guard, so that a fault fails the test instead of hanging it.
template <typename Predicate>
bool WaitUntil(Predicate done) {
  const auto guard = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (!done()) {
    if (std::chrono::steady_clock::now() > guard) {
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

}  // namespace qx80
