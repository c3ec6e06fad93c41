#include "device/linux/hidraw_backend.h"

#include <fcntl.h>
#include <linux/hidraw.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <filesystem>
#include <string_view>
#include <utility>
#include <vector>

#include "device/linux/hid_report_descriptor.h"
#include "device/linux/hidraw_handle.h"
#include "platform/parse_number.h"

namespace qx80 {
namespace {

constexpr std::string_view kNodePrefix = "hidraw";
constexpr size_t kMaxUeventSize = 4096;

// The N of "hidrawN", or -1 for any other name.
long NodeNumber(const std::string& name) {
  long number = -1;
  if (!std::string_view(name).starts_with(kNodePrefix) ||
      !ParseWholeNumber(std::string_view(name).substr(kNodePrefix.size()), number) || number < 0) {
    return -1;
  }
  return number;
}

// The identity of an interface from its ids and report descriptor, read from the node or
// from sysfs alike.
bool MakeCaps(uint32_t vendor, uint32_t product, std::span<const uint8_t> descriptor, HidInterfaceCaps& caps,
              bool& numberedReports) {
  HidReportLayout layout;
  if (!ParseReportDescriptor(descriptor, layout)) {
    return false;
  }
  caps.vendorId = static_cast<uint16_t>(vendor);
  caps.productId = static_cast<uint16_t>(product);
  caps.inputReportLength = layout.inputReportLength;
  caps.outputReportLength = layout.outputReportLength;
  caps.featureReportLength = layout.featureReportLength;
  caps.firstOutputReportId = layout.firstOutputReportId;
  numberedReports = layout.numberedReports;
  return true;
}

bool ReadIdentity(int fd, HidInterfaceCaps& caps, bool& numberedReports) {
  hidraw_devinfo info{};
  int descriptorSize = 0;
  if (ioctl(fd, HIDIOCGRAWINFO, &info) < 0 || ioctl(fd, HIDIOCGRDESCSIZE, &descriptorSize) < 0 || descriptorSize < 0 ||
      descriptorSize > HID_MAX_DESCRIPTOR_SIZE) {
    return false;
  }
  hidraw_report_descriptor descriptor{};
  descriptor.size = static_cast<uint32_t>(descriptorSize);
  return ioctl(fd, HIDIOCGRDESC, &descriptor) >= 0 &&
         MakeCaps(static_cast<uint16_t>(info.vendor), static_cast<uint16_t>(info.product),
                  std::span<const uint8_t>(descriptor.value, descriptor.size), caps, numberedReports);
}

// At most `limit` bytes of a small file (sysfs attributes); false when it cannot be read or
// holds more.
bool ReadSmallFile(const std::string& path, size_t limit, std::vector<uint8_t>& bytes) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    return false;
  }
  bytes.resize(limit + 1);
  size_t filled = 0;
  ssize_t n = 0;
  while (filled < bytes.size() && (n = read(fd, bytes.data() + filled, bytes.size() - filled)) > 0) {
    filled += static_cast<size_t>(n);
  }
  close(fd);
  bytes.resize(filled);
  return n >= 0 && filled <= limit;
}

// "HID_ID=BBBB:VVVVVVVV:PPPPPPPP" of a HID device's uevent: bus, vendor and product in hex.
bool ParseHidId(std::string_view uevent, uint32_t& vendor, uint32_t& product) {
  constexpr std::string_view kKey = "HID_ID=";
  size_t at = 0;
  while (at < uevent.size() && uevent.compare(at, kKey.size(), kKey) != 0) {
    const size_t next = uevent.find('\n', at);
    at = next == std::string_view::npos ? uevent.size() : next + 1;
  }
  if (at >= uevent.size()) {
    return false;
  }
  // BUS:VENDOR:PRODUCT, each in hex digits alone.
  std::string_view line = uevent.substr(at + kKey.size(), uevent.find('\n', at) - at - kKey.size());
  uint32_t fields[3] = {};
  for (size_t i = 0; i < 3; ++i) {
    const size_t colon = i < 2 ? line.find(':') : line.size();
    if (colon == std::string_view::npos || colon == 0) {
      return false;
    }
    if (!ParseWholeNumber(line.substr(0, colon), fields[i], 16)) {
      return false;
    }
    line.remove_prefix(i < 2 ? colon + 1 : colon);
  }
  if (fields[1] > 0xFFFF || fields[2] > 0xFFFF) {
    return false;
  }
  vendor = fields[1];
  product = fields[2];
  return true;
}

// The name of the HID device instance a node belongs to ("0003:1F5E:2A01.0007"), the last
// component of its sysfs `device` link. The kernel numbers every device it adds anew, so a
// node that shows the same instance still has the identity read before.
std::string DeviceInstance(const std::string& link) {
  char target[256];
  const ssize_t n = readlink(link.c_str(), target, sizeof target);
  if (n <= 0 || static_cast<size_t>(n) >= sizeof target) {
    return {};
  }
  const std::string_view text(target, static_cast<size_t>(n));
  return std::string(text.substr(text.rfind('/') + 1));
}

}  // namespace

HidrawBackend::HidrawBackend(std::string classDir, std::string deviceDir)
    : m_classDir(std::move(classDir)), m_deviceDir(std::move(deviceDir)) {
  m_notify = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  constexpr uint32_t kNodeEvents = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_ONLYDIR;
  if (m_notify >= 0 && inotify_add_watch(m_notify, m_deviceDir.c_str(), kNodeEvents) < 0) {
    close(m_notify);
    m_notify = -1;
  }
}

HidrawBackend::~HidrawBackend() {
  if (m_notify >= 0) {
    close(m_notify);
  }
}

bool HidrawBackend::NodesMayHaveChanged() {
  bool changed = m_notify < 0;
  alignas(inotify_event) char buffer[4096];
  while (m_notify >= 0) {
    const ssize_t n = read(m_notify, buffer, sizeof buffer);
    if (n <= 0) {
      changed = changed || (n < 0 && errno != EAGAIN);
      break;
    }
    for (ssize_t at = 0; at < n;) {
      const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
      // Only hidraw nodes count; an overflow, or the directory itself going, leaves nothing
      // to trust, and from then on every search reads sysfs.
      if ((event->mask & (IN_Q_OVERFLOW | IN_IGNORED)) != 0) {
        close(m_notify);
        m_notify = -1;
        changed = true;
        break;
      }
      changed = changed || (event->len > 0 && NodeNumber(event->name) >= 0);
      at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
    }
  }
  return changed;
}

bool HidrawBackend::Identify(const std::string& path, HidInterfaceCaps& caps) {
  // Searches ask for every node on every poll: the answer from the current listing is found
  // without building a string.
  const std::string_view view(path);
  if (view.size() <= m_deviceDir.size() || view.compare(0, m_deviceDir.size(), m_deviceDir) != 0 ||
      view[m_deviceDir.size()] != '/') {
    return false;
  }
  const std::string_view nodeName = view.substr(m_deviceDir.size() + 1);
  std::lock_guard<std::mutex> lock(m_mutex);
  if (const auto found = m_known.find(nodeName); found != m_known.end()) {
    // Within one listing a node still belongs to the device its link named.
    if (m_listing != 0 && found->second.checked == m_listing) {
      caps = found->second.caps;
      return found->second.identified;
    }
  }
  const std::string name(nodeName);
  if (NodeNumber(name) < 0) {
    return false;
  }
  const std::string device = m_classDir + "/" + name + "/device";
  Known& known = m_known[name];
  known.checked = m_listing;
  const std::string instance = DeviceInstance(device);
  if (instance.empty()) {
    known.instance.clear();
    known.identified = false;
    return false;
  }
  if (known.instance != instance) {
    std::vector<uint8_t> uevent;
    std::vector<uint8_t> descriptor;
    uint32_t vendor = 0;
    uint32_t product = 0;
    bool numberedReports = false;
    known.instance = instance;
    known.identified =
        ReadSmallFile(device + "/uevent", kMaxUeventSize, uevent) &&
        ParseHidId(std::string_view(reinterpret_cast<const char*>(uevent.data()), uevent.size()), vendor, product) &&
        ReadSmallFile(device + "/report_descriptor", HID_MAX_DESCRIPTOR_SIZE, descriptor) &&
        MakeCaps(vendor, product, descriptor, known.caps, numberedReports);
  }
  caps = known.caps;
  return known.identified;
}

bool HidrawBackend::Locate(const std::string& path, std::string& location) {
  const std::string prefix = m_deviceDir + "/";
  if (path.compare(0, prefix.size(), prefix) != 0 || NodeNumber(path.substr(prefix.size())) < 0) {
    return false;
  }
  std::error_code error;
  // .../1-1.2/1-1.2:1.0/0003:1F5E:2A01.0007: the HID device, its USB interface, the USB device.
  const std::filesystem::path hid =
      std::filesystem::canonical(m_classDir + "/" + path.substr(prefix.size()) + "/device", error);
  if (error || !hid.has_parent_path() || !hid.parent_path().has_parent_path()) {
    return false;
  }
  location = hid.parent_path().parent_path().string();
  return true;
}

bool HidrawBackend::Enumerate(std::vector<std::string>& paths) {
  std::lock_guard<std::mutex> lock(m_mutex);
  const bool changed = NodesMayHaveChanged();
  if (!changed && !m_readAgain) {
    paths = m_paths;
    return true;
  }
  // The kernel takes a node out of /dev before its sysfs entry: after a change, read once more.
  m_readAgain = changed;
  paths.clear();
  m_paths.clear();
  std::error_code error;
  std::filesystem::directory_iterator entries(m_classDir, error);
  if (error) {
    m_readAgain = true;
    return error == std::errc::no_such_file_or_directory;
  }
  ++m_listing;
  std::vector<std::pair<long, std::string>> nodes;
  for (const auto& entry : entries) {
    const std::string name = entry.path().filename().string();
    if (const long number = NodeNumber(name); number >= 0) {
      nodes.emplace_back(number, name);
    }
  }
  std::sort(nodes.begin(), nodes.end());
  for (const auto& [number, name] : nodes) {
    m_paths.push_back(m_deviceDir + "/" + name);
  }
  paths = m_paths;
  // Identities of nodes that have gone are forgotten.
  std::erase_if(m_known, [&nodes](const auto& entry) {
    return std::none_of(nodes.begin(), nodes.end(), [&entry](const auto& node) { return node.second == entry.first; });
  });
  return true;
}

std::unique_ptr<HidHandle> HidrawBackend::Open(const std::string& path) {
  const int fd = open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    return nullptr;
  }
  HidInterfaceCaps caps;
  bool numberedReports = false;
  if (!ReadIdentity(fd, caps, numberedReports)) {
    close(fd);
    return nullptr;
  }
  return MakeHidrawHandle(fd, caps, numberedReports);
}

}  // namespace qx80
