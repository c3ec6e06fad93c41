#include "cli/device_report.h"

#include <algorithm>
#include <iomanip>

#include "cli/args.h"
#include "cli/text_output.h"

namespace qx80::cli {
namespace {

constexpr const char* kComponentNames[kComponentSlots] = {"TIPA", "UAMC", "FWUP", "FQI", "AGPF"};

std::string Shown(const std::u16string& text) {
  return text.empty() ? "-" : Utf8(text);
}

}  // namespace

bool LoadPackage(const DeviceOptions& options, FirmSlots& slots, std::ostream& err) {
  if (options.package.empty()) {
    if (slots.LoadCarriedFirmware() == 0) {
      err << "qx80: this build carries no firmware package; give one with --package FILE\n";
      return false;
    }
    return true;
  }
  if (slots.LoadFirmFile(PathFromArgument(options.package)) == 0) {
    err << "qx80: cannot load a firmware package from " << options.package << "\n";
    return false;
  }
  return true;
}

const char* DeviceModeName(int32_t mode) {
  switch (mode) {
    case DEVICE_MODE_NORMAL:
      return "normal mode";
    case DEVICE_MODE_UPDATE:
      return "update mode";
    default:
      return "absent";
  }
}

void PrintVersions(std::ostream& out, const FirmSlots& slots, const CDeviceSession::Versions& device) {
  out << "  component  device  package\n";
  for (size_t slot = 0; slot < kComponentSlots; ++slot) {
    const std::u16string& image = slots.Version(static_cast<int>(slot));
    if (slots.Data(static_cast<int>(slot)) == nullptr && device[slot].empty()) {
      continue;
    }
    out << "  " << std::left << std::setw(9) << kComponentNames[slot] << "  " << std::setw(6) << Shown(device[slot])
        << "  " << Shown(slots.Data(static_cast<int>(slot)) != nullptr ? image : u"") << "\n";
  }
}

void PrintNoDevice(std::ostream& err, const DeviceOptions& options) {
  err << "qx80: no QX-80 found (--device " << options.device << ")\n";
}

bool AnyVersionRead(const CDeviceSession::Versions& device) {
  return std::any_of(device.begin(), device.end(),
                     [](const std::u16string& version) { return !version.empty() && version != kVersionUnavailable; });
}

}  // namespace qx80::cli
