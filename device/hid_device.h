#pragma once
// CHidDevice: finds one HID interface by vendor id, product id and report lengths, opens
// it, and moves single fixed-size reports in both directions with time-outs. It knows
// nothing of the protocol carried in the reports.
//
// Report lengths given by callers count payload bytes (64 for the QX-80). The platform's
// lengths count the leading report-id byte as well (65).
//
// Threading: one thread may read while another writes; AbortRead may be called from any
// thread; Open and Close must not run concurrently with reads or writes.
#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "device/hid_backend.h"

namespace qx80 {

// One opened interface.
struct HidDeviceInfo {
  std::unique_ptr<HidHandle> handle;
  HidInterfaceCaps caps;
  std::vector<uint8_t> inputReport;   // platform input report: report-id byte, then payload
  std::vector<uint8_t> outputReport;  // platform output report
};

class CHidDevice {
 public:
  // Report lengths above this are refused before anything is enumerated.
  static constexpr int32_t kMaxReportLength = 256;

  CHidDevice() = default;
  ~CHidDevice() { Close(); }
  CHidDevice(const CHidDevice&) = delete;
  CHidDevice& operator=(const CHidDevice&) = delete;

  // Opens the index-th (from 0) interface that matches. Vendor and product id both 0 match
  // every interface that can be opened; otherwise ids and both platform report lengths must
  // match exactly, and a given length of 0 demands an interface without reports of that
  // kind. Returns null when nothing matches; nothing stays open then.
  HidDeviceInfo* Open(int32_t vendorId, int32_t productId, int32_t inputReportLength, int32_t outputReportLength,
                      int32_t index);
  // Safe to call twice, or when nothing is open.
  void Close();

  // Reads one input report and copies its payload (without the report-id byte) to
  // `destination`. -1 waits without limit. Returns 1 or 0; a read that timed out is
  // cancelled before returning.
  int ReadReport(uint8_t* destination, int32_t timeoutMs);
  // Writes one output report: the report id of the first output item, then the payload
  // from `source` (which must hold a full payload). Returns 1 or 0; a write that did not
  // complete within the time-out is cancelled.
  int WriteReport(const uint8_t* source, int32_t timeoutMs);
  // Refuses further reads and writes and releases a read blocked on another thread.
  void AbortRead();

  bool IsOpen() const { return m_open.load() == 1; }
  const HidDeviceInfo* Info() const { return m_device.get(); }

 private:
  bool Matches(const HidInterfaceCaps& caps) const;
  // Search pass: the enumeration index of the index-th match, or -1.
  int32_t FindInterface() const;
  // Open pass: opens the interface at the enumeration index the search returned.
  std::unique_ptr<HidDeviceInfo> OpenInterfaceAt(int32_t memberIndex) const;

  std::unique_ptr<HidDeviceInfo> m_device;
  int32_t m_vendorId = 0;
  int32_t m_productId = 0;
  int32_t m_inputReportLength = 0;
  int32_t m_outputReportLength = 0;
  int32_t m_index = 0;
  std::atomic<int32_t> m_open{0};
};

}  // namespace qx80
