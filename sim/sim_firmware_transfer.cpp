#include "sim/sim_firmware_transfer.h"

#include <algorithm>
#include <utility>

#include "firmware/crc16.h"
#include "firmware/firm_file.h"
#include "platform/byte_reader.h"
#include "protocol/firmware_transfer.h"
#include "protocol/version_query.h"
#include "sim/sim_qx80_device.h"

namespace qx80 {
namespace {

constexpr uint16_t kFirmBeginLength = 7;  // target code, size, CRC
constexpr uint16_t kSiamBeginLength = 6;  // size, CRC
constexpr uint32_t kFirmMaxSize = 0x500000;
constexpr uint32_t kSiamMaxSize = 0x100000;

SimFirmwareTransfer::Answer Acknowledge(const MessageHeader& request, uint8_t status = STATUS_OK,
                                        std::vector<uint8_t> data = {}) {
  return {MessageHeader{MSG_SET_REPLY, request.id, 0, status, 0, 0},
          std::move(data),
          std::nullopt,
          std::nullopt,
          std::nullopt,
          {}};
}

FirmKind KindOfTarget(uint8_t code) {
  for (FirmKind kind = FIRM_KIND_TIPA; kind < FIRM_SLOT_COUNT; ++kind) {
    if (kFirmTargets[kind].code == code) {
      return kind;
    }
  }
  return FIRM_KIND_UNKNOWN;
}

// The version text the image itself carries, as the container reads it; empty for an image
// the container refuses. Checked in place: the check restores the bytes.
std::string VersionOf(std::vector<uint8_t>& image) {
  FirmImageInfo info;
  if (CheckFirmImage(image.data(), static_cast<uint32_t>(image.size()), info) != FirmLoad::Ok) {
    return {};
  }
  return std::string(info.version.begin(), std::find(info.version.begin(), info.version.end(), '\0'));
}

}  // namespace

SimFirmwareTransfer::Answer SimFirmwareTransfer::Handle(const MessageHeader& request, std::span<const uint8_t> data,
                                                        bool updateMode) {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (!updateMode || request.type != MSG_SET_REQUEST) {
    return Acknowledge(request, SIM_STATUS_UNKNOWN_MESSAGE);
  }
  const bool block = request.id == MSG_FIRM_BLOCK || request.id == MSG_SIAM_BLOCK;
  TransferPhase phase = TransferPhase::Begin;
  int32_t index = 0;
  if (block) {
    phase = TransferPhase::Block;
    index = data.size() >= 4 ? static_cast<int32_t>(ReadLe32(data.data()) / kFirmBlockSize) : 0;
  } else if (request.id == MSG_FIRM_END) {
    phase = TransferPhase::End;
  } else if (request.id == MSG_SIAM_INSTALL) {
    phase = TransferPhase::Install;
    index = request.arg;
  }
  const std::optional<TransferFault> fault = TakeFault(phase, index);
  // A refused request is not acted on; only a late answer still does its work.
  if (fault.has_value() && fault->kind == TransferFaultKind::Reply && fault->reply.kind != SimFaultKind::LateAnswer) {
    Answer answer = Acknowledge(request, STATUS_OK, std::vector<uint8_t>(block ? 1 : 0, SIM_BLOCK_OK));
    answer.fault = fault->reply;
    return answer;
  }
  Answer answer = Acknowledge(request, SIM_STATUS_UNKNOWN_MESSAGE);
  switch (request.id) {
    case MSG_FIRM_BEGIN:
    case MSG_SIAM_BEGIN:
      answer = Begin(request, data, request.id == MSG_SIAM_BEGIN);
      break;
    case MSG_FIRM_BLOCK:
    case MSG_SIAM_BLOCK:
      answer = Block(request, data, request.id == MSG_SIAM_BLOCK);
      break;
    case MSG_FIRM_END:
      answer = End(request);
      break;
    case MSG_SIAM_INSTALL:
      answer = Install(request);
      break;
    default:
      break;
  }
  if (!fault.has_value()) {
    return answer;
  }
  switch (fault->kind) {
    case TransferFaultKind::Reply:  // only a late answer gets here
      answer.fault = fault->reply;
      break;
    case TransferFaultKind::LateCompletion:
      if (answer.followUp.has_value()) {
        answer.followUp->delayMs = static_cast<uint32_t>(fault->value);
      }
      break;
    case TransferFaultKind::BadCompletion:
      if (answer.followUp.has_value()) {
        answer.followUp->payload[1] = static_cast<uint8_t>(fault->value);
      }
      break;
    case TransferFaultKind::BlockStatus:
      if (block && answer.data.size() == 1) {
        answer.data[0] = static_cast<uint8_t>(fault->value);
      }
      break;
  }
  return answer;
}

SimFirmwareTransfer::Answer SimFirmwareTransfer::Begin(const MessageHeader& request, std::span<const uint8_t> data,
                                                       bool siam) {
  if (data.size() != (siam ? kSiamBeginLength : kFirmBeginLength)) {
    return Acknowledge(request, SIM_STATUS_BAD_ARGUMENT);
  }
  Session session;
  session.siam = siam;
  if (!siam) {
    session.kind = KindOfTarget(data[0]);
    data = data.subspan(1);
  }
  session.size = ReadLe32(data.data());
  session.crc = ReadLe16(data.data() + 4);
  const bool sizeOk = siam ? session.size <= kSiamMaxSize : session.size > 0 && session.size <= kFirmMaxSize;
  if ((!siam && session.kind == FIRM_KIND_UNKNOWN) || !sizeOk) {
    return Acknowledge(request, SIM_STATUS_BAD_ARGUMENT);
  }
  session.image.assign(session.size, 0);
  m_session = std::move(session);
  return Acknowledge(request);
}

SimFirmwareTransfer::Answer SimFirmwareTransfer::Block(const MessageHeader& request, std::span<const uint8_t> data,
                                                       bool siam) {
  if (data.size() < kBlockPrefix || !m_session.has_value() || m_session->siam != siam) {
    return Acknowledge(request, STATUS_OK, {SIM_BLOCK_BAD_OFFSET});
  }
  Session& session = *m_session;
  const uint32_t offset = ReadLe32(data.data());
  const std::span<const uint8_t> bytes = data.subspan(kBlockPrefix);
  const auto n = static_cast<uint32_t>(bytes.size());
  const bool next = offset == session.received;
  const bool again = offset == session.lastOffset && session.received > offset;  // its reply was lost
  if (n == 0 || n > kFirmBlockSize || offset > session.size || n > session.size - offset || (!next && !again)) {
    return Acknowledge(request, STATUS_OK, {SIM_BLOCK_BAD_OFFSET});
  }
  if (Crc16(bytes) != ReadLe16(data.data() + 4)) {
    return Acknowledge(request, STATUS_OK, {SIM_BLOCK_BAD_CRC});
  }
  // After an accepted end the image has gone to the written ones: a repeated last block is
  // only acknowledged.
  if (!session.ended) {
    std::copy(bytes.begin(), bytes.end(), session.image.begin() + offset);
  }
  session.lastOffset = offset;
  session.received = std::max(session.received, offset + n);
  return Acknowledge(request, STATUS_OK, {SIM_BLOCK_OK});
}

bool SimFirmwareTransfer::Complete() const {
  return m_session->received == m_session->size && Crc16(m_session->image) == m_session->crc;
}

SimFirmwareTransfer::Answer SimFirmwareTransfer::End(const MessageHeader& request) {
  if (!m_session.has_value() || m_session->siam || (!m_session->ended && !Complete())) {
    return Acknowledge(request, SIM_STATUS_BAD_ARGUMENT);
  }
  const FirmKind kind = m_session->kind;
  if (!m_session->ended) {
    // The received image becomes the component's written image; the session keeps only what
    // answers a repeated end.
    std::string version = VersionOf(m_session->image);
    m_pending[kind] = version;
    m_written[kind] = SimWrittenImage{std::exchange(m_session->image, {}), std::move(version)};
    m_session->ended = true;
  }
  Answer answer = Acknowledge(request);
  answer.accepted = kind;
  answer.acceptedVersion = m_written[kind].version;
  answer.fault = SimFault{.kind = SimFaultKind::LateAnswer, .value = static_cast<int32_t>(m_timing.endDelayMs)};
  return answer;
}

SimFirmwareTransfer::Answer SimFirmwareTransfer::Install(const MessageHeader& request) {
  if (!m_session.has_value() || !m_session->siam || !Complete()) {
    return Acknowledge(request, SIM_STATUS_BAD_ARGUMENT);
  }
  m_siamPayload = m_session->image;
  m_installed.push_back(request.arg);
  Answer answer = Acknowledge(request);
  answer.followUp = FollowUp{m_timing.completionDelayMs, {NOTIFY_SUBKIND_COMPLETION, 0}};
  return answer;
}

std::optional<TransferFault> SimFirmwareTransfer::TakeFault(TransferPhase phase, int32_t index) {
  return TakeFirstFault(m_faults, &TransferFault::attempts, [&](const TransferFault& fault) {
    return fault.phase == phase && (fault.index == kAnyTransferIndex || fault.index == index);
  });
}

void SimFirmwareTransfer::AddFault(TransferFault fault) {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (fault.attempts != 0) {
    m_faults.push_back(std::move(fault));
  }
}

void SimFirmwareTransfer::ClearFaults() {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_faults.clear();
}

void SimFirmwareTransfer::SetTiming(SimTransferTiming timing) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_timing = timing;
}

std::optional<SimWrittenImage> SimFirmwareTransfer::Written(FirmKind kind) const {
  std::lock_guard<std::mutex> lock(m_mutex);
  const auto it = m_written.find(kind);
  return it == m_written.end() ? std::nullopt : std::optional<SimWrittenImage>(it->second);
}

std::map<FirmKind, std::string> SimFirmwareTransfer::PendingVersions() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_pending;
}

std::map<FirmKind, std::string> SimFirmwareTransfer::TakePendingVersions() {
  std::lock_guard<std::mutex> lock(m_mutex);
  return std::exchange(m_pending, {});
}

std::vector<uint8_t> SimFirmwareTransfer::SiamPayload() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_siamPayload;
}

std::vector<uint8_t> SimFirmwareTransfer::InstalledTargets() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_installed;
}

// The device's rows for the transfer messages. An accepted image's version waits as the
// component's pending version until the host ends the update mode.
SimQx80Device::Reply SimQx80Device::HandleTransfer(const MessageHeader& request, std::span<const uint8_t> data) {
  SimFirmwareTransfer::Answer answer = m_transfer.Handle(request, data, m_productId == QX80_PRODUCT_UPDATE);
  if (answer.accepted.has_value()) {
    m_pendingVersions[kVersionSelectors[*answer.accepted]] = answer.acceptedVersion;
  }
  return Reply{answer.header, std::move(answer.data), answer.fault, std::move(answer.followUp)};
}

}  // namespace qx80
