#pragma once
// The bridge's wire format: a HID interface carried over one TCP connection on the loopback
// address, so that a device can be played by another process (docs/bridge.md).
//
// Every frame is one byte of type, a 16-bit little-endian payload length, then the payload.
// Device to host: 'P' present (the interface's identity), 'G' gone (empty), 'I' one input
// report, 'B' busy (empty: the server serves another client and closes this connection).
// Host to device: 'O' one output report. Reports are the platform's: report-id byte
// first, so their length is the platform report length.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "device/hid_backend.h"

namespace qx80 {

enum class BridgeFrameType : uint8_t {
  Present = 'P',
  Gone = 'G',
  Input = 'I',
  Output = 'O',
  Busy = 'B',
};

struct BridgeFrame {
  BridgeFrameType type = BridgeFrameType::Gone;
  std::vector<uint8_t> payload;

  bool operator==(const BridgeFrame&) const = default;
};

inline constexpr size_t kBridgeFrameHeaderSize = 3;
inline constexpr size_t kBridgeMaxPayload = 0xFFFF;
// vendor id, product id, input and output report lengths (u16 each), output report id (u8).
inline constexpr size_t kBridgePresentPayloadSize = 9;

// Whether a frame of this type may carry a payload of this length: 'P' exactly 9 bytes,
// 'G' and 'B' none, a report at least its report-id byte.
bool BridgeFrameLengthAllowed(BridgeFrameType type, size_t length);

// Appends one frame to `out`. False (and `out` untouched) when the payload length is not
// allowed for the type.
bool EncodeBridgeFrame(BridgeFrameType type, std::span<const uint8_t> payload, std::vector<uint8_t>& out);

// The 'P' payload. The feature report length does not travel; it decodes as 0.
std::vector<uint8_t> EncodePresentPayload(const HidInterfaceCaps& caps);
bool DecodePresentPayload(std::span<const uint8_t> payload, HidInterfaceCaps& caps);

// Cuts a byte stream into frames, whatever the pieces it arrives in.
class BridgeFrameParser {
 public:
  // Appends the frames that `bytes` completes to `frames`. Returns false once the stream
  // has broken the frame rules (an unknown type, or a length its type cannot have); a
  // byte stream cannot be resynchronised, so the parser stays failed from then on.
  bool Feed(std::span<const uint8_t> bytes, std::vector<BridgeFrame>& frames);
  bool Failed() const { return m_failed; }

 private:
  std::vector<uint8_t> m_pending;  // bytes of the frame not yet complete
  bool m_failed = false;
};

}  // namespace qx80
