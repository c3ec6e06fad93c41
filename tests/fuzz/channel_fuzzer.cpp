// A device that answers one numbered command with arbitrary reports, through a real channel:
// responses, notifications and text messages as the receive thread takes them, and the
// command's checks of its reply. What the channel promises: a text reaches its handler
// terminated within its length; notifications carry only the listed codes and values in
// range; a command returns one of the listed results, and one that fails leaves the caller's
// block and buffer as they were.
//
// Input: byte 0 picks the command, the next 188 bytes are its parameter block, and the rest
// is the reports (kind byte and 63 bytes each) that the device sends once the request has
// arrived. A completion notification follows them, so the command's wait always ends once
// every report has been handled, without a time-out.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <span>
#include <vector>

#include "device/sim_bus/sim_hid_bus.h"
#include "protocol/command_catalogue.h"
#include "protocol/device_protocol.h"
#include "protocol/firmware_transfer.h"
#include "protocol/parameter_block.h"
#include "sim/sim_wire.h"
#include "tests/fuzz/fuzz_check.h"

namespace {

using qx80::Report;

class FuzzDevice final : public qx80::SimHidBus::Endpoint {
 public:
  FuzzDevice(qx80::SimHidBus& bus, std::vector<Report> answer)
      : m_bus(bus),
        m_answer(std::move(answer)),
        m_id(bus.Attach(qx80::HidInterfaceCaps{qx80::QX80_VENDOR_ID, qx80::QX80_PRODUCT_NORMAL, 65, 65, 0, 0}, this)) {}
  ~FuzzDevice() override { m_bus.Detach(m_id); }

  void OnOutputReport(qx80::SimHidBus::DeviceId, std::span<const uint8_t> report) override {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_assembler.Add(report.subspan(1)) || m_answered) {
      return;
    }
    m_answered = true;
    const std::array<uint8_t, 2> completion{qx80::NOTIFY_SUBKIND_COMPLETION, 0};
    m_answer.push_back(qx80::FrameNotification(completion));
    for (const Report& answer : m_answer) {
      std::array<uint8_t, qx80::kReportSize + 1> platform{};
      std::copy(answer.begin(), answer.end(), platform.begin() + 1);
      m_bus.PushInput(m_id, platform);
    }
  }

 private:
  qx80::SimHidBus& m_bus;
  std::vector<Report> m_answer;
  qx80::SimHidBus::DeviceId m_id;
  std::mutex m_mutex;
  qx80::RequestAssembler m_assembler;
  bool m_answered = false;
};

void OnText(int32_t kind, const char* text, int32_t length) {
  FUZZ_CHECK(kind >= 0 && kind <= 0xFF);
  FUZZ_CHECK(length >= 1);
  FUZZ_CHECK(text[length - 1] == '\0');
}

void OnNotify(int32_t code, int32_t value) {
  const int32_t limit = code == 2 ? 0xFFFF : 0xFF;
  FUZZ_CHECK((code >= 0 && code <= 4) || (code == qx80::NOTIFY_LINK_LOST && value == 0));
  FUZZ_CHECK(value >= 0 && value <= limit);
}

bool KnownResult(qx80::ProtocolResult result) {
  for (const qx80::ProtocolResult known :
       {qx80::ResultOk, qx80::ResultNothingToSend, qx80::ResultUnknownCommand, qx80::ResultTransferFailed,
        qx80::ResultBadParameter, qx80::ResultChannelClosed, qx80::ResultUnexpectedResponse, qx80::ResultDeviceError}) {
    if (result == known) {
      return true;
    }
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1 + qx80::kParameterBlockSize) {
    return 0;
  }
  int32_t command = data[0] % qx80::kCommandCount;
  // The firmware transfers take records of pointers, which no device sets.
  if (command == qx80::CMD_WRITE_FIRMWARE || command == qx80::CMD_WRITE_SIAM_IMAGE) {
    command = 0x0B;
  }
  std::array<uint8_t, qx80::kParameterBlockSize> block{};
  std::copy_n(data + 1, block.size(), block.begin());
  std::vector<Report> answer;
  for (size_t at = 1 + block.size(); at < size; at += qx80::kReportSize) {
    Report report{};
    std::copy_n(data + at, std::min(qx80::kReportSize, size - at), report.begin());
    answer.push_back(report);
  }
  // Large enough for any count a block can name, and for the largest raw request.
  static std::vector<uint8_t> buffer(70000);
  std::fill(buffer.begin(), buffer.end(), 0xEE);
  if (command == 0x25) {
    qx80::SetTextCallback(block.data(), &OnText);
  } else if (qx80::SetCallerBuffer(block.data(), command, buffer.data()) && command == 0xA4) {
    qx80::SetRawSize(block.data(), qx80::GetRawSize(block.data()) % 65600);
  }

  qx80::SimHidBus bus;
  qx80::ScopedHidBackend backend(bus);
  FuzzDevice device(bus, std::move(answer));
  auto channel = qx80::CDeviceProtocol::Create(qx80::CHANNEL_MODE_NORMAL, &OnNotify);
  FUZZ_CHECK(channel != nullptr);
  channel->InstallTextCallback(&OnText);
  const auto before = block;
  const qx80::ProtocolResult result = channel->Execute(command, block.data(), nullptr);
  FUZZ_CHECK(KnownResult(result));
  if (result != qx80::ResultOk) {
    FUZZ_CHECK(block == before);
    FUZZ_CHECK(std::all_of(buffer.begin(), buffer.end(), [](uint8_t b) { return b == 0xEE; }));
  }
  channel->Close();
  return 0;
}
