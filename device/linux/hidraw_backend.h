#pragma once
// The Linux HID stack through hidraw: every /dev/hidrawN node, identified by the
// HIDIOCGRAWINFO ids and its report descriptor once open. Searches learn the same identity
// from sysfs (the HID device's uevent and report_descriptor) without opening anything, and
// read it once per device the kernel adds, so a watcher polling the bus leaves other
// devices alone.
//
// A quiet bus costs next to nothing: the backend watches the device directory with inotify,
// and while no hidraw node has come or gone there it answers a search from what it last read,
// without listing sysfs or following a single link. The kernel creates a
// node in /dev after its sysfs entry and removes it before, so the listing after a change is
// read twice: once at the change and once more at the next search. Without inotify every
// search reads sysfs afresh.
#include <map>
#include <mutex>
#include <string>

#include "device/hid_backend.h"

namespace qx80 {

class HidrawBackend final : public HidBackend {
 public:
  // The directories are parameters so that enumeration can be shown on a made-up tree.
  explicit HidrawBackend(std::string classDir = "/sys/class/hidraw", std::string deviceDir = "/dev");
  ~HidrawBackend() override;
  HidrawBackend(const HidrawBackend&) = delete;
  HidrawBackend& operator=(const HidrawBackend&) = delete;

  // The nodes in the order of their numbers; none when the kernel has no hidraw support.
  bool Enumerate(std::vector<std::string>& paths) override;
  std::unique_ptr<HidHandle> Open(const std::string& path) override;
  // From m_classDir/hidrawN/device/{uevent,report_descriptor}; false for a path outside the
  // device directory or a node sysfs does not describe.
  bool Identify(const std::string& path, HidInterfaceCaps& caps) override;
  // The sysfs directory of the USB device above the node's HID device: it is named for the
  // port (".../usb1/1-1/1-1.2"), so a device that restarts in another mode keeps it.
  bool Locate(const std::string& path, std::string& location) override;

 private:
  // What sysfs said of one node, while its device link names the same instance.
  struct Known {
    std::string instance;
    bool identified = false;
    HidInterfaceCaps caps;
    uint64_t checked = 0;  // the listing during which the device link was last followed
  };

  // Whether a hidraw node may have come or gone since the last call; true without inotify.
  bool NodesMayHaveChanged();

  std::string m_classDir;
  std::string m_deviceDir;
  std::mutex m_mutex;                                 // searches run on the watcher's and the caller's threads
  std::map<std::string, Known, std::less<>> m_known;  // by node name
  int m_notify = -1;                                  // inotify on the device directory, or -1
  uint64_t m_listing = 0;                             // counts the listings read; 0 before the first
  bool m_readAgain = true;                            // the next search lists sysfs whatever inotify says
  std::vector<std::string> m_paths;                   // the last listing
};

}  // namespace qx80
