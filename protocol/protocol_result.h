#pragma once
// ProtocolResult: the signed 32-bit result of every device operation. 0 is success,
// every failure is negative; nothing throws across the layers.
#include <cstdint>

namespace qx80 {

using ProtocolResult = int32_t;

constexpr ProtocolResult ResultOk = 0;
constexpr ProtocolResult ResultNothingToSend = -1;        // a transaction of 0 bytes
constexpr ProtocolResult ResultModeTimeout = -2;          // the device did not come back in update mode
constexpr ProtocolResult ResultNoChannel = -4;            // no channel is open (application side)
constexpr ProtocolResult ResultUnknownCommand = -5;       // command number not in the table, or reserved
constexpr ProtocolResult ResultTransferFailed = -7;       // a report not written in time, or no response in time
constexpr ProtocolResult ResultImageRejected = -9;        // image not recognised, or of a kind not written here
constexpr ProtocolResult ResultBadParameter = -10;        // no parameter block, or a parameter out of range
constexpr ProtocolResult ResultChannelClosed = -11;       // closed, or the link was lost while waiting
constexpr ProtocolResult ResultUnexpectedResponse = -12;  // reply type, id or length not the expected ones
constexpr ProtocolResult ResultDeviceError = -13;         // reply status neither 0 nor 0xFE
constexpr ProtocolResult ResultImageChecksum = -14;       // the image's check value is wrong
constexpr ProtocolResult ResultWriteFailed = -15;         // begin or a block not acknowledged
constexpr ProtocolResult ResultFinishFailed = -16;        // the closing phase not acknowledged
constexpr ProtocolResult ResultStopped = -17;             // stopped on request before its end

// The constant's name ("ResultDeviceError"), or "ResultUnknown" for any other value; for
// printing only.
const char* ResultName(int result);

}  // namespace qx80
