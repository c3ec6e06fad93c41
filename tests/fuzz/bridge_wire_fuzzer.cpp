// Bytes from the bridge's TCP peer, in pieces cut where the first byte says: every frame the
// parser yields has a length its type allows, and encoding the frames again gives back the
// bytes they came from.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "device/bridge/bridge_wire.h"
#include "tests/fuzz/fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) {
    return 0;
  }
  const size_t piece = 1 + data[0] % 16;
  const std::span<const uint8_t> stream(data + 1, size - 1);
  qx80::BridgeFrameParser parser;
  std::vector<qx80::BridgeFrame> frames;
  for (size_t at = 0; at < stream.size(); at += piece) {
    const bool fed = parser.Feed(stream.subspan(at, std::min(piece, stream.size() - at)), frames);
    FUZZ_CHECK(fed == !parser.Failed());
  }
  std::vector<uint8_t> encoded;
  for (const qx80::BridgeFrame& frame : frames) {
    FUZZ_CHECK(qx80::BridgeFrameLengthAllowed(frame.type, frame.payload.size()));
    FUZZ_CHECK(qx80::EncodeBridgeFrame(frame.type, frame.payload, encoded));
    if (frame.type == qx80::BridgeFrameType::Present) {
      qx80::HidInterfaceCaps caps{};
      if (qx80::DecodePresentPayload(frame.payload, caps)) {
        FUZZ_CHECK(qx80::EncodePresentPayload(caps) == frame.payload);
      }
    }
  }
  FUZZ_CHECK(encoded.size() <= stream.size());
  FUZZ_CHECK(std::equal(encoded.begin(), encoded.end(), stream.begin()));
  return 0;
}
