#include "cli/package_visit.h"

#include "cli/device_report.h"

namespace qx80::cli {

PackageVisit::PackageVisit(const DeviceOptions& options)
    : m_options(options), m_link(options.speed, options.timeOuts) {}

bool PackageVisit::Open(std::ostream& err) {
  return LoadPackage(m_options, m_slots, err) && OpenDevice(m_link, m_options, err);
}

}  // namespace qx80::cli
