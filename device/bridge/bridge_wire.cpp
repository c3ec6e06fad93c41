#include "device/bridge/bridge_wire.h"

#include <iterator>

#include "platform/byte_reader.h"

namespace qx80 {
namespace {

bool IsKnownType(uint8_t type) {
  switch (static_cast<BridgeFrameType>(type)) {
    case BridgeFrameType::Present:
    case BridgeFrameType::Gone:
    case BridgeFrameType::Input:
    case BridgeFrameType::Output:
    case BridgeFrameType::Busy:
      return true;
  }
  return false;
}

}  // namespace

bool BridgeFrameLengthAllowed(BridgeFrameType type, size_t length) {
  switch (type) {
    case BridgeFrameType::Present:
      return length == kBridgePresentPayloadSize;
    case BridgeFrameType::Gone:
    case BridgeFrameType::Busy:
      return length == 0;
    case BridgeFrameType::Input:
    case BridgeFrameType::Output:
      return length >= 1 && length <= kBridgeMaxPayload;
  }
  return false;
}

bool EncodeBridgeFrame(BridgeFrameType type, std::span<const uint8_t> payload, std::vector<uint8_t>& out) {
  if (!BridgeFrameLengthAllowed(type, payload.size())) {
    return false;
  }
  uint8_t header[kBridgeFrameHeaderSize] = {static_cast<uint8_t>(type)};
  WriteLe16(header + 1, static_cast<uint16_t>(payload.size()));
  out.insert(out.end(), std::begin(header), std::end(header));
  out.insert(out.end(), payload.begin(), payload.end());
  return true;
}

std::vector<uint8_t> EncodePresentPayload(const HidInterfaceCaps& caps) {
  std::vector<uint8_t> payload(kBridgePresentPayloadSize);
  WriteLe16(payload.data(), caps.vendorId);
  WriteLe16(payload.data() + 2, caps.productId);
  WriteLe16(payload.data() + 4, caps.inputReportLength);
  WriteLe16(payload.data() + 6, caps.outputReportLength);
  payload[8] = caps.firstOutputReportId;
  return payload;
}

bool DecodePresentPayload(std::span<const uint8_t> payload, HidInterfaceCaps& caps) {
  if (payload.size() != kBridgePresentPayloadSize) {
    return false;
  }
  caps = HidInterfaceCaps{};
  caps.vendorId = ReadLe16(payload.data());
  caps.productId = ReadLe16(payload.data() + 2);
  caps.inputReportLength = ReadLe16(payload.data() + 4);
  caps.outputReportLength = ReadLe16(payload.data() + 6);
  caps.firstOutputReportId = payload[8];
  return true;
}

bool BridgeFrameParser::Feed(std::span<const uint8_t> bytes, std::vector<BridgeFrame>& frames) {
  if (m_failed) {
    return false;
  }
  m_pending.insert(m_pending.end(), bytes.begin(), bytes.end());
  const std::span<const uint8_t> pending(m_pending);
  size_t offset = 0;
  while (pending.size() - offset >= kBridgeFrameHeaderSize) {
    const uint8_t type = pending[offset];
    const size_t length = ReadLe16(pending.data() + offset + 1);
    // Judged on the header alone, so a bad frame fails before its payload has arrived.
    if (!IsKnownType(type) || !BridgeFrameLengthAllowed(static_cast<BridgeFrameType>(type), length)) {
      m_failed = true;
      m_pending.clear();
      return false;
    }
    if (pending.size() - offset - kBridgeFrameHeaderSize < length) {
      break;
    }
    const auto body = pending.subspan(offset + kBridgeFrameHeaderSize, length);
    frames.push_back(BridgeFrame{static_cast<BridgeFrameType>(type), {body.begin(), body.end()}});
    offset += kBridgeFrameHeaderSize + length;
  }
  m_pending.erase(m_pending.begin(), m_pending.begin() + static_cast<std::ptrdiff_t>(offset));
  return true;
}

}  // namespace qx80
