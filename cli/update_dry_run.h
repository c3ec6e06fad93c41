#pragma once
// qx80 update --dry-run: everything up to the first byte that would change the QX-80. It reads
// the device's mode and versions, checks the package, states the plan, rehearses the whole
// update against a simulated twin of the device in this process, and says what it expects.
#include <cstdint>
#include <ostream>
#include <string>

#include "cli/device_options.h"

namespace qx80::cli {

// The update itself once its options are parsed (cmd_update.cpp); the dry run rehearses with it.
int UpdateDevice(const DeviceOptions& options, std::ostream& out, std::ostream& err);

// The dry run of `options` (an update's). Its exit status: 0 when the rehearsal confirmed the
// update, 1 when no QX-80 was found or the rehearsal did not end confirmed, 2 as for update.
int RunDryRun(const DeviceOptions& options, std::ostream& out, std::ostream& err);

}  // namespace qx80::cli
