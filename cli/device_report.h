#pragma once
// What the device commands share: the package to compare with, and how the device and its
// versions are shown.
#include <ostream>
#include <string>

#include "cli/device_options.h"
#include "firmware/firm_slots.h"
#include "updater/core/device_session.h"

namespace qx80::cli {

constexpr int EXIT_DONE = 0;
constexpr int EXIT_FAILED = 1;

// Loads --package, or the carried package; false with a message on `err`.
bool LoadPackage(const DeviceOptions& options, FirmSlots& slots, std::ostream& err);
const char* DeviceModeName(int32_t mode);
// One line per component that the package or the device has: its name, the device's version
// and the package's.
void PrintVersions(std::ostream& out, const FirmSlots& slots, const CDeviceSession::Versions& device);
// "No QX-80 found" with the bus named.
void PrintNoDevice(std::ostream& err, const DeviceOptions& options);
// Whether the device gave at least one version.
bool AnyVersionRead(const CDeviceSession::Versions& device);

// What a device found in its update mode needs, in the words of every command.
constexpr const char* kLeftInUpdateMode = "the QX-80 is left in update mode; run qx80 update again to finish";

}  // namespace qx80::cli
