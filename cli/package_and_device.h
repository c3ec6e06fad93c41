#pragma once
// What `qx80 status` and `qx80 update` work with: the package, loaded and checked, and the
// chosen QX-80, its bus open and a device session that has looked for it once.
#include <cstdint>
#include <ostream>

#include "cli/device_options.h"
#include "cli/device_report.h"
#include "cli/session_loop.h"
#include "firmware/firm_slots.h"
#include "firmware/package_check.h"
#include "link/device_link.h"

namespace qx80::cli {

class PackageAndDevice {
 public:
  PackageAndDevice(const DeviceOptions& options, Access access);
  PackageAndDevice(const PackageAndDevice&) = delete;
  PackageAndDevice& operator=(const PackageAndDevice&) = delete;

  // Loads and checks the package, then opens the device (OpenDevice); the reason on `err` when
  // either fails. A package to be written (Access::Write) must be sound (every part passes its
  // check, every byte is used): otherwise its faults are named and the bus is never opened.
  OpenFailure Open(std::ostream& err);
  // Starts the session and waits for the watcher's first report: the mode found (0 when no
  // QX-80 is present).
  int32_t WaitForDevice() { return m_loop.WaitForDevice(); }

  const FirmSlots& Slots() const { return m_slots; }
  const PackageCheck& Package() const { return m_package; }
  DeviceLink& Link() { return m_link; }
  SessionLoop& Loop() { return m_loop; }
  CDeviceSession& Session() { return m_loop.Session(); }

 private:
  const DeviceOptions& m_options;
  const Access m_access;
  FirmSlots m_slots;
  PackageCheck m_package;
  // The link outlives the loop: the session's threads end before the bus goes.
  DeviceLink m_link;
  SessionLoop m_loop;
};

}  // namespace qx80::cli
