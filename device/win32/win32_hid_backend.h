#pragma once
// The platform's HID stack: interfaces listed through the device-setup API under the HID
// interface class, opened with CreateFileW and described by the HID parser.
#include <windows.h>
// After windows.h, which it builds on.
#include <setupapi.h>

#include "device/hid_backend.h"

namespace qx80 {

class Win32HidBackend : public HidBackend {
 public:
  // The device paths of the present HID interfaces, in the platform's enumeration order.
  // An interface whose path cannot be read (it is going away, or its driver misbehaves) is
  // left out, and so is the rest of the set when the enumeration itself breaks off: the
  // interfaces gathered so far are still reported, so one bad member never hides the
  // device. False only when the platform gives no interface set at all, or fails before
  // its first member.
  bool Enumerate(std::vector<std::string>& paths) override;
  // Opens the path for overlapped reading and writing, shared with other openers, and reads
  // its ids, report lengths and the report id of its first output item.
  std::unique_ptr<HidHandle> Open(const std::string& path) override;

 protected:
  // The device path of one member of the interface set; false when its detail cannot be
  // read. Virtual so that a test can make a member unreadable.
  virtual bool ReadMemberPath(HDEVINFO set, SP_DEVICE_INTERFACE_DATA& member, DWORD memberIndex, std::string& path);
};

}  // namespace qx80
