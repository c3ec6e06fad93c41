#include "cli/device_report.h"

#include <algorithm>
#include <iomanip>

#include "cli/exit_codes.h"
#include "cli/remedies.h"
#include "cli/session_log.h"
#include "cli/text_output.h"
#include "firmware/firm_kind.h"
#include "link/device_choice.h"
#include "platform/visible_text.h"
#include "protocol/message.h"
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

void WriteVersion(JsonWriter& json, const std::u16string& version) {
  if (VersionRead(version)) {
    json.String(version);
  } else {
    json.Null();
  }
}

// A writer takes the device's lock where its place is known (DeviceLink::Lock). A lock that
// cannot be made is said and done without: it only guards against a second writer.
bool TakeDeviceLock(DeviceLink& link, const DeviceOptions& options, Access access, std::ostream& err) {
  if (access == Access::Read) {
    return true;
  }
  std::string error;
  switch (link.Lock(error)) {
    case DeviceLock::Status::Busy:
      err << "qx80: the QX-80 is in use by another program (qx80 update or qx80 command, or the updater "
             "application); it was left alone (--device "
          << options.device << ")\n";
      return false;
    case DeviceLock::Status::Failed:
      err << "qx80: cannot lock the QX-80 against a second writer (" << error << "); going on without the lock\n";
      return true;
    case DeviceLock::Status::Held:
      return true;
  }
  return true;
}

}  // namespace

int ExitStatusOf(OpenFailure failure) {
  switch (failure) {
    case OpenFailure::None:
      return EXIT_DONE;
    case OpenFailure::NotReached:
      return EXIT_FAILED;
    default:
      return EXIT_USAGE;
  }
}

const Remedy* RemedyOf(OpenFailure failure) {
  switch (failure) {
    case OpenFailure::NotReached:
      return RemedyFor(Situation::NotReached);
    case OpenFailure::NotChosen:
      return RemedyFor(Situation::SeveralDevices);
    case OpenFailure::InUse:
      return RemedyFor(Situation::InUse);
    default:
      return nullptr;
  }
}

int ExitBeforeStart(OpenFailure failure, std::ostream& err) {
  if (const Remedy* remedy = RemedyOf(failure)) {
    PrintRemedy(err, *remedy);
  }
  return ExitStatusOf(failure);
}

OpenFailure ReachDevice(DeviceLink& link, const DeviceOptions& options, Access access, std::ostream& err) {
  if (!link.Open(options.device, err)) {
    return OpenFailure::BadDevice;
  }
  if (!TakeDeviceLock(link, options, access, err)) {
    return OpenFailure::InUse;
  }
  std::string error;
  if (!link.Reach(error)) {
    err << "qx80: " << error << " (--device " << options.device << ")\n";
    return OpenFailure::NotReached;
  }
  return OpenFailure::None;
}

OpenFailure OpenDevice(DeviceLink& link, const DeviceOptions& options, Access access, std::ostream& err) {
  if (const OpenFailure failure = ReachDevice(link, options, access, err); failure != OpenFailure::None) {
    return failure;
  }
  std::string error;
  if (!link.Choose({.path = options.path, .index = options.index}, error)) {
    err << "qx80: " << error << " (--device " << options.device << ")\n";
    return OpenFailure::NotChosen;
  }
  if (!TakeDeviceLock(link, options, access, err)) {
    return OpenFailure::InUse;
  }
  return StartSessionLog(link, options, err) ? OpenFailure::None : OpenFailure::Log;
}

bool PrintOtherDevices(std::ostream& err, const DeviceLink& link) {
  const size_t others = link.Chosen() != nullptr ? link.Chosen()->OthersAppeared() : 0;
  if (others != 0) {
    err << "qx80: " << others << " other QX-80 appeared during the update; none was written\n";
  }
  return others != 0;
}

void PrintDeviceVersions(std::ostream& out, const CDeviceSession::Versions& device) {
  out << " ";
  for (size_t slot = 0; slot < kComponentSlots; ++slot) {
    out << " " << ComponentName(slot) << " " << (VersionRead(device[slot]) ? Printable(device[slot]) : "-");
  }
  out << "\n";
}

void WriteVersions(JsonWriter& json, const CDeviceSession::Versions& device) {
  json.BeginObject();
  for (size_t slot = 0; slot < kComponentSlots; ++slot) {
    WriteVersion(json.Key(ComponentName(slot)), device[slot]);
  }
  json.EndObject();
}

void WriteComponents(JsonWriter& json, const FirmSlots& slots, const CDeviceSession::Versions& device) {
  json.BeginArray();
  for (size_t slot = 0; slot < kComponentSlots; ++slot) {
    const int index = static_cast<int>(slot);
    json.BeginObject().Key("name").String(ComponentName(slot));
    WriteVersion(json.Key("device"), device[slot]);
    json.Key("package");
    if (slots.Data(index) != nullptr) {
      json.String(slots.Version(index));
    } else {
      json.Null();
    }
    json.EndObject();
  }
  json.EndArray();
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
  // Platform lengths count the report-id byte.
  const auto payload = [](uint16_t length) { return length == 0 ? 0 : length - 1; };
  for (const Qx80Lookalike& other : ListQx80Lookalikes(CurrentHidBackend())) {
    err << "qx80: the interface at " << VisibleText(other.path) << " has the QX-80's ids but "
        << payload(other.caps.inputReportLength) << "-byte input and " << payload(other.caps.outputReportLength)
        << "-byte output reports, not " << kReportSize << ": it is not taken for a QX-80\n";
  }
}

bool UpdateNeeded(int32_t mode, const FirmSlots& slots, const CDeviceSession::Versions& device) {
  return mode == DEVICE_MODE_UPDATE || IsUpdateNeeded(MakeVersionSlots(slots, device));
}

bool AnyVersionRead(const CDeviceSession::Versions& device) {
  return std::any_of(device.begin(), device.end(), VersionRead);
}

}  // namespace qx80::cli
