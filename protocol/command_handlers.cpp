#include "protocol/command_handlers.h"

#include <algorithm>
#include <cstring>

#include "protocol/device_protocol.h"
#include "protocol/exchange.h"
#include "protocol/firmware_transfer.h"
#include "protocol/message.h"
#include "protocol/parameter_block.h"

namespace qx80 {
namespace {

// Addressed transfers: B4..7 address and B8..9 count N lead the request data.
constexpr size_t kAddressOffset = 4;
constexpr size_t kCountOffset = 8;
constexpr size_t kAddressPrefix = 6;
// N + 6 must fit the 16-bit `length` of the request, and of the reply it asks for.
constexpr uint32_t kMaxAddressedCount = 0xFFFF - kAddressPrefix;

// The raw request: a full header and at most 65535 data bytes.
constexpr uint32_t kMaxRawSize = kHeaderSize + 0xFFFF;

// Starts the row's request with `length` data bytes; returns where they go.
uint8_t* StartRowRequest(CDeviceProtocol& channel, const CommandRow& row, const uint8_t* block, uint16_t length) {
  const uint8_t arg = row.sendsArg ? block[0] : 0;
  const uint8_t unit = row.sendsUnit ? block[kUnitOffset] : 0;
  return StartRequest(channel, MessageHeader{row.requestType, row.id, arg, unit, 0, length});
}

ProtocolResult RunMessage(CDeviceProtocol& channel, const CommandRow& row, uint8_t* block, uint8_t* buffer) {
  uint8_t* data = StartRowRequest(channel, row, block, row.DataLength());
  for (const BlockRun& run : row.data) {
    std::memcpy(data, block + run.first, run.count);
    data += run.count;
  }
  const ProtocolResult result = Exchange(channel, row.timeoutMs, row.replyLength);
  if (result != ResultOk) {
    return result;
  }
  const uint8_t* reply = channel.Response() + kHeaderSize;
  for (const ReplyCopy& copy : row.copies) {
    std::memcpy(block + copy.block, reply + copy.data, copy.count);
    if (copy.terminate) {
      block[copy.block + copy.count] = 0;
    }
  }
  if (row.argTo >= 0) {
    block[row.argTo] = ReadHeader(channel.Response()).arg;
  }
  if (buffer != nullptr) {
    std::memcpy(buffer, reply + row.toBuffer.data, row.toBuffer.count);
  }
  return ResultOk;
}

ProtocolResult RunAddressed(CDeviceProtocol& channel, const CommandRow& row, uint8_t* block) {
  const uint16_t count = ReadLe16(block + kCountOffset);
  auto* buffer = static_cast<uint8_t*>(GetCallerBuffer(block, row.number));
  if (count > kMaxAddressedCount || (count > 0 && buffer == nullptr)) {
    return ResultBadParameter;
  }
  const bool isSet = row.requestType == MSG_SET_REQUEST;
  const auto sent = static_cast<uint16_t>(kAddressPrefix + (isSet ? count : 0));
  uint8_t* data = StartRowRequest(channel, row, block, sent);
  std::memcpy(data, block + kAddressOffset, kAddressPrefix);
  if (isSet && count > 0) {
    std::memcpy(data + kAddressPrefix, buffer, count);
  }
  const auto expected = static_cast<uint16_t>(isSet ? 0 : kAddressPrefix + count);
  const ProtocolResult result = Exchange(channel, row.timeoutMs, expected);
  if (result != ResultOk) {
    return result;
  }
  if (!isSet && count > 0) {
    std::memcpy(buffer, channel.Response() + kHeaderSize + kAddressPrefix, count);
  }
  return ResultOk;
}

ProtocolResult RunRaw(CDeviceProtocol& channel, const CommandRow& row, const uint8_t* block) {
  const uint32_t size = GetRawSize(block);
  auto* buffer = static_cast<uint8_t*>(GetCallerBuffer(block, row.number));
  // Anything shorter than a header would send a header partly left from an earlier request.
  if (size > kMaxRawSize || size < kHeaderSize || buffer == nullptr) {
    return ResultBadParameter;
  }
  // Not cleared first: the header's `length`, not the size, says how much is sent.
  uint8_t* request = channel.RequestBuffer();
  std::memcpy(request, buffer, size);
  const ProtocolResult result =
      channel.Transact(request, static_cast<uint32_t>(kHeaderSize + ReadHeader(request).length), row.timeoutMs);
  if (result == ResultOk) {
    const size_t replyLength = kHeaderSize + ReadHeader(channel.Response()).length;
    std::memcpy(buffer, channel.Response(), std::min({replyLength, size_t{size}, channel.ResponseLength()}));
  }
  return result;
}

}  // namespace

ProtocolResult RunCommand(CDeviceProtocol& channel, const CommandRow& row, void* block) {
  switch (row.family) {
    case CommandFamily::Reserved:
      return ResultUnknownCommand;
    case CommandFamily::WriteFirmware:
      return WriteFirmware(channel, block);
    case CommandFamily::WriteSiamImage:
      return WriteSiamImage(channel, block);
    default:
      break;
  }
  if (block == nullptr) {
    return ResultBadParameter;
  }
  auto* bytes = static_cast<uint8_t*>(block);
  switch (row.family) {
    case CommandFamily::TextSwitch:
      // Replaced before anything is sent, and kept whatever the exchange's outcome.
      channel.InstallTextCallback(bytes[0] != 0 ? GetTextCallback(block) : nullptr);
      return RunMessage(channel, row, bytes, nullptr);
    case CommandFamily::CallerBuffer: {
      auto* buffer = static_cast<uint8_t*>(GetCallerBuffer(block, row.number));
      return buffer == nullptr ? ResultBadParameter : RunMessage(channel, row, bytes, buffer);
    }
    case CommandFamily::Addressed:
      return RunAddressed(channel, row, bytes);
    case CommandFamily::Raw:
      return RunRaw(channel, row, bytes);
    default:
      return RunMessage(channel, row, bytes, nullptr);
  }
}

}  // namespace qx80
