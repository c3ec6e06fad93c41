#pragma once
// CDeviceWatcher: a worker that looks at the bus every 200 ms, keeps g_deviceMode current
// and tells its handler about every change.
//
// Reporting rule: a probe result that differs from the stored mode is stored and
// reported; but when the stored mode was a present one (1 or 2), 0 is stored and reported
// instead and the new mode follows at the next poll. A device switching between normal
// and update mode leaves the bus in between, and everyone above relies on seeing that
// absence: such a switch is seen as 0, then the new mode at least one poll later.
//
// Like every Thread, a watcher must be owned by a std::shared_ptr to start.
#include <cstdint>
#include <mutex>

#include "workers/device_mode.h"
#include "workers/status_codes.h"
#include "workers/thread.h"

namespace qx80 {

class CDeviceWatcher : public Thread {
 public:
  static constexpr uint32_t kPollPeriodMs = 200;

  // Sets g_deviceMode to -1 (not yet known).
  CDeviceWatcher();
  // Stops the thread and sets g_deviceMode to 0, unless StopWatching has done so since the
  // last StartWatching: the mode is then no longer this watcher's to write.
  ~CDeviceWatcher() override;

  // kStatusOk once the thread runs; the first poll, `firstPollMs` later, always reports. The
  // application waits one period; a caller that has nothing to show before the first report
  // (the command-line tool) passes 0 and the thread probes at once.
  // kStatusAlreadyInitialized while a thread of this watcher exists, even one that
  // outlived a stop: nothing changes then. kStatusNullPointer for a null handler: nothing
  // starts. kStatusFail when the thread cannot be started: watching is stopped again.
  StatusCode StartWatching(const DeviceModeHandler* handler, uint32_t firstPollMs = kPollPeriodMs);
  // Stops the thread (bounded by kWorkerStopTimeoutMs), then sets g_deviceMode to 0 and
  // forgets the handler. From then on this watcher neither calls the handler nor writes
  // g_deviceMode, even when its thread outlived the bound. Harmless when not watching.
  void StopWatching();

 protected:
  uint32_t Run() override;
  // Posts a quit to the thread's queue, which ends the current wait at once; clears
  // m_running instead when there is no queue to post to.
  void RequestStop() override;
  // One look at the bus (ProbeDevice).
  virtual DeviceMode Probe();

 private:
  // Applies the reporting rule to one probe result.
  void Report(DeviceMode probed);

  // Guards m_handler and m_watching, and makes each report atomic against StopWatching.
  std::recursive_mutex m_lock;
  DeviceModeHandler m_handler;
  bool m_watching = false;
  // StopWatching has reset the mode since the last StartWatching.
  bool m_modeReleased = false;
  // Set before the thread starts; read only by it.
  uint32_t m_firstPollMs = kPollPeriodMs;
};

}  // namespace qx80
