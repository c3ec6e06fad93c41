#pragma once
// The one clock behind every sleep, tick count and timed wait of the system.
//
// Production runs on real time. Tests install a ScaledClock so that the long waits of
// the update (ten seconds of settling ticks, two minutes for the mode switch, 200 ms
// polls, 20 s stop bounds) pass in milliseconds while keeping their order and ratios.
#include <atomic>
#include <chrono>
#include <cstdint>

namespace qx80 {

class Clock {
 public:
  virtual ~Clock() = default;
  // Milliseconds since an arbitrary origin; wraps at 2^32 like the platform tick counter.
  virtual uint32_t TickCount() = 0;
  virtual void Sleep(uint32_t ms) = 0;
  // How long a timed wait of `ms` clock milliseconds takes in real time: a delay or a
  // period (a poll, a device's restart), which runs its full length.
  virtual std::chrono::nanoseconds RealDuration(uint32_t ms) = 0;
  // How long in real time a wait for something that should come (a reply, a completed
  // write, a device's first word) may last before it gives up as failed.
  virtual std::chrono::nanoseconds RealBound(uint32_t ms) { return RealDuration(ms); }
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
//
// Bounds say what happens to the waits that give up as failed. A step whose outcome is
// such a time-out scales them with everything else. A path that should succeed lets them
// run in real time, so a busy machine that is slow to schedule the
// answering thread never turns success into a time-out; its delays and periods still run
// scaled. A test may switch between the two on the same time line.
enum class Bounds { Scaled, Real };

// The speed-ups a ScaledClock takes; it holds any other to the nearest of them, so that its
// conversions never overflow.
constexpr double kSlowestClockSpeedup = 1e-3;
constexpr double kFastestClockSpeedup = 1e6;

class ScaledClock final : public Clock {
 public:
  explicit ScaledClock(double speedup, Bounds bounds, uint32_t startTick = 0);
  uint32_t TickCount() override;
  void Sleep(uint32_t ms) override;
  std::chrono::nanoseconds RealDuration(uint32_t ms) override;
  std::chrono::nanoseconds RealBound(uint32_t ms) override;
  void SetBounds(Bounds bounds) { m_bounds.store(bounds); }

 private:
  double m_speedup;
  std::atomic<Bounds> m_bounds;
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

// The real time at which a wait for something that should come within `ms` clock
// milliseconds gives up (the process clock's RealBound from now).
std::chrono::steady_clock::time_point RealDeadline(uint32_t ms);
// Whole milliseconds from now until `deadline`, rounded up (a rest below a millisecond waits
// one instead of spinning), 0 once it has passed, never more than `most`.
int64_t MillisecondsUntil(std::chrono::steady_clock::time_point deadline, int64_t most);

// Elapsed milliseconds between two tick counts, correct across the 2^32 wrap-around.
inline uint32_t TicksSince(uint32_t start, uint32_t now) {
  return now - start;
}

}  // namespace qx80
