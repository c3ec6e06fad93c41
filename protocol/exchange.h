#pragma once
// The steps every command handler's exchange is built from: a request started in the
// channel's request buffer, then sent, and its reply checked against what the request asked.
// Used only under Execute's lock.
#include <cstdint>

#include "protocol/message.h"
#include "protocol/protocol_result.h"

namespace qx80 {

class CDeviceProtocol;

// Clears the first report's worth of the request buffer and writes `header` at its start;
// returns where the request's data goes.
uint8_t* StartRequest(CDeviceProtocol& channel, const MessageHeader& header);

// Sends the request in the buffer (its header and the `length` data bytes it declares),
// waits up to `timeoutMs`, and checks the reply: it is of ReplyTypeOf the request's type,
// echoes the request's id, declares `replyLength` data bytes, and all of them arrived.
// Transact's results, or -12 for a reply that does not match.
ProtocolResult Exchange(CDeviceProtocol& channel, uint32_t timeoutMs, uint16_t replyLength);

}  // namespace qx80
