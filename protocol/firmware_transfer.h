#pragma once
// The firmware transfer commands: 0x88 WriteFirmware writes an image of kinds 0 to 4 to the
// device in update mode; 0x9F WriteSiamImage writes the payload of a SIAM-wrapped image and
// has the device install it on up to eight targets. Both check the image with the container
// before anything is sent, then run begin, acknowledged blocks of at most 4096 bytes, and the
// closing phase (end, or install with its completion message).
//
// Their parameter records travel in the parameter block as a byte copy of the record at the
// block's start (16 or 32 bytes for a FirmSection on a 32- or 64-bit build, at most 40 for
// SiamWriteParams; the unit field at 184 stays clear of them). Callers and handlers reach
// them only through the Set/Get helpers below.
#include <cstdint>

#include "firmware/update_job.h"
#include "protocol/protocol_result.h"

namespace qx80 {

class CDeviceProtocol;

constexpr int32_t CMD_WRITE_FIRMWARE = 0x88;
constexpr int32_t CMD_WRITE_SIAM_IMAGE = 0x9F;

constexpr int32_t kSiamTargetSlots = 8;

// Message ids of the exchanges.
constexpr uint16_t MSG_FIRM_BEGIN = 0x0900;
constexpr uint16_t MSG_FIRM_BLOCK = 0x0901;
constexpr uint16_t MSG_FIRM_END = 0x0903;
constexpr uint16_t MSG_SIAM_BEGIN = 0x0D08;
constexpr uint16_t MSG_SIAM_BLOCK = 0x0D09;
constexpr uint16_t MSG_SIAM_INSTALL = 0x0D0B;

constexpr uint32_t kFirmBlockSize = 4096;
// Each begin and block request waits this long for its reply, and is sent up to this many
// times; the end waits by kind (below), up to kFirmEndAttempts times.
constexpr uint32_t kFirmPhaseTimeoutMs = 5000;
constexpr int kFirmBeginAttempts = 3;
constexpr int kFirmBlockAttempts = 5;
constexpr int kFirmEndAttempts = 5;
// A block request's data: 32-bit offset and 16-bit CRC ahead of the block bytes.
constexpr uint16_t kBlockPrefix = 6;

// What a transfer reports to its progress callback: the begin's acknowledgement, then the
// share of the blocks acknowledged up to the last block's (a value reached only then), then
// the end's acknowledgement.
constexpr int kFirmProgressBegun = 21;
constexpr int kFirmProgressBlocksDone = 98;
constexpr int kFirmProgressFinished = 100;

// How command 0x88 addresses each image kind, and how long the device may take to finish it.
struct FirmTarget {
  uint8_t code;
  uint32_t endTimeoutMs;
};
inline constexpr FirmTarget kFirmTargets[FIRM_SLOT_COUNT] = {
    {0, 39240},   // FIRM_KIND_TIPA
    {3, 391500},  // FIRM_KIND_UAMC
    {2, 78480},   // FIRM_KIND_FWUP
    {4, 235340},  // FIRM_KIND_FQI
    {1, 39240},   // FIRM_KIND_AGPF
};

// The longest command 0x88 may take for an image of `kind` (0 to 4) and `size` bytes when
// every request waits out its time-out on every attempt: the begin, each block, the end.
// Clock milliseconds.
uint64_t WriteFirmwareBoundMs(FirmKind kind, uint32_t size);
// The shortest command 0x88 can take for an image of `size` bytes on a full-speed USB link,
// one 64-byte report per 1 ms frame each way: a frame for every report of the begin, each
// block and the end, and one for each reply, with the device answering at once.
uint64_t WriteFirmwareFullSpeedMs(uint32_t size);

// The record of command 0x9F.
struct SiamWriteParams {
  const uint8_t* data = nullptr;  // the whole SIAM-wrapped image, header included
  uint32_t size = 0;
  uint8_t targets[kSiamTargetSlots] = {};  // target numbers to install, in order
  int32_t targetCount = 0;                 // entries of targets used; 0 or less installs nothing
  FirmProgressCallback callback = nullptr;
  void* userData = nullptr;
};

void SetFirmSection(void* block, const FirmSection& section);
FirmSection GetFirmSection(const void* block);
void SetSiamWriteParams(void* block, const SiamWriteParams& params);
SiamWriteParams GetSiamWriteParams(const void* block);

// The handlers of 0x88 and 0x9F, called by Execute under the channel's lock. The section's
// buffer must be writable: the container unscrambles a checked body in place and restores it.
// Results: 0; -10 no block or no image (0x9F also: more than 8 targets); -9 image not recognised or of a
// kind the command does not write; -14 the image's checksum is wrong; -15 begin or a block not
// acknowledged after all attempts, or the last block's status not 0; -16 end or install not
// acknowledged, or a failed completion; -7 no completion in time (0x9F); -11 the channel closed;
// -17 the channel's stop signal was set (checked before every request, so the block in flight
// is always answered first).
ProtocolResult WriteFirmware(CDeviceProtocol& channel, void* block);
ProtocolResult WriteSiamImage(CDeviceProtocol& channel, void* block);

}  // namespace qx80
