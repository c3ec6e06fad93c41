#include "device/linux/hidraw_backend.h"

#include <fcntl.h>
#include <linux/hidraw.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string_view>
#include <utility>

#include "device/linux/hid_report_descriptor.h"
#include "device/linux/hidraw_handle.h"

namespace qx80 {
namespace {

constexpr std::string_view kNodePrefix = "hidraw";

// The N of "hidrawN", or -1 for any other name.
long NodeNumber(const std::string& name) {
  if (name.size() <= kNodePrefix.size() || name.compare(0, kNodePrefix.size(), kNodePrefix) != 0 ||
      !std::all_of(name.begin() + kNodePrefix.size(), name.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return -1;
  }
  return std::strtol(name.c_str() + kNodePrefix.size(), nullptr, 10);
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
  HidReportLayout layout;
  if (ioctl(fd, HIDIOCGRDESC, &descriptor) < 0 ||
      !ParseReportDescriptor(std::span<const uint8_t>(descriptor.value, descriptor.size), layout)) {
    return false;
  }
  caps.vendorId = static_cast<uint16_t>(info.vendor);
  caps.productId = static_cast<uint16_t>(info.product);
  caps.inputReportLength = layout.inputReportLength;
  caps.outputReportLength = layout.outputReportLength;
  caps.featureReportLength = layout.featureReportLength;
  caps.firstOutputReportId = layout.firstOutputReportId;
  numberedReports = layout.numberedReports;
  return true;
}

}  // namespace

HidrawBackend::HidrawBackend(std::string classDir, std::string deviceDir)
    : m_classDir(std::move(classDir)), m_deviceDir(std::move(deviceDir)) {}

bool HidrawBackend::Enumerate(std::vector<std::string>& paths) {
  paths.clear();
  std::error_code error;
  std::filesystem::directory_iterator entries(m_classDir, error);
  if (error) {
    return error == std::errc::no_such_file_or_directory;
  }
  std::vector<std::pair<long, std::string>> nodes;
  for (const auto& entry : entries) {
    const std::string name = entry.path().filename().string();
    if (const long number = NodeNumber(name); number >= 0) {
      nodes.emplace_back(number, name);
    }
  }
  std::sort(nodes.begin(), nodes.end());
  for (const auto& [number, name] : nodes) {
    paths.push_back(m_deviceDir + "/" + name);
  }
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
