#pragma once
// The platform's HID stack: interfaces listed through the device-setup API under the HID
// interface class, opened with CreateFileW and described by the HID parser.
#include "device/hid_backend.h"

namespace qx80 {

class Win32HidBackend final : public HidBackend {
 public:
  // The device paths of the present HID interfaces, in the platform's enumeration order.
  bool Enumerate(std::vector<std::string>& paths) override;
  // Opens the path for overlapped reading and writing, shared with other openers, and reads
  // its ids, report lengths and the report id of its first output item.
  std::unique_ptr<HidHandle> Open(const std::string& path) override;
};

}  // namespace qx80
