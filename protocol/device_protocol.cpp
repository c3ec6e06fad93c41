#include "protocol/device_protocol.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <iterator>
#include <system_error>

#include "platform/clock.h"
#include "protocol/command_table.h"
#include "protocol/message.h"

namespace qx80 {
namespace {

// Sub-kinds the application hears of, and the code and value each becomes.
struct NotifyMapping {
  uint8_t subKind;
  int32_t code;
  bool wideValue;  // value = payload byte 1 * 256 + byte 2, else byte 1
};

constexpr NotifyMapping kNotifyMappings[] = {
    {1, 0, false}, {2, 1, false}, {3, 2, true}, {5, 3, false}, {7, 4, false},
};

}  // namespace

CDeviceProtocol::CDeviceProtocol()
    : m_request(kRequestBufferSize, 0),
      m_responseAssembly(kHeaderSize, kHeaderLengthOffset, kResponseBufferSize),
      m_textAssembly(kTextHeaderSize, 0, kTextBufferSize),
      m_mailbox(kResponseBufferSize, 0),
      m_response(kResponseBufferSize, 0) {}

CDeviceProtocol::~CDeviceProtocol() {
  Close();
}

std::unique_ptr<CDeviceProtocol> CDeviceProtocol::Create(int32_t mode, NotifyCallback notify) {
  std::unique_ptr<CDeviceProtocol> channel(new CDeviceProtocol());
  if (!channel->Open(mode, notify)) {
    channel->Close();
    return nullptr;
  }
  return channel;
}

bool CDeviceProtocol::Open(int32_t mode, NotifyCallback notify) {
  m_closed.store(0);
  m_notify = notify;
  const bool found = std::any_of(std::begin(kQx80Products), std::end(kQx80Products), [&](const Qx80Product& product) {
    return product.mode == mode && OpenQx80(m_hid, product.productId);
  });
  if (!found) {
    return false;
  }
  try {
    m_thread = std::thread([this] { ReceiveLoop(); });
  } catch (const std::system_error&) {
    return false;
  }
  return true;
}

void CDeviceProtocol::Close() {
  if (m_thread.joinable()) {
    m_closed.store(1);
    m_hid.AbortRead();
    m_thread.join();
  }
  m_hid.Close();
  m_notify = nullptr;
  m_textCallback.store(nullptr);
}

ProtocolResult CDeviceProtocol::Transact(const uint8_t* request, uint32_t length, uint32_t timeoutMs) {
  if (length == 0) {
    return ResultNothingToSend;
  }
  {
    // A response that came after its caller gave up is not this transaction's.
    std::lock_guard<std::mutex> lock(m_mailboxMutex);
    m_mailboxFull = false;
    m_completionQueued = false;
  }
  std::array<uint8_t, kReportSize> report{};
  const std::span<const uint8_t> message(request, length);
  const size_t count = FragmentCount(length);
  for (size_t i = 0; i < count; ++i) {
    FrameFragment(REPORT_REQUEST_FIRST, message, i, report);
    if (m_hid.WriteReport(report.data(), kReportWriteTimeoutMs) == 0) {
      return ResultTransferFailed;
    }
  }
  const ProtocolResult waited = WaitResponse(timeoutMs);
  if (waited != ResultOk) {
    return waited;
  }
  const MessageHeader reply = ReadHeader(m_response.data());
  m_lastStatus = reply.status;
  m_lastDetail = reply.detail;
  return reply.status == STATUS_OK || reply.status == STATUS_OK_ALT ? ResultOk : ResultDeviceError;
}

bool CDeviceProtocol::WaitMailbox(std::unique_lock<std::mutex>& lock, uint32_t timeoutMs) {
  const auto ready = [this] { return m_mailboxFull || m_closed.load() != 0; };
  if (m_stopSignal == nullptr) {
    return m_mailboxReady.wait_for(lock, GetClock().RealBound(timeoutMs), ready);
  }
  // A command that may be stopped waits in slices and looks at the stop request between
  // them: a device that takes minutes to finish a part holds a stop up for a slice at most.
  const auto deadline = RealDeadline(timeoutMs);
  for (;;) {
    const auto sliceEnd = std::min(deadline, std::chrono::steady_clock::now() + kStopCheckSlice);
    if (m_mailboxReady.wait_until(lock, sliceEnd, ready)) {
      return true;
    }
    if (sliceEnd >= deadline || IsStopRequested()) {
      return false;
    }
  }
}

ProtocolResult CDeviceProtocol::WaitResponse(uint32_t timeoutMs) {
  std::unique_lock<std::mutex> lock(m_mailboxMutex);
  if (!WaitMailbox(lock, timeoutMs)) {
    return IsStopRequested() ? ResultStopped : ResultTransferFailed;
  }
  // Released by the closing, not by a response. A response that came before the link was
  // lost (the device answers, then restarts) is still this transaction's.
  if (!m_mailboxFull) {
    return ResultChannelClosed;
  }
  m_mailbox.swap(m_response);
  m_responseLength = m_mailboxLength;
  m_mailboxFull = m_completionQueued;
  if (m_completionQueued) {
    // The completion that came right behind this reply is the next response.
    std::memcpy(m_mailbox.data(), m_queuedCompletion.data(), kReportPayload);
    m_mailboxLength = kReportPayload;
    m_completionQueued = false;
  }
  return ResultOk;
}

ProtocolResult CDeviceProtocol::Execute(int32_t command, void* block, StatusPair* status) {
  std::lock_guard<std::recursive_mutex> lock(m_lock);
  ProtocolResult result = ResultUnknownCommand;
  for (const CommandEntry& entry : CommandTable()) {
    if (entry.number == command) {
      result = entry.handler(*this, block);
    }
  }
  if (status != nullptr) {
    status->status = m_lastStatus;
    status->detail = m_lastDetail;
  }
  return result;
}

void CDeviceProtocol::ReceiveLoop() {
  std::array<uint8_t, kReportSize> report{};
  while (m_closed.load() == 0) {
    if (m_hid.ReadReport(report.data(), -1) == 0) {
      // Closing, or a transfer during which the device leaves the bus on purpose: no news.
      if (m_closed.load() == 0 && m_transferActive.load() == 0 && m_notify != nullptr) {
        m_notify(NOTIFY_LINK_LOST, 0);
      }
      break;
    }
    const uint8_t kind = report[0];
    const uint8_t* payload = report.data() + 1;
    switch (kind & 0xF0) {
      case 0x80:
        if (const auto fragment = FragmentOf(kind, REPORT_RESPONSE_FIRST)) {
          OnResponseFragment(*fragment, payload);
        }
        break;
      case 0x90:
        OnNotification(payload);
        break;
      case 0xA0:
        if (const auto fragment = FragmentOf(kind, REPORT_TEXT_FIRST)) {
          OnTextFragment(*fragment, payload);
        }
        break;
      default:
        break;
    }
  }
  // However the loop ended (even before its first read), a waiting transaction is released
  // and sees the channel closed.
  {
    std::lock_guard<std::mutex> lock(m_mailboxMutex);
    m_closed.store(1);
  }
  m_mailboxReady.notify_one();
}

void CDeviceProtocol::OnResponseFragment(Reassembler::Fragment fragment, const uint8_t* payload) {
  if (!m_responseAssembly.Add(fragment, payload)) {
    return;
  }
  {
    std::lock_guard<std::mutex> lock(m_mailboxMutex);
    m_mailbox.swap(m_responseAssembly.Buffer());
    m_mailboxLength = m_responseAssembly.Length();
    m_mailboxFull = true;
  }
  m_mailboxReady.notify_one();
}

void CDeviceProtocol::OnNotification(const uint8_t* payload) {
  const uint8_t subKind = payload[0];
  if (subKind == NOTIFY_SUBKIND_COMPLETION) {
    // A completion is handed to the waiting transaction as a one-report response.
    {
      std::lock_guard<std::mutex> lock(m_mailboxMutex);
      if (m_mailboxFull) {
        // The reply it follows has not been taken yet: the completion waits behind it.
        std::memcpy(m_queuedCompletion.data(), payload, kReportPayload);
        m_completionQueued = true;
        return;
      }
      std::memcpy(m_mailbox.data(), payload, kReportPayload);
      m_mailboxLength = kReportPayload;
      m_mailboxFull = true;
    }
    m_mailboxReady.notify_one();
    return;
  }
  for (const NotifyMapping& mapping : kNotifyMappings) {
    if (mapping.subKind == subKind && m_notify != nullptr) {
      m_notify(mapping.code, mapping.wideValue ? payload[1] * 256 + payload[2] : payload[1]);
    }
  }
}

void CDeviceProtocol::OnTextFragment(Reassembler::Fragment fragment, const uint8_t* payload) {
  if (!m_textAssembly.Add(fragment, payload)) {
    return;
  }
  uint8_t* text = m_textAssembly.Buffer().data();
  // T counts the kind byte and the text; a message without its kind byte is malformed. A
  // T beyond what arrived is cut to it, so the terminator and the text stay in the message.
  const size_t declared = ReadLe16(text);
  if (declared == 0) {
    return;
  }
  const size_t length = std::min(declared, m_textAssembly.Length() - kTextHeaderSize);
  text[kTextHeaderSize + length] = 0;
  const TextCallback callback = m_textCallback.load();
  if (callback != nullptr) {
    callback(text[2], reinterpret_cast<const char*>(text + 3), static_cast<int32_t>(length));
  }
}

}  // namespace qx80
