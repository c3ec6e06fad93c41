#pragma once
// CDeviceProtocol: one open channel to the QX-80. It owns the HID link and a receive thread
// that reads every input report; it frames requests into output reports, reassembles the
// response and hands it to the waiting caller, delivers notifications and text messages to
// callbacks, and offers the numbered command call, Execute.
//
// One transaction at a time: Execute holds the channel's lock around a command, and the
// request and response buffers belong to the transaction in flight.
#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "device/hid_device.h"
#include "protocol/channel_callbacks.h"
#include "protocol/device_ids.h"
#include "protocol/message.h"
#include "protocol/protocol_result.h"
#include "protocol/reassembler.h"

namespace qx80 {

// `status` and `detail` of the last reply that arrived.
struct StatusPair {
  int32_t status = 0;
  int32_t detail = 0;
};

class CDeviceProtocol {
 public:
  static constexpr uint32_t kReportWriteTimeoutMs = 500;
  static constexpr size_t kRequestBufferSize = 131070;
  static constexpr size_t kResponseBufferSize = 131072;
  static constexpr size_t kTextBufferSize = 131070;
  // How long a reply may keep a stop request waiting (real time).
  static constexpr std::chrono::milliseconds kStopCheckSlice{200};

  // Opens a channel to the device in `mode` (its product ids tried in kQx80Products' order)
  // and starts its receive thread. `notify` receives the notifications; by default the
  // application's handler. Null when the mode is unknown, no device matches or the thread
  // cannot start; nothing is left open then.
  static std::unique_ptr<CDeviceProtocol> Create(int32_t mode, NotifyCallback notify = &PostDeviceNotify);

  ~CDeviceProtocol();
  CDeviceProtocol(const CDeviceProtocol&) = delete;
  CDeviceProtocol& operator=(const CDeviceProtocol&) = delete;

  // Stops the receive thread and releases the link. Harmless twice. The owner never runs it
  // while a command is in flight.
  void Close();

  // Runs numbered command `command` on `block` (kParameterBlockSize bytes, see
  // protocol/command_catalogue.h). When `status` is given it receives the pair of the last
  // reply that arrived, whatever the result.
  ProtocolResult Execute(int32_t command, void* block, StatusPair* status);

  // The parts command handlers are built from; used only under Execute's lock.
  //
  // Sends `length` bytes as one request (each report written within 500 ms) and waits up to
  // `timeoutMs` for a response. 0: the response is in Response(). -1 nothing to send, -7 a
  // report not written or no response in time, -11 closed or link lost, -13 the reply's
  // status is neither 0 nor 0xFE.
  ProtocolResult Transact(const uint8_t* request, uint32_t length, uint32_t timeoutMs);
  // Waits up to `timeoutMs` for the next response without sending anything (a completion
  // that follows a reply); one that arrived since the last response was taken counts.
  // 0, -7 or -11; the status is not judged. While a stop signal is given and set, the wait
  // ends within kStopCheckSlice of real time with -17 (Transact too).
  ProtocolResult WaitResponse(uint32_t timeoutMs);
  uint8_t* RequestBuffer() { return m_request.data(); }
  // The response: ResponseLength() bytes were received (whole reports, so up to 62 bytes
  // of padding may follow the data the header declares).
  const uint8_t* Response() const { return m_response.data(); }
  size_t ResponseLength() const { return m_responseLength; }
  void InstallTextCallback(TextCallback callback) { m_textCallback.store(callback); }
  // While set, a lost link is not reported (the device leaves the bus on purpose).
  void SetTransferActive(bool active) { m_transferActive.store(active ? 1 : 0); }
  bool IsTransferActive() const { return m_transferActive.load() != 0; }
  bool IsClosed() const { return m_closed.load() != 0; }
  // A flag that, once set, asks the command in flight to stop at its next step (the firmware
  // transfer: before its next block or phase, or in the middle of a wait for a reply that has
  // not come within kStopCheckSlice). Given and read only by the thread that runs commands,
  // under the connection's lock; null when nobody may stop the command.
  void SetStopSignal(const std::atomic<bool>* signal) { m_stopSignal = signal; }
  bool IsStopRequested() const { return m_stopSignal != nullptr && m_stopSignal->load(); }

 private:
  CDeviceProtocol();
  bool Open(int32_t mode, NotifyCallback notify);
  void ReceiveLoop();
  // Waits, with the mailbox's lock held by `lock`, until a response waits or the channel has
  // closed; false when the time ran out or a stop request ended a slice.
  bool WaitMailbox(std::unique_lock<std::mutex>& lock, uint32_t timeoutMs);
  void OnResponseFragment(Reassembler::Fragment fragment, const uint8_t* payload);
  void OnNotification(const uint8_t* payload);
  void OnTextFragment(Reassembler::Fragment fragment, const uint8_t* payload);

  std::recursive_mutex m_lock;
  CHidDevice m_hid;
  std::thread m_thread;
  std::atomic<int32_t> m_closed{0};
  std::atomic<int32_t> m_transferActive{0};
  const std::atomic<bool>* m_stopSignal = nullptr;

  std::vector<uint8_t> m_request;
  // Receive thread only.
  Reassembler m_responseAssembly;
  Reassembler m_textAssembly;
  // A complete response waits here for the transaction, which waits on m_mailboxReady. The
  // receive thread fills the mailbox (or ends) under the mutex and wakes the waiter straight
  // after releasing it, so the waiter never wakes into a held lock; the channel outlives the
  // receive thread (Close joins it), so the notification never meets a destroyed channel.
  std::mutex m_mailboxMutex;
  std::condition_variable m_mailboxReady;
  std::vector<uint8_t> m_mailbox;
  size_t m_mailboxLength = 0;
  bool m_mailboxFull = false;
  // A completion that arrived while the reply before it still waited in the mailbox.
  std::array<uint8_t, kReportPayload> m_queuedCompletion{};
  bool m_completionQueued = false;
  // The response taken by the transaction: the receive thread never writes here, so the
  // handler reads it undisturbed by replies that arrive late.
  std::vector<uint8_t> m_response;
  size_t m_responseLength = 0;

  int32_t m_lastStatus = 0;
  int32_t m_lastDetail = 0;
  NotifyCallback m_notify = nullptr;
  std::atomic<TextCallback> m_textCallback{nullptr};
};

}  // namespace qx80
