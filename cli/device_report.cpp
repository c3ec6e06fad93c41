#include "cli/device_report.h"

#include <algorithm>
#include <iomanip>
#include <iterator>

#include "cli/remedies.h"
#include "cli/session_log.h"
#include "cli/text_output.h"
#include "firmware/firm_kind.h"
#include "protocol/protocol_result.h"

namespace qx80::cli {
namespace {

// Component slots are the kinds 0 to 4.
const char* ComponentName(size_t slot) {
  return FirmKindName(static_cast<FirmKind>(slot));
}

std::string Shown(const std::u16string& text) {
  return text.empty() ? "-" : Printable(text);
}

bool VersionRead(const std::u16string& version) {
  return !version.empty() && version != kVersionUnavailable;
}

std::string JsonVersion(const std::u16string& version) {
  return VersionRead(version) ? JsonString(version) : "null";
}

// How each mode is shown: a word in JSON, a name in text. Any mode but the two present ones
// shows as the last row.
struct ModeText {
  int32_t mode;
  const char* word;
  const char* name;
};
constexpr ModeText kModeTexts[] = {
    {DEVICE_MODE_NORMAL, "normal", "normal mode"},
    {DEVICE_MODE_UPDATE, "update", "update mode"},
    {DEVICE_MODE_ABSENT, "absent", "absent"},
};

const ModeText& ModeTextOf(int32_t mode) {
  for (const ModeText& text : kModeTexts) {
    if (text.mode == mode) {
      return text;
    }
  }
  return kModeTexts[std::size(kModeTexts) - 1];
}

}  // namespace

bool ReachDevice(DeviceLink& link, const DeviceOptions& options, std::ostream& err) {
  if (!link.Open(options.device, err)) {
    return false;
  }
  std::string error;
  if (!link.Reach(error)) {
    err << "qx80: " << error << " (--device " << options.device << ")\n";
    return false;
  }
  return true;
}

bool OpenDevice(DeviceLink& link, const DeviceOptions& options, std::ostream& err) {
  if (!ReachDevice(link, options, err)) {
    return false;
  }
  std::string error;
  if (!link.Choose({.path = options.path, .index = options.index}, error)) {
    err << "qx80: " << error << " (--device " << options.device << ")\n";
    PrintRemedy(err, *RemedyFor(Situation::SeveralDevices));
    return false;
  }
  return StartSessionLog(link, options, err);
}

bool PrintOtherDevices(std::ostream& err, const DeviceLink& link) {
  const size_t others = link.Chosen() != nullptr ? link.Chosen()->OthersAppeared() : 0;
  if (others != 0) {
    err << "qx80: " << others << " other QX-80 appeared during the update; none was written\n";
  }
  return others != 0;
}

const char* DeviceModeWord(int32_t mode) {
  return ModeTextOf(mode).word;
}

void PrintDeviceVersions(std::ostream& out, const CDeviceSession::Versions& device) {
  out << " ";
  for (size_t slot = 0; slot < kComponentSlots; ++slot) {
    out << " " << ComponentName(slot) << " " << (VersionRead(device[slot]) ? Printable(device[slot]) : "-");
  }
  out << "\n";
}

std::string JsonVersions(const CDeviceSession::Versions& device) {
  std::string out = "{";
  for (size_t slot = 0; slot < kComponentSlots; ++slot) {
    out += (slot == 0 ? "\"" : ", \"") + std::string(ComponentName(slot)) + "\": " + JsonVersion(device[slot]);
  }
  return out + "}";
}

std::string JsonComponents(const FirmSlots& slots, const CDeviceSession::Versions& device) {
  std::string out = "[";
  for (size_t slot = 0; slot < kComponentSlots; ++slot) {
    const int index = static_cast<int>(slot);
    out += std::string(slot == 0 ? "" : ", ") + "{\"name\": \"" + ComponentName(slot) +
           "\", \"device\": " + JsonVersion(device[slot]) +
           ", \"package\": " + (slots.Data(index) != nullptr ? JsonString(slots.Version(index)) : "null") + "}";
  }
  return out + "]";
}

const char* DeviceModeName(int32_t mode) {
  return ModeTextOf(mode).name;
}

void PrintVersions(std::ostream& out, const FirmSlots& slots, const CDeviceSession::Versions& device) {
  out << "  component  device  package\n";
  for (size_t slot = 0; slot < kComponentSlots; ++slot) {
    const std::u16string& image = slots.Version(static_cast<int>(slot));
    if (slots.Data(static_cast<int>(slot)) == nullptr && device[slot].empty()) {
      continue;
    }
    // A part in its slot without a version text failed its check.
    const char* package = slots.Data(static_cast<int>(slot)) == nullptr ? "-" : image.empty() ? "damaged" : nullptr;
    out << "  " << std::left << std::setw(9) << ComponentName(slot) << "  " << std::setw(6) << Shown(device[slot])
        << "  " << (package != nullptr ? package : Printable(image)) << "\n";
  }
}

void PrintNoDevice(std::ostream& err, const DeviceOptions& options) {
  err << "qx80: no QX-80 found (--device " << options.device << ")\n";
}

bool UpdateNeeded(int32_t mode, const FirmSlots& slots, const CDeviceSession::Versions& device) {
  return mode == DEVICE_MODE_UPDATE || IsUpdateNeeded(MakeVersionSlots(slots, device));
}

bool AnyVersionRead(const CDeviceSession::Versions& device) {
  return std::any_of(device.begin(), device.end(), VersionRead);
}

}  // namespace qx80::cli
