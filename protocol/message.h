#pragma once
// The wire format of the device link, shared by the channel and the simulated device.
//
// Every report is 64 bytes: a kind byte and 63 payload bytes. A message (request or
// response) is an 8-byte header and `length` data bytes; it travels in one report when it
// fits in 63 bytes, otherwise as a first, any number of middle, and a last fragment.
// Multi-byte fields are little-endian.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

#include "platform/byte_reader.h"

namespace qx80 {

constexpr size_t kReportSize = 64;
constexpr size_t kReportPayload = kReportSize - 1;
constexpr size_t kHeaderSize = 8;
constexpr size_t kHeaderLengthOffset = 6;  // where the 16-bit `length` stands in the header
// The most bytes a message may grow to while it is reassembled: whole reports covering a
// header and 65535 data bytes (63 * (65536 / 63 + 1)).
constexpr size_t kReassemblyLimit = kReportPayload * (65536 / kReportPayload + 1);

// Report kinds (byte 0). Requests go from host to device, the rest from device to host.
constexpr uint8_t REPORT_REQUEST_FIRST = 0x80;
constexpr uint8_t REPORT_REQUEST_MIDDLE = 0x81;
constexpr uint8_t REPORT_REQUEST_LAST = 0x82;
constexpr uint8_t REPORT_RESPONSE_FIRST = 0x83;
constexpr uint8_t REPORT_RESPONSE_MIDDLE = 0x84;
constexpr uint8_t REPORT_RESPONSE_LAST = 0x85;
constexpr uint8_t REPORT_NOTIFICATION = 0x90;  // 0x90..0x9F; payload byte 0 is the sub-kind
constexpr uint8_t REPORT_TEXT_FIRST = 0xA0;
constexpr uint8_t REPORT_TEXT_MIDDLE = 0xA1;
constexpr uint8_t REPORT_TEXT_LAST = 0xA2;

// Header `type` values.
constexpr uint8_t MSG_SET_REQUEST = 0;
constexpr uint8_t MSG_SET_REPLY = 1;
constexpr uint8_t MSG_GET_REQUEST = 2;
constexpr uint8_t MSG_GET_REPLY = 3;
constexpr uint8_t MSG_COMPLETION = 4;  // a notification of sub-kind 4 handed over as a response

// The type of the reply to a set or get request of `requestType`.
constexpr uint8_t ReplyTypeOf(uint8_t requestType) {
  return static_cast<uint8_t>(requestType + 1);
}

// Reply `status` values that mean success.
constexpr uint8_t STATUS_OK = 0x00;
constexpr uint8_t STATUS_OK_ALT = 0xFE;

// Notification sub-kinds (payload byte 0 of a 0x9_ report).
constexpr uint8_t NOTIFY_SUBKIND_COMPLETION = 4;

// A text message: 16-bit length T, a kind byte, T - 1 text bytes.
constexpr size_t kTextHeaderSize = 2;

struct MessageHeader {
  uint8_t type = 0;
  uint16_t id = 0;
  uint8_t arg = 0;
  uint8_t status = 0;  // requests: the `unit` byte
  uint8_t detail = 0;  // requests: 0
  uint16_t length = 0;
};

inline MessageHeader ReadHeader(const uint8_t* message) {
  return MessageHeader{message[0], ReadLe16(message + 1), message[3], message[4], message[5], ReadLe16(message + 6)};
}

inline void WriteHeader(uint8_t* message, const MessageHeader& header) {
  message[0] = header.type;
  WriteLe16(message + 1, header.id);
  message[3] = header.arg;
  message[4] = header.status;
  message[5] = header.detail;
  WriteLe16(message + 6, header.length);
}

// Fragmenting: a message of `length` bytes (at least 1) takes this many reports ...
constexpr size_t FragmentCount(size_t length) {
  return std::max<size_t>(1, (length + kReportPayload - 1) / kReportPayload);
}

// ... and report `index` of them has this kind, from the family's first kind (0x80, 0x83,
// 0xA0): the first, then middles, then the last; a lone report is a first.
constexpr uint8_t FragmentKind(uint8_t firstKind, size_t index, size_t count) {
  if (index == 0) {
    return firstKind;
  }
  return static_cast<uint8_t>(firstKind + (index + 1 == count ? 2 : 1));
}

// Report `index` of the FragmentCount(bytes.size()) reports that carry `bytes` in the family of
// `firstKind`: its kind, then its share of the bytes, zero-filled. The channel writes requests
// and the simulated device its replies and texts with it.
inline void FrameFragment(uint8_t firstKind, std::span<const uint8_t> bytes, size_t index,
                          std::span<uint8_t, kReportSize> report) {
  const size_t offset = std::min(index * kReportPayload, bytes.size());
  const size_t n = std::min(kReportPayload, bytes.size() - offset);
  std::fill(report.begin(), report.end(), uint8_t{0});
  report[0] = FragmentKind(firstKind, index, FragmentCount(bytes.size()));
  if (n != 0) {
    std::memcpy(report.data() + 1, bytes.data() + offset, n);
  }
}

}  // namespace qx80
