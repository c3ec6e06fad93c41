#pragma once
// Serves one HID interface of a backend over the bridge (docs/bridge.md), so that another
// process (the updater with a BridgeHidBackend, under Wine or natively) can use it. Only the
// HidBackend interface is used, so the served interface may be the simulated QX-80 on a
// SimHidBus or anything else a backend offers:
//
//   SimHidBus bus;                      // with the simulated QX-80 attached
//   BridgeServer server(bus, 0x1F5E);   // the first interface of this vendor
//   if (!server.Start(5080)) { ... }    // 0: any free port, see Port()
//   ...
//   server.Stop();                      // or let the destructor do it
//
// One client at a time: while one is served, another that connects is told so ('B') and
// its connection closed. For its client the
// server announces the interface ('P') whenever it finds it, forwards its input reports ('I')
// and writes the client's output reports to it. When the interface fails (unplugged or
// re-enumerated) the server says so ('G') and looks for it again every 20 ms of clock time,
// announcing it again once found, possibly under another product id. A client that
// disconnects or breaks the frame rules is dropped and the next one accepted.
#include <atomic>
#include <cstdint>
#include <memory>
#include <thread>

#include "device/bridge/bridge_socket.h"
#include "device/bridge/bridge_stream.h"
#include "device/hid_backend.h"

namespace qx80 {

class BridgeServer {
 public:
  // Clock milliseconds between searches for the interface, and for one write to it.
  static constexpr int32_t kPollMs = 20;
  static constexpr int32_t kWriteTimeoutMs = 500;

  // Serves the first interface of `backend` whose vendor id is `vendorId` (0: the first
  // interface at all). The backend must outlive the server.
  explicit BridgeServer(HidBackend& backend, uint16_t vendorId = 0);
  ~BridgeServer();
  BridgeServer(const BridgeServer&) = delete;
  BridgeServer& operator=(const BridgeServer&) = delete;

  // Start, Port and Stop belong to the owner's thread.
  // Listens on 127.0.0.1:`port` (0: a free port) and serves on a thread of its own. False
  // when the port cannot be bound (`failure`, when given, says why), or when the server is
  // running or was stopped.
  bool Start(uint16_t port, ListenFailure* failure = nullptr);
  // The port listened on; 0 before a successful Start.
  uint16_t Port() const { return m_port; }
  // Drops the client, closes the interface and ends the thread. Safe to call twice; the
  // server cannot be started again.
  void Stop();

 private:
  class ServedDevice;

  void Run();
  void Serve(BridgeStream& client);
  // Sends 'B' to every client waiting to be accepted and closes its connection.
  void TurnAwayWaitingClients();
  std::unique_ptr<HidHandle> FindInterface() const;

  HidBackend& m_backend;
  const uint16_t m_vendorId;
  Socket m_listener;
  uint16_t m_port = 0;
  SocketWaker m_waker;  // releases the wait for a client on Stop
  std::atomic<bool> m_stop{false};
  std::thread m_thread;
};

}  // namespace qx80
