#include <windows.h>

#include <atomic>
#include <chrono>

#include "device/win32/win32_error.h"
#include "device/win32/win32_hid_handle.h"
#include "platform/clock.h"

namespace qx80 {
namespace {

// One direction: its overlapped record and manual-reset event. Only the thread that owns
// the direction touches it (one reader, one writer at a time).
struct Transfer {
  OVERLAPPED overlapped{};
  UniqueHandle event;
  bool outstanding = false;
};

// The platform writes the final status into the record before it signals the event, so the
// status, not the event, tells whether the buffer is still in use: WakeRead sets the read
// event without any completion.
bool Completed(const OVERLAPPED& overlapped) {
  const auto status = *static_cast<const volatile ULONG_PTR*>(&overlapped.Internal);
  std::atomic_thread_fence(std::memory_order_acquire);
  return status != static_cast<ULONG_PTR>(STATUS_PENDING);
}

class Win32HidHandle final : public HidHandle {
 public:
  Win32HidHandle(UniqueHandle file, UniqueHandle readEvent, UniqueHandle writeEvent, const HidInterfaceCaps& caps)
      : m_file(std::move(file)), m_caps(caps) {
    m_read.event = std::move(readEvent);
    m_write.event = std::move(writeEvent);
  }

  // Nothing may be freed while the platform can still write into a caller's buffer.
  ~Win32HidHandle() override {
    Cancel(m_read);
    Cancel(m_write);
  }

  Win32HidHandle(const Win32HidHandle&) = delete;
  Win32HidHandle& operator=(const Win32HidHandle&) = delete;

  const HidInterfaceCaps& Caps() const override { return m_caps; }

  HidIo StartRead(uint8_t* buffer) override {
    if (m_woken.load() || m_read.outstanding || m_caps.inputReportLength == 0) {
      return HidIo::Failed;
    }
    Prepare(m_read);
    return Started(m_read, ReadFile(m_file.Get(), buffer, m_caps.inputReportLength, nullptr, &m_read.overlapped));
  }

  HidIo StartWrite(const uint8_t* buffer) override {
    if (m_write.outstanding || m_caps.outputReportLength == 0) {
      return HidIo::Failed;
    }
    Prepare(m_write);
    return Started(m_write, WriteFile(m_file.Get(), buffer, m_caps.outputReportLength, nullptr, &m_write.overlapped));
  }

  HidIo WaitRead(int32_t timeoutMs) override { return Wait(m_read, timeoutMs, true); }
  HidIo WaitWrite(int32_t timeoutMs) override { return Wait(m_write, timeoutMs, false); }
  void CancelRead() override { Cancel(m_read); }
  void CancelWrite() override { Cancel(m_write); }

  void WakeRead() override {
    m_woken.store(true);
    // The waiting reader sees the flag once the event releases it; a failure to signal
    // leaves only a read with a time-out, which ends by itself.
    SetEvent(m_read.event.Get());
  }

 private:
  static void Prepare(Transfer& transfer) {
    transfer.overlapped = OVERLAPPED{};
    transfer.overlapped.hEvent = transfer.event.Get();
  }

  static HidIo Started(Transfer& transfer, BOOL ok) {
    const HidIo io = TransferOutcome(ok);
    transfer.outstanding = io == HidIo::Pending;
    return io;
  }

  HidIo Wait(Transfer& transfer, int32_t timeoutMs, bool wakeable) {
    if (!transfer.outstanding) {
      return HidIo::Failed;
    }
    const bool unlimited = timeoutMs < 0;
    const auto deadline = unlimited ? std::chrono::steady_clock::now() : RealDeadline(static_cast<uint32_t>(timeoutMs));
    for (;;) {
      DWORD transferred = 0;
      const HidIo io = TransferOutcome(GetOverlappedResult(m_file.Get(), &transfer.overlapped, &transferred, FALSE));
      if (io != HidIo::Pending) {
        transfer.outstanding = false;
        return io;
      }
      if (wakeable && m_woken.load()) {
        Cancel(transfer);
        return HidIo::Failed;
      }
      const DWORD waitMs = unlimited ? INFINITE : static_cast<DWORD>(MillisecondsUntil(deadline, INFINITE - 1));
      if (waitMs == 0) {
        return HidIo::TimedOut;
      }
      if (WaitForSingleObject(transfer.event.Get(), waitMs) == WAIT_FAILED) {
        Cancel(transfer);
        return HidIo::Failed;
      }
    }
  }

  // Cancels the outstanding operation and waits until the platform has finished with it,
  // whether it ended cancelled or had completed just before.
  void Cancel(Transfer& transfer) {
    if (!transfer.outstanding) {
      return;
    }
    // Fails with ERROR_NOT_FOUND when the operation has already completed; the wait below
    // is right either way.
    CancelIoEx(m_file.Get(), &transfer.overlapped);
    while (!Completed(transfer.overlapped)) {
      // Clear a signal that was not a completion (WakeRead), then look again before
      // waiting: a completion after the reset signals the event anew.
      ResetEvent(transfer.event.Get());
      if (Completed(transfer.overlapped)) {
        break;
      }
      WaitForSingleObject(transfer.event.Get(), INFINITE);
    }
    transfer.outstanding = false;
  }

  UniqueHandle m_file;
  HidInterfaceCaps m_caps;
  Transfer m_read;
  Transfer m_write;
  std::atomic<bool> m_woken{false};
};

}  // namespace

std::unique_ptr<HidHandle> MakeWin32HidHandle(UniqueHandle file, const HidInterfaceCaps& caps) {
  if (!file.Valid()) {
    return nullptr;
  }
  // Manual-reset, unnamed, not signalled. Without them the platform would signal on the
  // file handle, which both directions share, so an open without events fails.
  UniqueHandle readEvent(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  UniqueHandle writeEvent(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!readEvent.Valid() || !writeEvent.Valid()) {
    return nullptr;
  }
  return std::make_unique<Win32HidHandle>(std::move(file), std::move(readEvent), std::move(writeEvent), caps);
}

}  // namespace qx80
