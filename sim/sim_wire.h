#pragma once
// The device's side of the wire format: it reassembles requests and frames responses,
// notifications and text messages into 64-byte reports (kind byte first, no report id).
#include <array>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "protocol/message.h"
#include "protocol/reassembler.h"

namespace qx80 {

using Report = std::array<uint8_t, kReportSize>;

// Header and data as one message; the header's `length` becomes the data's size.
std::vector<uint8_t> EncodeMessage(MessageHeader header, std::span<const uint8_t> data);

// Cuts `bytes` into reports of the family that starts with `firstKind` (0x83 responses,
// 0xA0 text messages, 0x80 requests), the last one zero-filled.
std::vector<Report> FrameMessage(uint8_t firstKind, std::span<const uint8_t> bytes);

// One notification report: kind 0x90, then the payload (sub-kind first), zero-filled.
Report FrameNotification(std::span<const uint8_t> payload);

// A text message: T = 1 + text size, the kind byte, the text.
std::vector<Report> FrameText(uint8_t kind, std::string_view text);

// Reassembles requests from the reports the host writes.
class RequestAssembler {
 public:
  RequestAssembler();
  // Takes one report (kind byte first); true when it completes a request.
  bool Add(std::span<const uint8_t> report);
  // The completed request: its header and the data the header declares (as far as it came).
  std::span<const uint8_t> Message();

 private:
  Reassembler m_reassembler;
};

}  // namespace qx80
