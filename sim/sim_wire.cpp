#include "sim/sim_wire.h"

#include <algorithm>
#include <cstring>

namespace qx80 {

std::vector<uint8_t> EncodeMessage(MessageHeader header, std::span<const uint8_t> data) {
  header.length = static_cast<uint16_t>(data.size());
  std::vector<uint8_t> message(kHeaderSize + data.size());
  WriteHeader(message.data(), header);
  std::copy(data.begin(), data.end(), message.begin() + kHeaderSize);
  return message;
}

std::vector<Report> FrameMessage(uint8_t firstKind, std::span<const uint8_t> bytes) {
  const size_t count = FragmentCount(bytes.size());
  std::vector<Report> reports(count);
  for (size_t i = 0; i < count; ++i) {
    FrameFragment(firstKind, bytes, i, reports[i]);
  }
  return reports;
}

Report FrameNotification(std::span<const uint8_t> payload) {
  Report report{};
  report[0] = REPORT_NOTIFICATION;
  std::memcpy(report.data() + 1, payload.data(), std::min(payload.size(), kReportPayload));
  return report;
}

std::vector<Report> FrameText(uint8_t kind, std::string_view text) {
  std::vector<uint8_t> message(kTextHeaderSize + 1 + text.size());
  WriteLe16(message.data(), static_cast<uint16_t>(1 + text.size()));
  message[kTextHeaderSize] = kind;
  std::copy(text.begin(), text.end(), message.begin() + kTextHeaderSize + 1);
  return FrameMessage(REPORT_TEXT_FIRST, message);
}

RequestAssembler::RequestAssembler() : m_reassembler(kHeaderSize, kHeaderLengthOffset, kReassemblyLimit + 1) {}

bool RequestAssembler::Add(std::span<const uint8_t> report) {
  const auto fragment = FragmentOf(report[0], REPORT_REQUEST_FIRST);
  return fragment.has_value() && m_reassembler.Add(*fragment, report.data() + 1);
}

std::span<const uint8_t> RequestAssembler::Message() {
  const uint8_t* bytes = m_reassembler.Buffer().data();
  const size_t declared = kHeaderSize + ReadHeader(bytes).length;
  return {bytes, std::min(declared, m_reassembler.Length())};
}

}  // namespace qx80
