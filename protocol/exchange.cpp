#include "protocol/exchange.h"

#include <cstring>

#include "protocol/device_protocol.h"

namespace qx80 {
namespace {

// Cleared for every request, so that a short one never sends bytes an earlier one left.
constexpr size_t kClearedRequestBytes = 64;

}  // namespace

uint8_t* StartRequest(CDeviceProtocol& channel, const MessageHeader& header) {
  uint8_t* request = channel.RequestBuffer();
  std::memset(request, 0, kClearedRequestBytes);
  WriteHeader(request, header);
  return request + kHeaderSize;
}

ProtocolResult Exchange(CDeviceProtocol& channel, uint32_t timeoutMs, uint16_t replyLength) {
  const MessageHeader request = ReadHeader(channel.RequestBuffer());
  const ProtocolResult result = channel.Transact(channel.RequestBuffer(), kHeaderSize + request.length, timeoutMs);
  if (result != ResultOk) {
    return result;
  }
  const MessageHeader reply = ReadHeader(channel.Response());
  const bool matches = reply.type == ReplyTypeOf(request.type) && reply.id == request.id &&
                       reply.length == replyLength && kHeaderSize + replyLength <= channel.ResponseLength();
  return matches ? ResultOk : ResultUnexpectedResponse;
}

}  // namespace qx80
