// Reports from the device, each one kind byte and 63 payload bytes, into the channel's two
// reassemblies (responses and text messages): a completed message is whole reports, never
// beyond the reassembly limit, with room behind it for a text's terminator.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>

#include "protocol/device_protocol.h"
#include "protocol/message.h"
#include "protocol/reassembler.h"
#include "tests/fuzz/fuzz_check.h"

namespace {

void CheckComplete(qx80::Reassembler& assembly) {
  const size_t length = assembly.Length();
  FUZZ_CHECK(length <= qx80::kReassemblyLimit);
  FUZZ_CHECK(length % qx80::kReportPayload == 0);
  FUZZ_CHECK(assembly.Buffer().size() > length);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  qx80::Reassembler responses(qx80::kHeaderSize, qx80::kHeaderLengthOffset, qx80::CDeviceProtocol::kResponseBufferSize);
  qx80::Reassembler texts(qx80::kTextHeaderSize, 0, qx80::CDeviceProtocol::kTextBufferSize);
  std::array<uint8_t, qx80::kReportPayload> payload{};
  for (size_t at = 0; at < size; at += 1 + qx80::kReportPayload) {
    const uint8_t kind = data[at];
    payload.fill(0);
    std::copy_n(data + at + 1, std::min(qx80::kReportPayload, size - at - 1), payload.begin());
    for (auto [assembly, first] :
         {std::pair{&responses, qx80::REPORT_RESPONSE_FIRST}, {&texts, qx80::REPORT_TEXT_FIRST}}) {
      const auto fragment = qx80::FragmentOf(kind, first);
      if (fragment && assembly->Add(*fragment, payload.data())) {
        CheckComplete(*assembly);
      }
    }
  }
  return 0;
}
