#pragma once
// The package a device command compares with or writes: read, checked before anything is sent
// to the device, loaded into the slots, and its faults said in words.
#include <ostream>
#include <string>
#include <vector>

#include "cli/device_options.h"
#include "firmware/firm_slots.h"
#include "firmware/package_check.h"

namespace qx80::cli {

// Reads --package (or the carried package), checks it and loads it into `slots`. False with
// the reason on `err` when it cannot be read or holds no part the updater knows: missing, a
// folder, not a regular file, too large, empty, cut short, or no package at all.
bool LoadPackage(const DeviceOptions& options, FirmSlots& slots, PackageCheck& check, std::ostream& err);

// What is wrong with a package, one line each: every part that fails its check, and the bytes
// left after the last part; none for a sound package.
std::vector<std::string> PackageProblems(const PackageCheck& check);
// The bytes left after the last part and why ("120 bytes after the last part are not used: ...").
std::string DescribePackageRest(const PackageCheck& check);

}  // namespace qx80::cli
