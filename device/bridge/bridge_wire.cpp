#include "device/bridge/bridge_wire.h"

namespace qx80 {
namespace {

bool IsKnownType(uint8_t type) {
  switch (static_cast<BridgeFrameType>(type)) {
    case BridgeFrameType::Present:
    case BridgeFrameType::Gone:
    case BridgeFrameType::Input:
    case BridgeFrameType::Output:
      return true;
  }
  return false;
}

void PutU16(std::vector<uint8_t>& out, uint16_t value) {
  out.push_back(static_cast<uint8_t>(value & 0xFF));
  out.push_back(static_cast<uint8_t>(value >> 8));
}

uint16_t GetU16(std::span<const uint8_t> bytes, size_t offset) {
  return static_cast<uint16_t>(bytes[offset] | (bytes[offset + 1] << 8));
}

}  // namespace

bool BridgeFrameLengthAllowed(BridgeFrameType type, size_t length) {
  switch (type) {
    case BridgeFrameType::Present:
      return length == kBridgePresentPayloadSize;
    case BridgeFrameType::Gone:
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
  out.push_back(static_cast<uint8_t>(type));
  PutU16(out, static_cast<uint16_t>(payload.size()));
  out.insert(out.end(), payload.begin(), payload.end());
  return true;
}

std::vector<uint8_t> EncodePresentPayload(const HidInterfaceCaps& caps) {
  std::vector<uint8_t> payload;
  payload.reserve(kBridgePresentPayloadSize);
  PutU16(payload, caps.vendorId);
  PutU16(payload, caps.productId);
  PutU16(payload, caps.inputReportLength);
  PutU16(payload, caps.outputReportLength);
  payload.push_back(caps.firstOutputReportId);
  return payload;
}

bool DecodePresentPayload(std::span<const uint8_t> payload, HidInterfaceCaps& caps) {
  if (payload.size() != kBridgePresentPayloadSize) {
    return false;
  }
  caps = HidInterfaceCaps{};
  caps.vendorId = GetU16(payload, 0);
  caps.productId = GetU16(payload, 2);
  caps.inputReportLength = GetU16(payload, 4);
  caps.outputReportLength = GetU16(payload, 6);
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
    const size_t length = GetU16(pending, offset + 1);
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
