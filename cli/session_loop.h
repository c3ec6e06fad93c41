#pragma once
// The tool's message loop: the device session's messages are posted into a queue that the
// command's thread drains, dispatching the mode reports to the session itself (as the main
// dialog does) and everything else to the command.
#include <cstdint>
#include <functional>
#include <memory>

#include "session/device_session.h"
#include "session/message_queue.h"

namespace qx80::cli {

class SessionLoop {
 public:
  // Clock milliseconds to wait for the watcher's first report.
  static constexpr uint32_t kFirstReportTimeoutMs = 3000;

  using MessageHandler = std::function<void(const WindowMessage&)>;

  // Installs the queue's poster for the life of the loop.
  SessionLoop();
  // Ends the session (its threads stop), then removes the poster.
  ~SessionLoop();
  SessionLoop(const SessionLoop&) = delete;
  SessionLoop& operator=(const SessionLoop&) = delete;

  CDeviceSession& Session() { return *m_session; }

  // Starts watching, with the first probe at once, and handles the first report: the mode
  // found (0 when no device, or when watching could not start).
  int32_t WaitForDevice();
  // Dispatches messages until `done` holds or the clock's bound for `timeoutMs` milliseconds
  // has passed (real time on a sped-up clock unless its bounds are scaled); returns `done()`.
  // Messages other than mode reports go to `onMessage`.
  bool RunUntil(const std::function<bool()>& done, uint32_t timeoutMs, const MessageHandler& onMessage = {});

 private:
  char m_windowToken = 0;  // the session's window: only its address is used
  std::shared_ptr<WindowMessageQueue> m_queue = std::make_shared<WindowMessageQueue>();
  std::shared_ptr<CDeviceSession> m_session;
};

}  // namespace qx80::cli
