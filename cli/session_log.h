#pragma once
// The transcript a device command writes with --log.
#include <ostream>

#include "cli/device_options.h"
#include "updater/core/device_link.h"

namespace qx80::cli {

// With --log, starts the transcript of the session on the bus the link has open (after the
// choice of the device, so that only the chosen one is recorded); nothing without it. False
// with a message on `err` when the file cannot be written.
bool StartSessionLog(DeviceLink& link, const DeviceOptions& options, std::ostream& err);

}  // namespace qx80::cli
