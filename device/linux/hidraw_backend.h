#pragma once
// The Linux HID stack through hidraw: every /dev/hidrawN node, identified by the
// HIDIOCGRAWINFO ids and its report descriptor.
#include <string>

#include "device/hid_backend.h"

namespace qx80 {

class HidrawBackend final : public HidBackend {
 public:
  // The directories are parameters so that enumeration can be shown on a made-up tree.
  explicit HidrawBackend(std::string classDir = "/sys/class/hidraw", std::string deviceDir = "/dev");

  // The nodes in the order of their numbers; none when the kernel has no hidraw support.
  bool Enumerate(std::vector<std::string>& paths) override;
  std::unique_ptr<HidHandle> Open(const std::string& path) override;

 private:
  std::string m_classDir;
  std::string m_deviceDir;
};

}  // namespace qx80
