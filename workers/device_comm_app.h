#pragma once
// CDeviceCommApp: the application's handle on the device. It holds the protocol channel while
// one is open, the parameter block every command call uses and the status pair of the last
// reply, behind one recursive lock that the user-interface side and the update worker both
// take around every use of the channel (connection lock first, then the channel's own).
//
// States: closed (no channel, m_open 0, m_ready 0) -> open (Connect: channel set, m_open 1)
// -> ready (m_ready 1) -> closing (Disconnect clears m_ready first) -> closed. Release goes
// from open or ready straight to closed and leaves m_ready as it was.
//
// Shared by std::shared_ptr between its owner and the update worker, so a worker that
// outlives its stop bound never uses a destroyed connection.
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

#include "protocol/device_protocol.h"
#include "protocol/parameter_block.h"
#include "protocol/protocol_result.h"

namespace qx80 {

class CDeviceCommApp {
 public:
  CDeviceCommApp() = default;
  virtual ~CDeviceCommApp();
  CDeviceCommApp(const CDeviceCommApp&) = delete;
  CDeviceCommApp& operator=(const CDeviceCommApp&) = delete;

  // Opens a channel in `mode` (1 normal, 2 update) unless one exists: true when it opened
  // one, which also sets m_ready (after the lock is released). False, with nothing changed,
  // when a channel already exists or none could be created.
  bool Connect(int32_t mode);
  // Runs numbered command `command` on m_params and m_status under the lock; -4
  // (ResultNoChannel) without touching the device when no channel is open. `stop`, when
  // given, may ask the command to stop at its next step while it runs (the channel's stop
  // signal).
  ProtocolResult RunCommand(int32_t command, const std::atomic<bool>* stop = nullptr);
  // Clears m_ready (without the lock), then Release.
  void Disconnect();
  // Closes and deletes the channel if m_open is 1. Returns m_open afterwards: 0 after a
  // release, otherwise whatever it held.
  int32_t Release();
  bool HasChannel();

  // Held around every use of m_channel, m_params and m_status, and around changes of m_open.
  std::recursive_mutex m_lock;
  std::atomic<int32_t> m_open{0};
  // 1 once the owner has finished opening the channel; the update worker polls it.
  std::atomic<int32_t> m_ready{0};
  std::unique_ptr<CDeviceProtocol> m_channel;
  uint8_t m_params[kParameterBlockSize] = {};
  StatusPair m_status;
};

}  // namespace qx80
