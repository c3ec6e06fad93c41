#pragma once
// The far end of a report link built on a named pipe, for what Wine's own HID devices
// cannot do: deliver input reports on demand, take output reports, or stall a write.
// Reports the near end writes are held until the peer reads (the inbound pipe buffer is
// empty), so an unread report is a stalled write; reports the peer sends are buffered.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "device/win32/win32_unique_handle.h"

namespace qx80 {

class PipePeer {
 public:
  PipePeer();
  ~PipePeer();
  PipePeer(const PipePeer&) = delete;
  PipePeer& operator=(const PipePeer&) = delete;

  bool Connected() const { return m_server.Valid() && m_client.Valid(); }
  // The near end, opened for overlapped reading and writing; once.
  UniqueHandle TakeNearEnd() { return std::move(m_client); }
  // A path that names the pipe (it exists but is not a HID interface).
  const std::string& Path() const { return m_path; }

  // Queues one report to the near end.
  bool Send(std::span<const uint8_t> report);
  // Starts taking one report from the near end; a write stalled until now completes.
  bool StartReceive();
  // The report taken, or false when none came within `waitMs` (the receive is cancelled).
  bool FinishReceive(std::vector<uint8_t>& report, uint32_t waitMs);
  // The device leaves: the near end's transfers fail from now on.
  void Disconnect();

 private:
  std::string m_path;
  UniqueHandle m_server;
  UniqueHandle m_client;
  UniqueHandle m_event;
  OVERLAPPED m_receive{};
  std::vector<uint8_t> m_receiveBuffer;
  bool m_receiving = false;
};

}  // namespace qx80
