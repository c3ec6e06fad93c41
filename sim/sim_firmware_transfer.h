#pragma once
// The simulated QX-80's side of the firmware transfer. In update mode it takes a begin
// (target, size and whole-image CRC), blocks that must follow each other without gap and carry
// their own CRC, and either an end (0x88's exchange: the image is checked and kept as the
// component's pending version) or installs per target (0x9F's exchange: a reply, then a
// completion notification). Outside update mode it does not know these messages.
//
// Faults are data as well: a TransferFault picks a phase, a block or target, and how many
// attempts it spoils, and says what happens to them. Thread-safe; the device calls Handle
// with its own lock held, and this class's lock comes after the device's.
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "firmware/firm_kind.h"
#include "protocol/message.h"
#include "sim/sim_fault.h"

namespace qx80 {

enum class TransferPhase { Begin, Block, End, Install };

enum class TransferFaultKind {
  Reply,           // `reply` (a SimFault's kind, value and detail) is done to the phase's reply;
                   // the request itself is dropped unless the fault only delays the answer
  BlockStatus,     // the block is taken, but its reply says status byte `value`
  LateCompletion,  // the completion follows the install reply `value` clock milliseconds later
  BadCompletion,   // the completion carries `value` in its byte 1 (0 means success)
};

constexpr int32_t kAnyTransferIndex = -1;

struct TransferFault {
  TransferPhase phase = TransferPhase::Block;
  int32_t index = kAnyTransferIndex;  // block number (offset / 4096), or target number of an install
  int32_t attempts = 1;               // requests it spoils before it is used up; -1 for ever
  TransferFaultKind kind = TransferFaultKind::Reply;
  SimFault reply = {};  // for Reply; its messageId and times are not used
  int32_t value = 0;
};

// Block statuses of the simulated device (data byte of a block reply).
constexpr uint8_t SIM_BLOCK_OK = 0;
constexpr uint8_t SIM_BLOCK_BAD_CRC = 1;
constexpr uint8_t SIM_BLOCK_BAD_OFFSET = 2;

struct SimTransferTiming {
  uint32_t endDelayMs = 200;         // the device finishes writing before it answers the end
  uint32_t completionDelayMs = 200;  // between an install reply and its completion
};

// An image the device accepted at the end of a transfer.
struct SimWrittenImage {
  std::vector<uint8_t> bytes;
  std::string version;  // the image's own version text, as the device will report it
};

class SimFirmwareTransfer {
 public:
  // A notification that leaves some time after the reply.
  struct FollowUp {
    uint32_t delayMs = 0;
    std::vector<uint8_t> payload;
  };
  // What the device sends back: the reply, what is done to it, and what follows it.
  struct Answer {
    MessageHeader header;
    std::vector<uint8_t> data;
    std::optional<SimFault> fault;
    std::optional<FollowUp> followUp;
    std::optional<FirmKind> accepted;  // an end that accepted an image of this component
    std::string acceptedVersion;       // and that image's own version text
  };

  // One request; `updateMode` says whether the device runs under its update-mode product id.
  Answer Handle(const MessageHeader& request, std::span<const uint8_t> data, bool updateMode);

  void AddFault(TransferFault fault);
  void ClearFaults();
  void SetTiming(SimTransferTiming timing);

  // The last image accepted for component `kind` (0 to 4).
  std::optional<SimWrittenImage> Written(FirmKind kind) const;
  // Version texts of the images written since the last take, by component; they become the
  // versions the device reports once the update is finished.
  std::map<FirmKind, std::string> PendingVersions() const;
  std::map<FirmKind, std::string> TakePendingVersions();
  // The last SIAM payload received whole, and the targets it was installed on, in order.
  std::vector<uint8_t> SiamPayload() const;
  std::vector<uint8_t> InstalledTargets() const;

 private:
  struct Session {
    bool siam = false;
    FirmKind kind = FIRM_KIND_UNKNOWN;
    uint32_t size = 0;
    uint16_t crc = 0;
    std::vector<uint8_t> image;  // moves to the written images when an end accepts it
    uint32_t received = 0;       // bytes taken without a gap from offset 0
    uint32_t lastOffset = 0;     // the last block taken, which may come again if its reply was lost
    bool ended = false;          // an end accepted it; a repeated end is answered the same way
  };

  std::optional<TransferFault> TakeFault(TransferPhase phase, int32_t index);
  Answer Begin(const MessageHeader& request, std::span<const uint8_t> data, bool siam);
  Answer Block(const MessageHeader& request, std::span<const uint8_t> data, bool siam);
  Answer End(const MessageHeader& request);
  Answer Install(const MessageHeader& request);
  bool Complete() const;

  mutable std::mutex m_mutex;
  std::vector<TransferFault> m_faults;
  SimTransferTiming m_timing;
  std::optional<Session> m_session;
  std::map<FirmKind, SimWrittenImage> m_written;
  std::map<FirmKind, std::string> m_pending;
  std::vector<uint8_t> m_siamPayload;
  std::vector<uint8_t> m_installed;
};

}  // namespace qx80
