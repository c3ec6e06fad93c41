#pragma once
// A simulated HID bus: virtual interfaces that behave towards CHidDevice like real ones.
// Devices can be attached, detached and re-enumerated under another product id while the
// bus is in use; each open handle has its own queue of input reports; a device can stall
// writes. Every test above the device link, and the simulated QX-80, stands on it.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "device/hid_backend.h"

namespace qx80 {

// How fast the bus moves reports.
enum class SimLink {
  Fast,       // at once: tests run at the speed of the machine
  FullSpeed,  // one report per 1 ms frame each way, like a full-speed interrupt endpoint
};

class SimHidBus final : public HidBackend {
 public:
  using DeviceId = uint32_t;
  // Frame length of a paced link, in clock milliseconds (a faster clock shortens it too).
  static constexpr uint32_t kFrameMs = 1;

  // What stands behind a simulated interface.
  class Endpoint {
   public:
    virtual ~Endpoint() = default;
    // Called on the writing thread for every output report written to the device
    // (platform report: report-id byte first). It may push input reports, detach or
    // re-enumerate the device; it must not block for long.
    virtual void OnOutputReport(DeviceId device, std::span<const uint8_t> report) = 0;
  };

  SimHidBus();
  ~SimHidBus() override;
  SimHidBus(const SimHidBus&) = delete;
  SimHidBus& operator=(const SimHidBus&) = delete;

  // Where a device is plugged in: a device that leaves and comes back (a restart) plugs into
  // the port it had, so its location stays while its path changes.
  using Port = uint32_t;
  static constexpr Port kNewPort = 0;

  // Adds an interface at the end of the enumeration order, plugged into `port` (kNewPort: a
  // port never used before). `endpoint` may be null (a device that swallows every report);
  // it must outlive the attachment.
  DeviceId Attach(const HidInterfaceCaps& caps, Endpoint* endpoint, Port port = kNewPort);
  // The port of an attached device; kNewPort when it is not attached.
  Port PortOf(DeviceId device) const;
  // Removes the interface; reads and writes on its open handles fail from then on.
  void Detach(DeviceId device);
  // The device leaves and comes back under another product id: open handles fail, and a
  // new path appears at the end of the enumeration order.
  void Reenumerate(DeviceId device, uint16_t productId);
  bool IsAttached(DeviceId device) const;

  // Queues one input report (platform length, report-id byte first) to every handle
  // currently open on the device. Returns the number of handles that got it.
  size_t PushInput(DeviceId device, std::span<const uint8_t> report);
  // While set, writes to the device never complete (they time out and are cancelled).
  void SetStallWrites(DeviceId device, bool stall);
  // Every write to the device completes, and the device sees its report, `delayMs` clock
  // milliseconds after it started (0: at once); a write cancelled before then never arrives.
  void SetWriteDelay(DeviceId device, uint32_t delayMs);
  // On a paced link every device's output and input reports each take a frame of their own:
  // a write completes, and the device sees the report, at the start of the first free frame;
  // an input report becomes readable at the start of its frame. Frames start on one grid.
  void SetLink(SimLink link);

  // Handles open on the whole bus (to show that nothing is left behind).
  size_t OpenHandleCount() const;
  // Output reports written to the device so far (platform reports).
  size_t WrittenReportCount(DeviceId device) const;

  bool Enumerate(std::vector<std::string>& paths) override;
  std::unique_ptr<HidHandle> Open(const std::string& path) override;
  // "sim-port:N", the device's port.
  bool Locate(const std::string& path, std::string& location) override;

 private:
  class Handle;
  struct Record;
  using TimePoint = std::chrono::steady_clock::time_point;

  std::shared_ptr<Record> Find(DeviceId device) const;
  // Whether a write to the device reaches it at once: a fast link, writes neither stalled
  // nor delayed.
  bool DeliversAtOnce(const Record& record) const;
  // The frame of the next report after `last` on a paced link, which it then holds; none on a
  // fast link. Called with m_mutex held.
  std::optional<TimePoint> TakeFrame(TimePoint& last) const;
  std::optional<TimePoint> TakeOutputFrame(Record& record);
  // Hands a written report to the device's endpoint; false when the device has gone.
  bool Deliver(Record& record, uint32_t generation, std::span<const uint8_t> report);
  void Unregister(Handle* handle);

  mutable std::mutex m_mutex;
  std::map<DeviceId, std::shared_ptr<Record>> m_devices;  // ordered by attach sequence
  std::map<uint64_t, DeviceId> m_order;                   // attach sequence -> device
  uint64_t m_nextSequence = 0;
  DeviceId m_nextId = 1;
  Port m_nextPort = 1;
  std::vector<Handle*> m_handles;
  std::atomic<SimLink> m_link{SimLink::Fast};
  TimePoint m_frameOrigin = std::chrono::steady_clock::now();
};

}  // namespace qx80
