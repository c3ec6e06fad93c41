#pragma once
// For a test step whose outcome is a time-out: while this lives, the clock's waits that
// give up as failed pass as fast as the rest of its time; afterwards they run in real time
// again, so the steps that should succeed wait for their event.
#include "platform/clock.h"

namespace qx80 {

class ScopedScaledBounds {
 public:
  explicit ScopedScaledBounds(ScaledClock& clock) : m_clock(clock) { m_clock.SetBounds(Bounds::Scaled); }
  ~ScopedScaledBounds() { m_clock.SetBounds(Bounds::Real); }
  ScopedScaledBounds(const ScopedScaledBounds&) = delete;
  ScopedScaledBounds& operator=(const ScopedScaledBounds&) = delete;

 private:
  ScaledClock& m_clock;
};

}  // namespace qx80
