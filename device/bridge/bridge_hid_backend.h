#pragma once
// A HID backend whose one interface is a device served by another process over the bridge
// (docs/bridge.md): a test harness in any language, or the simulated QX-80 behind a
// BridgeServer. Install it like any backend, and CHidDevice finds and uses the device:
//
//   BridgeHidBackend bridge("127.0.0.1", 5080);
//   ScopedHidBackend scoped(bridge);  // or SetHidBackend(&bridge) for the whole process
//
// Enumerate connects when there is no connection (failure: an empty bus) and keeps the
// connection. The device is present between a 'P' frame and the next 'G' frame or the loss
// of the connection; every 'P' makes a new path, so a device that comes back (for example
// under its update-mode product id) is a new interface and handles on the old one fail, as
// after an unplug. A peer that breaks the frame rules loses its connection.
//
// Thread safety as for every backend (device/hid_backend.h). Close every handle before the
// backend is destroyed; the destructor ends the connection and its reader thread.
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "device/bridge/bridge_stream.h"
#include "device/hid_backend.h"
#include "device/sim_bus/sim_hid_bus.h"

namespace qx80 {

// Splits "HOST:PORT" (the text after "bridge:" in a device option). False when the host
// is empty or the port is not a number from 1 to 65535.
bool ParseBridgeAddress(std::string_view text, std::string& host, uint16_t& port);

class BridgeHidBackend final : public HidBackend {
 public:
  // Clock milliseconds to wait for a connection, then for the device's first frame on it.
  static constexpr int32_t kConnectTimeoutMs = 500;
  static constexpr int32_t kFirstFrameTimeoutMs = 500;

  BridgeHidBackend(std::string host, uint16_t port);
  ~BridgeHidBackend() override;
  BridgeHidBackend(const BridgeHidBackend&) = delete;
  BridgeHidBackend& operator=(const BridgeHidBackend&) = delete;

  // Connects now when there is no connection. False, with the reason, when the server
  // cannot be reached or serves another client ('B').
  bool Reach(std::string& error);
  // The device's path ("bridge:HOST:PORT:N", N counting its appearances) while it is present.
  bool Enumerate(std::vector<std::string>& paths) override;
  // A handle on the device while it is present under `path`; null once it has gone.
  std::unique_ptr<HidHandle> Open(const std::string& path) override;
  // "bridge:HOST:PORT": the connection carries one device, whatever its appearances.
  bool Locate(const std::string& path, std::string& location) override;
  // The same location, known before any connection.
  std::string Location() const;

 private:
  class Handle;

  // Connects when there is no connection; the reason when that fails ("" when connected).
  std::string ConnectIfNeeded();
  void ReadFrames(BridgeStream& stream);   // the reader thread
  bool OnFrame(const BridgeFrame& frame);  // false: the peer broke the frame rules
  void DropDeviceLocked();
  // Sends an output report of the given appearance of the device; false once it has gone.
  bool SendOutput(uint32_t generation, std::span<const uint8_t> report);
  std::string PathLocked() const;

  const std::string m_host;
  const uint16_t m_port;

  std::mutex m_connectMutex;  // one connection attempt at a time; guards m_reader
  std::thread m_reader;

  // Lock order: m_mutex, then the mirror bus's own locks.
  mutable std::mutex m_mutex;
  std::condition_variable m_changed;
  std::shared_ptr<BridgeStream> m_stream;  // the current connection, shared with its reader
  bool m_readerEnded = true;
  bool m_heardFromDevice = false;  // a frame arrived on the current connection
  bool m_busy = false;             // the server said 'B' on the current connection
  // The remote device is mirrored on a private simulated bus, which gives open handles
  // the input queue, wake-up and unplug behaviour of every other backend.
  SimHidBus m_mirror;
  std::optional<SimHidBus::DeviceId> m_device;  // while present
  HidInterfaceCaps m_caps;
  uint32_t m_generation = 0;  // counts the 'P' frames
};

}  // namespace qx80
