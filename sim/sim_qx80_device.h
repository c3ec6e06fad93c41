#pragma once
// A simulated QX-80 on the simulated HID bus. It reassembles the host's requests, answers
// every message of the command catalogue, and sends notifications and text messages on
// demand; faults (sim/sim_fault.h) make it misbehave.
//
// What it answers:
// - sets are remembered per message id: the `arg` value, and the data under the `arg`
//   byte as selector; the matching get returns the value in its `arg` (gets without data)
//   or the data stored under its selector, cut or zero-padded to the reply length the
//   catalogue expects;
// - the version query (get 0x0006) answers the 16-byte text configured for its selector;
// - the addressed transfers (0x0800, 0x0802) write and read a memory of their own per id;
// - set 0x0016 switches its text messages on or off;
// - any other request gets an empty reply with status SIM_STATUS_UNKNOWN_MESSAGE.
// Requests are dispatched by message id through a table; a new message gets a handler row.
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "device/sim_bus/sim_hid_bus.h"
#include "protocol/device_protocol.h"
#include "protocol/message.h"
#include "sim/sim_fault.h"
#include "sim/sim_firmware_transfer.h"
#include "sim/sim_mode_switch.h"
#include "sim/sim_timer_queue.h"
#include "sim/sim_wire.h"

namespace qx80 {

// The version query's message id.
constexpr uint16_t SIM_MSG_VERSION = 0x0006;

// Reply statuses of the simulated device.
constexpr uint8_t SIM_STATUS_UNKNOWN_MESSAGE = 0x01;  // id or type it does not know
constexpr uint8_t SIM_STATUS_BAD_ARGUMENT = 0x02;     // a selector or data it cannot take

constexpr size_t kVersionTextSize = 16;

struct SimQx80Config {
  uint16_t productId = QX80_PRODUCT_NORMAL;
  // Version texts by selector of the version query: the four-character version first.
  std::map<uint8_t, std::string> versions = {
      {0x00, "2.05"}, {0x21, "2.05"}, {0x20, "2.05"}, {0x22, "2.05"}, {0x01, "2.05"},
  };
  SimModeSwitchConfig modeSwitch;
  // Payload bytes of its reports each way; another length makes an interface that only looks
  // like a QX-80.
  uint16_t reportLength = kReportSize;
};

class SimQx80Device final : public SimHidBus::Endpoint {
 public:
  // The device starts plugged in.
  explicit SimQx80Device(SimHidBus& bus, SimQx80Config config = {});
  ~SimQx80Device() override;
  SimQx80Device(const SimQx80Device&) = delete;
  SimQx80Device& operator=(const SimQx80Device&) = delete;

  void Plug();
  void Unplug();
  bool IsPlugged() const;
  // The product id it presents now (or will present when it comes back).
  uint16_t ProductId() const;
  // A version that becomes the selector's version when the host ends the update mode.
  void SetPendingVersion(uint8_t selector, std::string_view text);

  // Version text (at most 16 bytes, zero-padded) for a selector of the version query.
  void SetVersion(uint8_t selector, std::string_view text);
  // What a get of `id` with `selector` answers, as if a set had stored it.
  void SetStored(uint16_t id, uint8_t selector, std::vector<uint8_t> data);
  std::vector<uint8_t> Stored(uint16_t id, uint8_t selector) const;
  std::optional<uint8_t> StoredValue(uint16_t id) const;
  // The memory of the addressed transfer with message id `id`; bytes never written are 0.
  std::vector<uint8_t> ReadMemory(uint16_t id, uint32_t address, size_t count) const;

  void AddFault(SimFault fault);
  // The firmware transfer's state, timing and faults (thread-safe on its own).
  SimFirmwareTransfer& Transfer() { return m_transfer; }
  void ClearFaults();

  // Unsolicited reports, sent at once when plugged; a text only while the host has switched
  // text messages on, and dropped otherwise.
  void SendNotification(std::span<const uint8_t> payload);
  void SendText(uint8_t kind, std::string_view text);
  // Whether the host has switched text messages on (set 0x0016 with a non-zero value).
  bool TextEnabled() const;

  // From now on every complete request is kept for Requests(). Off by default: a whole
  // update sends megabytes that only tests look at.
  void KeepRequests();
  // Every complete request received since KeepRequests, in order.
  std::vector<std::vector<uint8_t>> Requests() const;
  // Runs `observer` on the header of every complete request from now on, before it is
  // handled, on the host's writing thread and without the device's lock (tests: to change
  // the clock or cut the power at a given step of a run).
  void ObserveRequests(std::function<void(const MessageHeader&)> observer);
  // Loses power `afterMs` clock milliseconds from now (0: at once, and a request being handled
  // then goes unanswered): leaves the bus, forgets a restart it had planned, the transfer under
  // way and every image written since the update mode began, and comes back `offMs` later
  // under `productId`. Safe from an observer of requests.
  void PowerCut(uint32_t afterMs, uint16_t productId, uint32_t offMs);
  // Waits until no late answer is pending, at most `realBound`.
  bool WaitIdle(std::chrono::milliseconds realBound = std::chrono::seconds(10));

  void OnOutputReport(SimHidBus::DeviceId device, std::span<const uint8_t> report) override;

 private:
  struct Reply {
    MessageHeader header;
    std::vector<uint8_t> data;
    std::optional<SimFault> fault = std::nullopt;  // done to this reply instead of one from the fault table
    std::optional<SimFirmwareTransfer::FollowUp> followUp = std::nullopt;  // a notification after the reply
  };
  using Handler = Reply (SimQx80Device::*)(const MessageHeader& request, std::span<const uint8_t> data);
  struct HandlerEntry {
    uint16_t id;
    Handler handler;
  };
  static const HandlerEntry kHandlers[];

  // Each runs with m_mutex held.
  Reply Dispatch(std::span<const uint8_t> request);
  Reply HandleStored(const MessageHeader& request, std::span<const uint8_t> data);
  Reply HandleVersion(const MessageHeader& request, std::span<const uint8_t> data);
  Reply HandleTextSwitch(const MessageHeader& request, std::span<const uint8_t> data);
  Reply HandleMemory(const MessageHeader& request, std::span<const uint8_t> data);
  Reply HandleTransfer(const MessageHeader& request, std::span<const uint8_t> data);  // sim_firmware_transfer.cpp
  Reply HandleModeSwitch(const MessageHeader& request, std::span<const uint8_t> data);
  // Leaves the bus after the acknowledgement and comes back as `productId` (sim_mode_switch.cpp).
  void ScheduleRestart(uint16_t productId, uint32_t returnDelayMs, bool returns);
  void ArriveAs(uint16_t productId);
  void LosePower(uint16_t productId, uint32_t offMs);
  std::optional<SimFault> TakeFault(uint16_t id);

  void Push(SimHidBus::DeviceId device, const std::vector<Report>& reports);
  void PushWhenPlugged(const std::vector<Report>& reports);

  struct StoredMessage {
    uint8_t value = 0;
    std::map<uint8_t, std::vector<uint8_t>> data;  // by selector
  };

  SimHidBus& m_bus;
  mutable std::mutex m_mutex;
  uint16_t m_productId;
  const uint16_t m_reportLength;
  bool m_plugged = false;
  SimHidBus::DeviceId m_deviceId = 0;
  SimHidBus::Port m_port = SimHidBus::kNewPort;  // kept from its first plug on
  RequestAssembler m_assembler;
  std::map<uint8_t, std::string> m_versions;
  std::map<uint16_t, StoredMessage> m_store;
  std::map<uint16_t, std::map<uint32_t, uint8_t>> m_memory;
  bool m_textEnabled = false;
  std::vector<SimFault> m_faults;
  bool m_keepRequests = false;
  std::vector<std::vector<uint8_t>> m_requests;
  std::function<void(const MessageHeader&)> m_observer;
  // Set by a handler, run once its reply is on the bus: a restart's delay counts from there.
  std::function<void()> m_afterReply;
  SimModeSwitchConfig m_modeSwitch;
  // Counts power cuts: a restart planned before a cut is dropped when it falls due.
  uint32_t m_powerCuts = 0;
  std::map<uint8_t, std::string> m_pendingVersions;
  SimFirmwareTransfer m_transfer;
  SimTimerQueue m_timer;
};

}  // namespace qx80
