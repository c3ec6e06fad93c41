#pragma once
// What the device commands share: the package to compare with, and how the device and its
// versions are shown.
#include <ostream>
#include <string>

#include "cli/device_options.h"
#include "cli/json_writer.h"
#include "cli/remedies.h"
#include "firmware/firm_slots.h"
#include "link/device_link.h"
#include "session/device_session.h"

namespace qx80::cli {

// Whether a command writes to the device: a writer holds the device's lock while it runs,
// so that a second writer on the same QX-80 is refused (DeviceLink::Lock).
enum class Access { Read, Write };

// Why a device command ends before it begins; None when it can begin.
enum class OpenFailure {
  None,
  Package,     // the package cannot be loaded
  BadDevice,   // --device names no bus
  NotReached,  // the bridge's server cannot be reached or serves another client
  NotChosen,   // the choice names no QX-80, or several are present and none is chosen
  InUse,       // another program holds the device's lock
  Log,         // the transcript cannot be started
};
// EXIT_FAILED for a device not reached, as for no device; EXIT_USAGE for the others.
int ExitStatusOf(OpenFailure failure);
// What to do next, where the message alone does not say it; null elsewhere.
const Remedy* RemedyOf(OpenFailure failure);
// A command that ends before it begins: its remedy on `err`, where it has one; the exit status.
int ExitBeforeStart(OpenFailure failure, std::ostream& err);

// Opens the bus of --device and checks that it can be reached; a writer takes the lock
// first where the device's place is known already (the bridge's). The reason on `err`.
OpenFailure ReachDevice(DeviceLink& link, const DeviceOptions& options, Access access, std::ostream& err);
// ReachDevice, then chooses the QX-80 of --path or --index, or the only one, a writer takes
// its lock, and the transcript of --log starts. The reason on `err` (without the remedy).
OpenFailure OpenDevice(DeviceLink& link, const DeviceOptions& options, Access access, std::ostream& err);
// After an update: says on `err` when other QX-80 appeared meanwhile (they were left alone);
// true when any did.
bool PrintOtherDevices(std::ostream& err, const DeviceLink& link);

// The device's versions on one line: "TIPA 2.05  UAMC 2.05 ...", "-" for one not read.
void PrintDeviceVersions(std::ostream& out, const CDeviceSession::Versions& device);
// {"TIPA": "2.05", ...}: every component, null for a version not read.
void WriteVersions(JsonWriter& json, const CDeviceSession::Versions& device);
// [{"name": "TIPA", "device": "2.05", "package": "2.09"}, ...]: every component, null where
// the device gave no version or the package has no part.
void WriteComponents(JsonWriter& json, const FirmSlots& slots, const CDeviceSession::Versions& device);
// One line per component that the package or the device has: its name, the device's version
// and the package's.
void PrintVersions(std::ostream& out, const FirmSlots& slots, const CDeviceSession::Versions& device);
// "No QX-80 found" with the bus named, and every interface on it that has the QX-80's ids but
// not its reports.
void PrintNoDevice(std::ostream& err, const DeviceOptions& options);
// Whether the device gave at least one version.
bool AnyVersionRead(const CDeviceSession::Versions& device);

// Whether the device should be written with the package. A device in its update mode always
// should: it has no working firmware until an update finishes, whatever versions it reports.
// In normal mode the application's rule decides (IsUpdateNeeded).
bool UpdateNeeded(int32_t mode, const FirmSlots& slots, const CDeviceSession::Versions& device);

// What a device found in its update mode needs, in the words of every command.
constexpr const char* kLeftInUpdateMode = "the QX-80 is left in update mode; run qx80 update again to finish";

}  // namespace qx80::cli
