#pragma once
// The one clock behind every sleep, tick count and timed wait of the system.
//
// Production runs on real time. Tests install a ScaledClock so that the long waits of
// the update (ten seconds of settling ticks, two minutes for the mode switch, 200 ms
// polls, 20 s stop bounds) pass in milliseconds while keeping their order and ratios.
#include <chrono>
#include <cstdint>

namespace qx80 {

class Clock {
 public:
  virtual ~Clock() = default;
  // Milliseconds since an arbitrary origin; wraps at 2^32 like the platform tick counter.
  virtual uint32_t TickCount() = 0;
  virtual void Sleep(uint32_t ms) = 0;
  // How long a timed wait of `ms` clock milliseconds takes in real time.
  virtual std::chrono::nanoseconds RealDuration(uint32_t ms) = 0;
};

// Real time.
class RealClock final : public Clock {
 public:
  uint32_t TickCount() override;
  void Sleep(uint32_t ms) override;
  std::chrono::nanoseconds RealDuration(uint32_t ms) override;
};

// Clock time runs `speedup` times faster than real time. An optional offset starts the
// tick counter anywhere, for example just before its wrap-around.
class ScaledClock final : public Clock {
 public:
  explicit ScaledClock(double speedup, uint32_t startTick = 0);
  uint32_t TickCount() override;
  void Sleep(uint32_t ms) override;
  std::chrono::nanoseconds RealDuration(uint32_t ms) override;

 private:
  double m_speedup;
  uint32_t m_startTick;
  std::chrono::steady_clock::time_point m_origin;
};

// The clock in force for the whole process. Threads read it at every use, so install a
// clock before starting the threads that use it and keep it alive until they have ended.
Clock& GetClock();
void SetClock(Clock* clock);  // nullptr restores real time

// Installs a clock for one scope (tests).
class ScopedClock {
 public:
  explicit ScopedClock(Clock& clock);
  ~ScopedClock();
  ScopedClock(const ScopedClock&) = delete;
  ScopedClock& operator=(const ScopedClock&) = delete;

 private:
  Clock* m_previous;
};

// Elapsed milliseconds between two tick counts, correct across the 2^32 wrap-around.
inline uint32_t TicksSince(uint32_t start, uint32_t now) {
  return now - start;
}

}  // namespace qx80
