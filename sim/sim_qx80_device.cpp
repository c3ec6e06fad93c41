#include "sim/sim_qx80_device.h"

#include <algorithm>
#include <utility>

#include "platform/byte_reader.h"
#include "protocol/command_catalogue.h"
#include "protocol/firmware_transfer.h"

namespace qx80 {
namespace {

// The addressed transfers' data starts with a 32-bit address and a 16-bit count.
constexpr size_t kAddressPrefix = 6;

// The reply data length the catalogue expects for requests of `type` with `id`; none for a
// message the catalogue does not exchange.
std::optional<uint16_t> CatalogueReplyLength(uint8_t type, uint16_t id) {
  for (const CommandRow& row : kCommandCatalogue) {
    const bool exchange = row.family == CommandFamily::Message || row.family == CommandFamily::TextSwitch ||
                          row.family == CommandFamily::CallerBuffer;
    if (exchange && row.requestType == type && row.id == id) {
      return row.replyLength;
    }
  }
  return std::nullopt;
}

MessageHeader ReplyHeader(const MessageHeader& request, uint8_t status = STATUS_OK) {
  return MessageHeader{ReplyTypeOf(request.type), request.id, 0, status, 0, 0};
}

}  // namespace

const SimQx80Device::HandlerEntry SimQx80Device::kHandlers[] = {
    {SIM_MSG_DEVICE_MODE, &SimQx80Device::HandleModeSwitch},
    {SIM_MSG_VERSION, &SimQx80Device::HandleVersion},
    {0x0016, &SimQx80Device::HandleTextSwitch},
    {0x0800, &SimQx80Device::HandleMemory},
    {0x0802, &SimQx80Device::HandleMemory},
    {MSG_FIRM_BEGIN, &SimQx80Device::HandleTransfer},
    {MSG_FIRM_BLOCK, &SimQx80Device::HandleTransfer},
    {MSG_FIRM_END, &SimQx80Device::HandleTransfer},
    {MSG_SIAM_BEGIN, &SimQx80Device::HandleTransfer},
    {MSG_SIAM_BLOCK, &SimQx80Device::HandleTransfer},
    {MSG_SIAM_INSTALL, &SimQx80Device::HandleTransfer},
};

SimQx80Device::SimQx80Device(SimHidBus& bus, SimQx80Config config)
    : m_bus(bus),
      m_productId(config.productId),
      m_reportLength(config.reportLength),
      m_versions(std::move(config.versions)),
      m_modeSwitch(config.modeSwitch) {
  Plug();
}

SimQx80Device::~SimQx80Device() {
  m_timer.Stop();
  Unplug();
}

void SimQx80Device::Plug() {
  HidInterfaceCaps caps;
  SimHidBus::Port port = SimHidBus::kNewPort;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_plugged) {
      return;
    }
    m_plugged = true;
    m_assembler = RequestAssembler();
    caps = HidInterfaceCaps{QX80_VENDOR_ID,
                            m_productId,
                            static_cast<uint16_t>(m_reportLength + 1),
                            static_cast<uint16_t>(m_reportLength + 1),
                            0,
                            0};
    port = m_port;
  }
  const SimHidBus::DeviceId id = m_bus.Attach(caps, this, port);
  const SimHidBus::Port plugged = m_bus.PortOf(id);
  std::lock_guard<std::mutex> lock(m_mutex);
  m_deviceId = id;
  m_port = plugged;
}

void SimQx80Device::Unplug() {
  SimHidBus::DeviceId id = 0;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_plugged) {
      return;
    }
    m_plugged = false;
    id = m_deviceId;
  }
  m_bus.Detach(id);
}

bool SimQx80Device::IsPlugged() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_plugged;
}

void SimQx80Device::SetVersion(uint8_t selector, std::string_view text) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_versions[selector] = std::string(text.substr(0, kVersionTextSize));
}

void SimQx80Device::SetStored(uint16_t id, uint8_t selector, std::vector<uint8_t> data) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_store[id].data[selector] = std::move(data);
}

std::vector<uint8_t> SimQx80Device::Stored(uint16_t id, uint8_t selector) const {
  std::lock_guard<std::mutex> lock(m_mutex);
  const auto message = m_store.find(id);
  if (message == m_store.end()) {
    return {};
  }
  const auto data = message->second.data.find(selector);
  return data == message->second.data.end() ? std::vector<uint8_t>{} : data->second;
}

std::optional<uint8_t> SimQx80Device::StoredValue(uint16_t id) const {
  std::lock_guard<std::mutex> lock(m_mutex);
  const auto message = m_store.find(id);
  return message == m_store.end() ? std::nullopt : std::optional<uint8_t>(message->second.value);
}

std::vector<uint8_t> SimQx80Device::ReadMemory(uint16_t id, uint32_t address, size_t count) const {
  std::lock_guard<std::mutex> lock(m_mutex);
  std::vector<uint8_t> bytes(count, 0);
  const auto memory = m_memory.find(id);
  if (memory != m_memory.end()) {
    for (size_t i = 0; i < count; ++i) {
      const auto byte = memory->second.find(static_cast<uint32_t>(address + i));
      bytes[i] = byte == memory->second.end() ? 0 : byte->second;
    }
  }
  return bytes;
}

void SimQx80Device::AddFault(SimFault fault) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_faults.push_back(std::move(fault));
}

void SimQx80Device::ClearFaults() {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_faults.clear();
}

void SimQx80Device::SendNotification(std::span<const uint8_t> payload) {
  PushWhenPlugged({FrameNotification(payload)});
}

void SimQx80Device::SendText(uint8_t kind, std::string_view text) {
  if (!TextEnabled()) {
    return;  // the device keeps its texts to itself until the host asks for them
  }
  PushWhenPlugged(FrameText(kind, text));
}

void SimQx80Device::PushWhenPlugged(const std::vector<Report>& reports) {
  std::unique_lock<std::mutex> lock(m_mutex);
  const SimHidBus::DeviceId id = m_deviceId;
  const bool plugged = m_plugged;
  lock.unlock();
  if (plugged) {
    Push(id, reports);
  }
}

bool SimQx80Device::TextEnabled() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_textEnabled;
}

void SimQx80Device::KeepRequests() {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_keepRequests = true;
}

std::vector<std::vector<uint8_t>> SimQx80Device::Requests() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_requests;
}

void SimQx80Device::ObserveRequests(std::function<void(const MessageHeader&)> observer) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_observer = std::move(observer);
}

bool SimQx80Device::WaitIdle(std::chrono::milliseconds realBound) {
  return m_timer.WaitIdle(realBound);
}

void SimQx80Device::OnOutputReport(SimHidBus::DeviceId device, std::span<const uint8_t> report) {
  std::vector<Report> reports;
  bool unplug = false;
  std::optional<uint32_t> delayMs;
  std::optional<SimFirmwareTransfer::FollowUp> followUp;
  std::function<void()> afterReply;
  std::function<void(const MessageHeader&)> observer;
  MessageHeader header{};
  uint32_t powerCuts = 0;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    // The platform report starts with the report-id byte.
    if (report.size() < kReportSize + 1 || !m_assembler.Add(report.subspan(1))) {
      return;
    }
    const std::span<const uint8_t> request = m_assembler.Message();
    if (m_keepRequests) {
      m_requests.emplace_back(request.begin(), request.end());
    }
    observer = m_observer;
    header = ReadHeader(request.data());
    powerCuts = m_powerCuts;
  }
  // Before the request is handled and without the device's lock: the observer may change the
  // clock or cut the power. The message stays assembled meanwhile, as the host sends its next
  // report only once this one is taken.
  if (observer) {
    observer(header);
  }
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_powerCuts != powerCuts) {
      return;  // the power went before the device could act on the request
    }
    const std::span<const uint8_t> request = m_assembler.Message();
    Reply reply = Dispatch(request);
    bool answer = true;
    const std::optional<SimFault> fault = reply.fault ? reply.fault : TakeFault(header.id);
    if (fault) {
      switch (fault->kind) {
        case SimFaultKind::NoAnswer:
          answer = false;
          break;
        case SimFaultKind::WrongType:
          reply.header.type = static_cast<uint8_t>(fault->value);
          break;
        case SimFaultKind::WrongId:
          reply.header.id = static_cast<uint16_t>(fault->value);
          break;
        case SimFaultKind::WrongLength:
          reply.data.resize(static_cast<size_t>(fault->value));
          break;
        case SimFaultKind::StatusError:
          reply.header.status = static_cast<uint8_t>(fault->value);
          reply.header.detail = fault->detail;
          break;
        case SimFaultKind::LateAnswer:
          delayMs = static_cast<uint32_t>(fault->value);
          break;
        case SimFaultKind::Unplug:
          answer = false;
          unplug = true;
          break;
        case SimFaultKind::NotifyInstead:
          answer = false;
          reports.push_back(FrameNotification(fault->payload));
          break;
      }
    }
    if (answer) {
      followUp = std::move(reply.followUp);
      reports = FrameMessage(REPORT_RESPONSE_FIRST, EncodeMessage(reply.header, reply.data));
    }
    afterReply = std::exchange(m_afterReply, {});
  }
  // The bus is called without the device's lock: it may wait for this very endpoint.
  if (unplug) {
    Unplug();
  } else if (delayMs.has_value()) {
    m_timer.Post(*delayMs, [this, device, reports] { Push(device, reports); });
  } else {
    Push(device, reports);
  }
  if (followUp.has_value()) {
    m_timer.Post(followUp->delayMs,
                 [this, device, report = FrameNotification(followUp->payload)] { Push(device, {report}); });
  }
  if (afterReply) {
    afterReply();
  }
}

SimQx80Device::Reply SimQx80Device::Dispatch(std::span<const uint8_t> request) {
  const MessageHeader header = ReadHeader(request.data());
  const std::span<const uint8_t> data = request.subspan(kHeaderSize);
  if (header.type == MSG_SET_REQUEST || header.type == MSG_GET_REQUEST) {
    for (const HandlerEntry& entry : kHandlers) {
      if (entry.id == header.id) {
        return (this->*entry.handler)(header, data);
      }
    }
    if (CatalogueReplyLength(header.type, header.id).has_value()) {
      return HandleStored(header, data);
    }
  }
  return Reply{ReplyHeader(header, SIM_STATUS_UNKNOWN_MESSAGE), {}};
}

SimQx80Device::Reply SimQx80Device::HandleStored(const MessageHeader& request, std::span<const uint8_t> data) {
  StoredMessage& stored = m_store[request.id];
  Reply reply{ReplyHeader(request), {}};
  if (request.type == MSG_SET_REQUEST) {
    stored.value = request.arg;
    if (!data.empty()) {
      stored.data[request.arg].assign(data.begin(), data.end());
    }
  } else {
    reply.header.arg = stored.value;
    const auto selected = stored.data.find(request.arg);
    if (selected != stored.data.end()) {
      reply.data = selected->second;
    }
  }
  reply.data.resize(CatalogueReplyLength(request.type, request.id).value_or(0));
  return reply;
}

SimQx80Device::Reply SimQx80Device::HandleVersion(const MessageHeader& request, std::span<const uint8_t>) {
  if (request.type != MSG_GET_REQUEST) {
    return Reply{ReplyHeader(request, SIM_STATUS_UNKNOWN_MESSAGE), {}};
  }
  const auto version = m_versions.find(request.arg);
  if (version == m_versions.end()) {
    return Reply{ReplyHeader(request, SIM_STATUS_BAD_ARGUMENT), {}};
  }
  Reply reply{ReplyHeader(request), std::vector<uint8_t>(version->second.begin(), version->second.end())};
  reply.data.resize(kVersionTextSize);
  return reply;
}

SimQx80Device::Reply SimQx80Device::HandleTextSwitch(const MessageHeader& request, std::span<const uint8_t> data) {
  if (request.type == MSG_SET_REQUEST) {
    m_textEnabled = request.arg != 0;
  }
  return HandleStored(request, data);
}

SimQx80Device::Reply SimQx80Device::HandleMemory(const MessageHeader& request, std::span<const uint8_t> data) {
  if (data.size() < kAddressPrefix) {
    return Reply{ReplyHeader(request, SIM_STATUS_BAD_ARGUMENT), {}};
  }
  const uint32_t address = ReadLe32(data.data());
  const uint16_t count = ReadLe16(data.data() + 4);
  std::map<uint32_t, uint8_t>& memory = m_memory[request.id];
  if (request.type == MSG_SET_REQUEST) {
    if (data.size() != kAddressPrefix + count) {
      return Reply{ReplyHeader(request, SIM_STATUS_BAD_ARGUMENT), {}};
    }
    for (uint16_t i = 0; i < count; ++i) {
      memory[address + i] = data[kAddressPrefix + i];
    }
    return Reply{ReplyHeader(request), {}};
  }
  Reply reply{ReplyHeader(request), std::vector<uint8_t>(data.begin(), data.begin() + kAddressPrefix)};
  for (uint16_t i = 0; i < count; ++i) {
    const auto byte = memory.find(address + i);
    reply.data.push_back(byte == memory.end() ? 0 : byte->second);
  }
  return reply;
}

std::optional<SimFault> SimQx80Device::TakeFault(uint16_t id) {
  return TakeFirstFault(m_faults, &SimFault::times, [id](const SimFault& fault) {
    return fault.messageId == kAnyMessage || fault.messageId == id;
  });
}

void SimQx80Device::Push(SimHidBus::DeviceId device, const std::vector<Report>& reports) {
  std::array<uint8_t, kReportSize + 1> platformReport{};
  for (const Report& report : reports) {
    std::copy(report.begin(), report.end(), platformReport.begin() + 1);
    m_bus.PushInput(device, platformReport);
  }
}

}  // namespace qx80
