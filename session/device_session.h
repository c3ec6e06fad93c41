#pragma once
// CDeviceSession: the updater's logic between the device and its user, without windows. It
// follows the device through the watcher's mode reports (a channel while the device is
// present, its five component versions read once per channel), runs one update with the
// update worker, relays the worker's progress as one overall percentage and turns the result
// into success or failure. The main dialog and the command-line tool both drive it.
//
// With a transcript being written (device/transcript.h), it notes every mode report, the start
// of an update and its result there, for every front end alike.
//
// It reaches its user only by posted messages: WM_DEVICE_MODE_CHANGED (from the watcher) and
// WM_UPDATE_FINISHED go to the session's window, WM_UPDATE_PROGRESS to the progress window.
// The user's thread takes them from its message loop and calls OnDeviceModeChanged and
// OnUpdateFinished; everything here except PostUpdateProgress runs on that thread.
//
// Create it with Create (std::shared_ptr): a running update holds the session, whose
// progress forwarder it calls, until the worker's body has returned.
#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "firmware/firm_slots.h"
#include "platform/window_message.h"
#include "protocol/version_query.h"
#include "session/version_rules.h"
#include "workers/device_comm_app.h"
#include "workers/device_watcher.h"
#include "workers/firm_updater.h"
#include "workers/status_codes.h"

namespace qx80 {

// The version query (its selectors: protocol/version_query.h).
constexpr int32_t CMD_GET_VERSION = 11;
// Shown for a component whose version query failed.
inline constexpr char16_t kVersionUnavailable[] = u"---";

class CDeviceSession {
 public:
  using Versions = std::array<std::u16string, kComponentSlots>;

  // `window` receives the mode reports and the update's result.
  static std::shared_ptr<CDeviceSession> Create(WindowHandle window);
  // Stops watching and the update worker, then closes the channel.
  ~CDeviceSession();
  CDeviceSession(const CDeviceSession&) = delete;
  CDeviceSession& operator=(const CDeviceSession&) = delete;

  // The watcher posts every change of the device mode to the session's window; its first
  // poll comes `firstPollMs` after the start (CDeviceWatcher::StartWatching).
  StatusCode StartWatching(uint32_t firstPollMs = CDeviceWatcher::kPollPeriodMs);
  void StopWatching();

  // WM_DEVICE_MODE_CHANGED: 0 closes the channel, 1 or 2 opens one in that mode.
  void OnDeviceModeChanged(int32_t mode);
  // Opens a channel in `mode` and reads the five versions. False, reading nothing, when a
  // channel is already open or none can be created.
  bool ConnectDevice(int32_t mode);
  // Clears the ready flag, closes the channel, forgets the versions.
  void DisconnectDevice();
  // Forgets the versions read, keeping the channel.
  void ClearDeviceVersions() { m_deviceVersions = Versions{}; }

  // The device's versions by component slot: "" unread, "---" when the query failed.
  const Versions& DeviceVersions() const { return m_deviceVersions; }
  // The last mode reported to OnDeviceModeChanged (-1 before any).
  int32_t ReportedMode() const { return m_reportedMode; }
  bool IsConnected() { return m_device->HasChannel(); }

  // Starts the update of the package in `slots`; progress goes to `progressWindow` (may be
  // null), and with `tellSteps` each step (WM_UPDATE_STEP, workers/update_step.h) to the
  // session's window. A non-negative status means started.
  StatusCode StartUpdate(const FirmSlots& slots, WindowHandle progressWindow, bool tellSteps = false);
  // WM_UPDATE_FINISHED: notes the result in the transcript, stops the worker, releases and
  // closes the channel. The front end words the result (0 is success, anything else a failure).
  void OnUpdateFinished(int32_t result);
  // Stops the update worker (bounded), releasing the channel it used.
  void StopUpdate() { m_updater->StopUpdate(); }
  // Asks the running update to stop at its next step (CFirmUpdater::StopAfterBlock); its
  // result, -17, still arrives as WM_UPDATE_FINISHED.
  void StopUpdateAfterBlock() { m_updater->StopAfterBlock(); }
  // The progress callback of every section, on the worker thread: posts WM_UPDATE_PROGRESS
  // with (percent + section index x 100) / section count to the progress window, while there
  // is one and the count is not 0.
  static void PostUpdateProgress(int percent, void* userData);

  const std::shared_ptr<CDeviceCommApp>& Device() const { return m_device; }
  const std::shared_ptr<CFirmUpdater>& Updater() const { return m_updater; }
  WindowHandle Window() const { return m_window; }

 private:
  explicit CDeviceSession(WindowHandle window);
  void ReadVersions();

  std::weak_ptr<CDeviceSession> m_self;
  WindowHandle m_window;
  std::atomic<WindowHandle> m_progressWindow{nullptr};
  std::shared_ptr<CDeviceCommApp> m_device = std::make_shared<CDeviceCommApp>();
  std::shared_ptr<CDeviceWatcher> m_watcher = std::make_shared<CDeviceWatcher>();
  std::shared_ptr<CFirmUpdater> m_updater = std::make_shared<CFirmUpdater>();
  DeviceModeHandler m_handler;
  Versions m_deviceVersions;
  int32_t m_reportedMode = DEVICE_MODE_UNKNOWN;
};

// The overall percentage of an update: a section's percent scaled into its share,
// (percent + index x 100) / count in unsigned 32-bit arithmetic; count must not be 0.
uint32_t OverallPercent(int percent, uint32_t sectionIndex, uint32_t sectionCount);

// The version rules' inputs from a package's slots and the device's texts.
VersionSlots MakeVersionSlots(const FirmSlots& slots, const CDeviceSession::Versions& device);

}  // namespace qx80
