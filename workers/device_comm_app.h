#pragma once
// CDeviceCommApp: the application's handle on the device. It holds the protocol channel while
// one is open, the parameter block every command call uses and the status pair of the last
// reply, behind one recursive lock that it takes itself around every use of the channel
// (connection lock first, then the channel's own). Callers never see the lock or the block: a
// command is one call that fills the block, runs the command and reads the result under the
// lock, so the user-interface side and the update worker never interleave inside a command.
//
// States: closed (no channel, m_open 0, m_ready 0) -> open (Connect: channel set, m_open 1)
// -> ready (m_ready 1) -> closing (Disconnect clears m_ready first) -> closed. Release goes
// from open or ready straight to closed and leaves m_ready as it was.
//
// Shared by std::shared_ptr between its owner and the update worker, so a worker that
// outlives its stop bound never uses a destroyed connection.
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <span>

#include "protocol/device_protocol.h"
#include "protocol/parameter_block.h"
#include "protocol/protocol_result.h"

namespace qx80 {

using ParameterBlock = std::span<uint8_t, kParameterBlockSize>;
using ParameterBlockView = std::span<const uint8_t, kParameterBlockSize>;

// The steps of one command call, each run under the connection lock. `fill` prepares the
// parameter block (which keeps what the previous command left in it); `read` sees the block and
// the status pair after the command, whatever its result (it is not called when no channel is
// open). `stop`, when given, may ask the command to stop at its next step (the channel's stop
// signal).
struct CommandSteps {
  std::function<void(ParameterBlock)> fill = {};
  std::function<void(ParameterBlockView, const StatusPair&)> read = {};
  const std::atomic<bool>* stop = nullptr;
};

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
  // Fills the parameter block, runs numbered command `command` on it and m_status, and reads
  // the result, all under the lock; -4 (ResultNoChannel) without touching the device or the
  // block when no channel is open.
  ProtocolResult RunCommand(int32_t command, const CommandSteps& steps = {});
  // Clears m_ready (without the lock), then Release.
  void Disconnect();
  // Closes and deletes the channel if m_open is 1. Returns m_open afterwards: 0 after a
  // release, otherwise whatever it held.
  int32_t Release();
  bool HasChannel();
  // m_open: 1 while this object holds a channel it opened.
  [[nodiscard]] int32_t OpenFlag() const { return m_open.load(); }
  // m_ready: 1 once the owner has finished opening the channel; the update worker polls it.
  [[nodiscard]] int32_t ReadyFlag() const { return m_ready.load(); }

 private:
  // Held around every use of m_channel, m_params and m_status, and around changes of m_open.
  std::recursive_mutex m_lock;
  std::atomic<int32_t> m_open{0};
  std::atomic<int32_t> m_ready{0};
  std::unique_ptr<CDeviceProtocol> m_channel;
  uint8_t m_params[kParameterBlockSize] = {};
  StatusPair m_status;
};

}  // namespace qx80
