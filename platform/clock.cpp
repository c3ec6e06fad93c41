#include "platform/clock.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <thread>

namespace qx80 {
namespace {

RealClock g_realClock;
std::atomic<Clock*> g_clock{nullptr};

}  // namespace

uint32_t RealClock::TickCount() {
  const auto now = std::chrono::steady_clock::now().time_since_epoch();
  return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

void RealClock::Sleep(uint32_t ms) {
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

std::chrono::nanoseconds RealClock::RealDuration(uint32_t ms) {
  return std::chrono::milliseconds(ms);
}

ScaledClock::ScaledClock(double speedup, Bounds bounds, uint32_t startTick)
    : m_speedup(speedup >= kSlowestClockSpeedup ? std::min(speedup, kFastestClockSpeedup) : kSlowestClockSpeedup),
      m_bounds(bounds),
      m_startTick(startTick),
      m_origin(std::chrono::steady_clock::now()) {}

uint32_t ScaledClock::TickCount() {
  const std::chrono::duration<double, std::milli> real = std::chrono::steady_clock::now() - m_origin;
  // Wrapped while still a double: a long run at a high speed-up outgrows any integer.
  const double scaled = std::fmod(std::floor(real.count() * m_speedup), 4294967296.0);
  return m_startTick + static_cast<uint32_t>(scaled);
}

void ScaledClock::Sleep(uint32_t ms) {
  std::this_thread::sleep_for(RealDuration(ms));
}

std::chrono::nanoseconds ScaledClock::RealDuration(uint32_t ms) {
  // Rounded, not truncated: the i686 program divides at the x87's extended precision, where
  // 5000 ms at a speed-up of 0.001 comes out just below 5000 s.
  return std::chrono::nanoseconds(std::llround(static_cast<double>(ms) * 1.0e6 / m_speedup));
}

std::chrono::nanoseconds ScaledClock::RealBound(uint32_t ms) {
  return m_bounds.load() == Bounds::Scaled ? RealDuration(ms) : std::chrono::milliseconds(ms);
}

Clock& GetClock() {
  Clock* clock = g_clock.load(std::memory_order_acquire);
  return clock != nullptr ? *clock : g_realClock;
}

void SetClock(Clock* clock) {
  g_clock.store(clock, std::memory_order_release);
}

ScopedClock::ScopedClock(Clock& clock) : m_previous(g_clock.load(std::memory_order_acquire)) {
  SetClock(&clock);
}

ScopedClock::~ScopedClock() {
  SetClock(m_previous);
}

std::chrono::steady_clock::time_point RealDeadline(uint32_t ms) {
  return std::chrono::steady_clock::now() + GetClock().RealBound(ms);
}

int64_t MillisecondsUntil(std::chrono::steady_clock::time_point deadline, int64_t most) {
  const auto left = deadline - std::chrono::steady_clock::now();
  if (left <= std::chrono::steady_clock::duration::zero()) {
    return 0;
  }
  return std::min<int64_t>(std::chrono::ceil<std::chrono::milliseconds>(left).count(), most);
}

}  // namespace qx80
