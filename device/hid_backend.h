#pragma once
// The narrow interface a platform supplies to CHidDevice: list the present HID interfaces,
// open one for concurrent reading and writing, tell its identity, and move whole reports
// asynchronously with time-outs and cancellation. Search, matching, the report-id byte and
// the abort rules live above it in CHidDevice, so they are the same on every platform.
//
// Threading contract: one thread may read while another writes on the same handle; two
// concurrent reads or two concurrent writes are not allowed. WakeRead may be called from
// any thread. Destroying a handle cancels and drains whatever is outstanding first.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace qx80 {

// Identity of one HID interface. Report lengths are the platform's: they count the
// report-id byte that leads every report (65 for 64 payload bytes); 0 means none.
struct HidInterfaceCaps {
  uint16_t vendorId = 0;
  uint16_t productId = 0;
  uint16_t inputReportLength = 0;
  uint16_t outputReportLength = 0;
  uint16_t featureReportLength = 0;
  // Report id of the first output item; becomes byte 0 of every output report.
  uint8_t firstOutputReportId = 0;
};

enum class HidIo {
  Done,      // the report was transferred
  Pending,   // started, not finished (only from Start*)
  TimedOut,  // the wait ended first; the operation is still outstanding
  Failed,    // the platform refused or failed the operation, or it was woken/cancelled
};

class HidHandle {
 public:
  virtual ~HidHandle() = default;
  virtual const HidInterfaceCaps& Caps() const = 0;

  // Start one read of a whole input report (Caps().inputReportLength bytes) into `buffer`,
  // or one write of a whole output report from `buffer`. The buffer must stay valid until
  // the operation is Done, Failed, or cancelled.
  virtual HidIo StartRead(uint8_t* buffer) = 0;
  virtual HidIo StartWrite(const uint8_t* buffer) = 0;

  // Wait for the outstanding operation: -1 waits without limit. Returns Done, Failed or
  // TimedOut; a TimedOut operation stays outstanding until it is waited for or cancelled.
  virtual HidIo WaitRead(int32_t timeoutMs) = 0;
  virtual HidIo WaitWrite(int32_t timeoutMs) = 0;

  // Cancel the outstanding operation and wait until the platform no longer uses its buffer.
  virtual void CancelRead() = 0;
  virtual void CancelWrite() = 0;

  // Release a WaitRead blocked on another thread; it returns Failed unless already Done.
  // The wake is permanent: every later StartRead/WaitRead on this handle fails at once,
  // so a read that starts just after the wake cannot block for ever.
  virtual void WakeRead() = 0;
};

class HidBackend {
 public:
  virtual ~HidBackend() = default;
  // Paths of the present HID interfaces, in an order that is stable while nothing is
  // attached or detached. False when the platform cannot enumerate.
  virtual bool Enumerate(std::vector<std::string>& paths) = 0;
  // Open one interface and read its identity; null when it cannot be opened or parsed.
  virtual std::unique_ptr<HidHandle> Open(const std::string& path) = 0;
  // The identity of an interface without opening it, where the platform publishes it
  // elsewhere; false when it cannot tell, and the caller opens the interface to learn it.
  // Searches use it to leave other devices alone.
  virtual bool Identify(const std::string& /*path*/, HidInterfaceCaps& /*caps*/) { return false; }
  // Where the interface is plugged in, where the platform tells: a text that stays the same
  // while the device restarts under another identity on the same port, and differs between
  // devices present at once. False when it cannot tell.
  virtual bool Locate(const std::string& /*path*/, std::string& /*location*/) { return false; }
};

// The backend in force for the whole process: on Windows the platform's HID stack; natively
// none until a test, the simulator or the bridge installs one.
HidBackend& CurrentHidBackend();
void SetHidBackend(HidBackend* backend);  // nullptr restores the platform default

class ScopedHidBackend {
 public:
  explicit ScopedHidBackend(HidBackend& backend);
  ~ScopedHidBackend();
  ScopedHidBackend(const ScopedHidBackend&) = delete;
  ScopedHidBackend& operator=(const ScopedHidBackend&) = delete;

 private:
  HidBackend* m_previous;
};

// The platform's own backend (device/win32 on Windows, an empty bus elsewhere).
HidBackend& PlatformHidBackend();

}  // namespace qx80
