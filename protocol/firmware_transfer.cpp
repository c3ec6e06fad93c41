#include "protocol/firmware_transfer.h"

#include <algorithm>
#include <cstring>
#include <type_traits>

#include "firmware/crc16.h"
#include "firmware/firm_file.h"
#include "protocol/device_protocol.h"
#include "protocol/exchange.h"
#include "protocol/message.h"
#include "protocol/parameter_block.h"

namespace qx80 {
namespace {

static_assert(std::is_trivially_copyable_v<FirmSection> && sizeof(FirmSection) <= kUnitOffset,
              "a section travels as a byte copy ahead of the unit field");
static_assert(std::is_trivially_copyable_v<SiamWriteParams> && sizeof(SiamWriteParams) <= kUnitOffset,
              "the SIAM record travels as a byte copy ahead of the unit field");

constexpr uint32_t kPhaseTimeoutMs = kFirmPhaseTimeoutMs;
constexpr uint32_t kInstallTimeoutMs = 81080;
constexpr int kBeginAttempts = kFirmBeginAttempts;
constexpr int kBlockAttempts = kFirmBlockAttempts;
constexpr int kEndAttempts = kFirmEndAttempts;
constexpr int kInstallAttempts = 2;

constexpr int kProgressBegun = kFirmProgressBegun;
constexpr uint64_t kProgressBlockSpan = kFirmProgressBlocksDone - kFirmProgressBegun;
constexpr int kProgressBlocksDone = kFirmProgressBlocksDone;
constexpr int kProgressFinished = kFirmProgressFinished;

constexpr uint8_t kCompletionOk = 0;

// The device does not report a lost link while the flag is set; cleared on every way out.
class TransferActiveScope {
 public:
  explicit TransferActiveScope(CDeviceProtocol& channel) : m_channel(channel) { m_channel.SetTransferActive(true); }
  ~TransferActiveScope() { m_channel.SetTransferActive(false); }
  TransferActiveScope(const TransferActiveScope&) = delete;
  TransferActiveScope& operator=(const TransferActiveScope&) = delete;

 private:
  CDeviceProtocol& m_channel;
};

// What one transfer sends and how its messages are named.
struct TransferPlan {
  const uint8_t* bytes;
  uint32_t count;
  uint16_t beginId;
  uint16_t blockId;
  const uint8_t* targetCode;  // 0x88 names the target in its begin request; 0x9F does not
  FirmProgressCallback callback;
  void* userData;
};

void ReportProgress(const TransferPlan& plan, int percent) {
  if (plan.callback != nullptr) {
    plan.callback(percent, plan.userData);
  }
}

// Runs `attempt` up to `count` times while the channel is open and nobody asked to stop;
// `exhausted` when none succeeded. Nothing is retried once the channel has closed. A stop
// takes effect between requests: the block in flight is answered first, unless its reply
// is late (the channel's wait then ends within a slice).
template <typename Attempt>
ProtocolResult Attempts(CDeviceProtocol& channel, int count, ProtocolResult exhausted, Attempt attempt) {
  for (int i = 0; i < count; ++i) {
    if (channel.IsClosed()) {
      return ResultChannelClosed;
    }
    if (channel.IsStopRequested()) {
      return ResultStopped;
    }
    if (attempt() == ResultOk) {
      return ResultOk;
    }
  }
  if (channel.IsClosed()) {
    return ResultChannelClosed;
  }
  return channel.IsStopRequested() ? ResultStopped : exhausted;
}

// Every request of the transfer is a set.
uint8_t* StartSet(CDeviceProtocol& channel, uint16_t id, uint16_t length, uint8_t arg = 0) {
  return StartRequest(channel, MessageHeader{MSG_SET_REQUEST, id, arg, 0, 0, length});
}

ProtocolResult SendBegin(CDeviceProtocol& channel, const TransferPlan& plan) {
  const uint16_t crc = Crc16(plan.bytes, plan.count);
  return Attempts(channel, kBeginAttempts, ResultWriteFailed, [&] {
    const uint16_t length = plan.targetCode != nullptr ? 7 : 6;
    uint8_t* data = StartSet(channel, plan.beginId, length);
    if (plan.targetCode != nullptr) {
      *data++ = *plan.targetCode;
    }
    WriteLe32(data, plan.count);
    WriteLe16(data + 4, crc);
    return Exchange(channel, kPhaseTimeoutMs, 0);
  });
}

// Each block is copied straight from the image into the request, its CRC taken just before
// it goes out. Only the last block's status byte decides.
ProtocolResult SendBlocks(CDeviceProtocol& channel, const TransferPlan& plan) {
  uint32_t offset = 0;
  int reported = kProgressBegun;
  uint8_t lastStatus = 0;
  while (offset < plan.count) {
    const uint32_t n = std::min(kFirmBlockSize, plan.count - offset);
    const uint8_t* bytes = plan.bytes + offset;
    const ProtocolResult result = Attempts(channel, kBlockAttempts, ResultWriteFailed, [&] {
      const auto length = static_cast<uint16_t>(kBlockPrefix + n);
      uint8_t* data = StartSet(channel, plan.blockId, length);
      WriteLe32(data, offset);
      WriteLe16(data + 4, Crc16(bytes, n));
      std::memcpy(data + kBlockPrefix, bytes, n);
      return Exchange(channel, kPhaseTimeoutMs, 1);
    });
    if (result != ResultOk) {
      return result;
    }
    lastStatus = channel.Response()[kHeaderSize];
    offset += n;
    const auto percent = static_cast<int>(
        std::min<uint64_t>(kProgressBlocksDone, kProgressBegun + uint64_t{offset} * kProgressBlockSpan / plan.count));
    if (percent > reported) {
      ReportProgress(plan, percent);
      reported = percent;
    }
  }
  return lastStatus == 0 ? ResultOk : ResultWriteFailed;
}

ProtocolResult SendImage(CDeviceProtocol& channel, const TransferPlan& plan) {
  const ProtocolResult begun = SendBegin(channel, plan);
  if (begun != ResultOk) {
    return begun;
  }
  ReportProgress(plan, kProgressBegun);
  return SendBlocks(channel, plan);
}

ProtocolResult SendEnd(CDeviceProtocol& channel, uint32_t timeoutMs) {
  for (int i = 0; i < kEndAttempts; ++i) {
    if (channel.IsStopRequested()) {
      return ResultStopped;
    }
    StartSet(channel, MSG_FIRM_END, 0);
    const ProtocolResult result = Exchange(channel, timeoutMs, 0);
    if (channel.IsClosed()) {
      return ResultChannelClosed;
    }
    if (result == ResultOk) {
      return ResultOk;
    }
  }
  return channel.IsStopRequested() ? ResultStopped : ResultFinishFailed;
}

// One target: the install reply, then the completion message, which may already have arrived
// by the time the wait starts (the channel keeps it).
ProtocolResult Install(CDeviceProtocol& channel, uint8_t target) {
  for (int i = 0; i < kInstallAttempts; ++i) {
    if (channel.IsStopRequested()) {
      return ResultStopped;
    }
    StartSet(channel, MSG_SIAM_INSTALL, 0, target);
    const ProtocolResult result = Exchange(channel, kInstallTimeoutMs, 0);
    if (channel.IsClosed()) {
      return ResultChannelClosed;
    }
    if (result != ResultOk) {
      continue;
    }
    const ProtocolResult waited = channel.WaitResponse(kInstallTimeoutMs);
    if (waited != ResultOk) {
      return waited;
    }
    const uint8_t* completion = channel.Response();
    return completion[0] == MSG_COMPLETION && completion[1] == kCompletionOk ? ResultOk : ResultFinishFailed;
  }
  return ResultFinishFailed;
}

}  // namespace

void SetFirmSection(void* block, const FirmSection& section) {
  StoreRecord(block, 0, section);
}

FirmSection GetFirmSection(const void* block) {
  return LoadRecord<FirmSection>(block, 0);
}

void SetSiamWriteParams(void* block, const SiamWriteParams& params) {
  StoreRecord(block, 0, params);
}

SiamWriteParams GetSiamWriteParams(const void* block) {
  return LoadRecord<SiamWriteParams>(block, 0);
}

uint64_t WriteFirmwareBoundMs(FirmKind kind, uint32_t size) {
  const uint64_t blocks = (uint64_t{size} + kFirmBlockSize - 1) / kFirmBlockSize;
  return uint64_t{kBeginAttempts} * kPhaseTimeoutMs + blocks * kBlockAttempts * kPhaseTimeoutMs +
         uint64_t{kEndAttempts} * kFirmTargets[kind].endTimeoutMs;
}

uint64_t WriteFirmwareFullSpeedMs(uint32_t size) {
  constexpr uint64_t kFrameMs = 1;
  // The begin (target, count and CRC) and the end fit in one report each, as do the replies.
  uint64_t frames = 2 + 2;
  for (uint64_t offset = 0; offset < size; offset += kFirmBlockSize) {
    const auto length = static_cast<size_t>(std::min<uint64_t>(kFirmBlockSize, size - offset));
    frames += FragmentCount(kHeaderSize + kBlockPrefix + length) + 1;
  }
  return frames * kFrameMs;
}

ProtocolResult WriteFirmware(CDeviceProtocol& channel, void* block) {
  if (block == nullptr) {
    return ResultBadParameter;
  }
  const FirmSection section = GetFirmSection(block);
  if (section.data == nullptr) {
    return ResultBadParameter;
  }
  // Checked in the caller's buffer, which the check restores; nothing is copied.
  FirmImageInfo image;
  const FirmLoad loaded = CheckFirmImage(section.data, section.size, image);
  if (loaded == FirmLoad::BadChecksum) {
    return ResultImageChecksum;
  }
  const FirmKind kind = image.kind;
  if (loaded != FirmLoad::Ok || kind < FIRM_KIND_TIPA || kind > FIRM_KIND_AGPF) {
    return ResultImageRejected;
  }
  const FirmTarget& target = kFirmTargets[kind];
  const TransferPlan plan{section.data, section.size,     MSG_FIRM_BEGIN,  MSG_FIRM_BLOCK,
                          &target.code, section.callback, section.userData};
  TransferActiveScope active(channel);
  ProtocolResult result = SendImage(channel, plan);
  if (result == ResultOk) {
    result = SendEnd(channel, target.endTimeoutMs);
  }
  if (result == ResultOk) {
    ReportProgress(plan, kProgressFinished);
  }
  return result;
}

ProtocolResult WriteSiamImage(CDeviceProtocol& channel, void* block) {
  if (block == nullptr) {
    return ResultBadParameter;
  }
  const SiamWriteParams params = GetSiamWriteParams(block);
  // The record holds eight target numbers; a larger count would read past them.
  if (params.data == nullptr || params.targetCount > kSiamTargetSlots) {
    return ResultBadParameter;
  }
  CFirmFile file;
  if (file.LoadSiam(params.data, params.size) != FirmLoad::Ok || file.GetKind() != FIRM_KIND_SIAM) {
    return ResultImageRejected;
  }
  uint32_t payloadSize = 0;
  const uint8_t* payload = file.GetData(&payloadSize);
  const TransferPlan plan{payload, payloadSize,     MSG_SIAM_BEGIN, MSG_SIAM_BLOCK,
                          nullptr, params.callback, params.userData};
  TransferActiveScope active(channel);
  ProtocolResult result = SendImage(channel, plan);
  for (int32_t i = 0; result == ResultOk && i < params.targetCount; ++i) {
    result = Install(channel, params.targets[i]);
  }
  if (result == ResultOk) {
    ReportProgress(plan, kProgressFinished);
  }
  return result;
}

}  // namespace qx80
