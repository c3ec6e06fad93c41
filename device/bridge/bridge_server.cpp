#include "device/bridge/bridge_server.h"

#include <span>
#include <string>
#include <vector>

#include "platform/clock.h"

namespace qx80 {

// The served interface while it is open: its handle, and a thread that forwards its input
// reports to the client.
class BridgeServer::ServedDevice {
 public:
  ServedDevice(std::unique_ptr<HidHandle> handle, BridgeStream& client)
      : m_handle(std::move(handle)), m_client(client) {
    if (m_handle->Caps().inputReportLength > 0) {
      m_forwarder = std::thread([this] { Forward(); });
    }
  }
  ~ServedDevice() {
    m_handle->WakeRead();
    if (m_forwarder.joinable()) {
      m_forwarder.join();
    }
  }
  ServedDevice(const ServedDevice&) = delete;
  ServedDevice& operator=(const ServedDevice&) = delete;

  // The handle failed: the interface was unplugged or re-enumerated.
  bool Failed() const { return m_failed.load(); }
  bool ClientLost() const { return m_clientLost.load(); }

  void Write(std::span<const uint8_t> report) {
    // A report of another length was meant for an earlier appearance of the device (it
    // crossed the 'G' on the wire); this one would not take it.
    if (report.size() != m_handle->Caps().outputReportLength) {
      return;
    }
    HidIo io = m_handle->StartWrite(report.data());
    if (io == HidIo::Pending) {
      io = m_handle->WaitWrite(kWriteTimeoutMs);
    }
    if (io == HidIo::TimedOut) {
      m_handle->CancelWrite();  // the device did not take the report, but it is still there
    } else if (io == HidIo::Failed) {
      m_failed.store(true);
    }
  }

 private:
  void Forward() {
    std::vector<uint8_t> report(m_handle->Caps().inputReportLength);
    for (;;) {
      HidIo io = m_handle->StartRead(report.data());
      if (io == HidIo::Pending) {
        io = m_handle->WaitRead(-1);
      }
      if (io != HidIo::Done) {
        m_failed.store(true);
        return;
      }
      if (!m_client.Send(BridgeFrameType::Input, report)) {
        m_clientLost.store(true);
        return;
      }
    }
  }

  const std::unique_ptr<HidHandle> m_handle;
  BridgeStream& m_client;
  std::atomic<bool> m_failed{false};
  std::atomic<bool> m_clientLost{false};
  std::thread m_forwarder;
};

BridgeServer::BridgeServer(HidBackend& backend, uint16_t vendorId) : m_backend(backend), m_vendorId(vendorId) {}

BridgeServer::~BridgeServer() {
  Stop();
}

bool BridgeServer::Start(uint16_t port, ListenFailure* failure) {
  if (m_thread.joinable() || m_stop.load()) {
    return false;
  }
  m_listener = Socket::ListenLoopback(port, failure);
  if (!m_listener.Valid()) {
    return false;
  }
  m_port = m_listener.LocalPort();
  m_thread = std::thread([this] { Run(); });
  return true;
}

void BridgeServer::Stop() {
  m_stop.store(true);
  m_waker.Raise();
  if (m_thread.joinable()) {
    m_thread.join();
  }
  m_listener.Close();
}

void BridgeServer::Run() {
  while (!m_stop.load()) {
    if (WaitForReadable(m_listener, m_waker, -1) != WaitResult::Readable) {
      return;
    }
    Socket accepted = m_listener.Accept();
    if (!accepted.Valid()) {
      GetClock().Sleep(kPollMs);  // the client gave up again, or the system is short of sockets
      continue;
    }
    BridgeStream client(std::move(accepted));
    Serve(client);
    client.Close();
  }
}

void BridgeServer::Serve(BridgeStream& client) {
  std::unique_ptr<ServedDevice> device;
  std::vector<BridgeFrame> frames;
  while (!m_stop.load()) {
    if (device != nullptr && device->ClientLost()) {
      return;
    }
    // The forwarder has ended before 'G' goes out, so no input report follows it.
    if (device != nullptr && device->Failed()) {
      device.reset();
      if (!client.Send(BridgeFrameType::Gone)) {
        return;
      }
    }
    if (device == nullptr) {
      if (auto handle = FindInterface()) {
        if (!client.Send(BridgeFrameType::Present, EncodePresentPayload(handle->Caps()))) {
          return;
        }
        device = std::make_unique<ServedDevice>(std::move(handle), client);
      }
    }
    frames.clear();
    if (!client.Receive(frames, kPollMs)) {
      return;
    }
    // Only while this client is known to be connected: one that has just gone makes room.
    TurnAwayWaitingClients();
    for (const auto& frame : frames) {
      if (frame.type != BridgeFrameType::Output) {
        return;  // a host sends output reports only
      }
      if (device != nullptr) {
        device->Write(frame.payload);
      }
    }
  }
}

void BridgeServer::TurnAwayWaitingClients() {
  while (WaitForReadable(m_listener, m_waker, 0) == WaitResult::Readable) {
    Socket waiting = m_listener.Accept();
    if (!waiting.Valid()) {
      return;
    }
    BridgeStream turnedAway(std::move(waiting));
    turnedAway.Send(BridgeFrameType::Busy);
    turnedAway.Close();
  }
}

std::unique_ptr<HidHandle> BridgeServer::FindInterface() const {
  std::vector<std::string> paths;
  if (!m_backend.Enumerate(paths)) {
    return nullptr;
  }
  for (const auto& path : paths) {
    auto handle = m_backend.Open(path);
    if (handle != nullptr && (m_vendorId == 0 || handle->Caps().vendorId == m_vendorId)) {
      return handle;
    }
  }
  return nullptr;
}

}  // namespace qx80
