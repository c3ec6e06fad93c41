#include "cli/package_visit.h"

namespace qx80::cli {

PackageVisit::PackageVisit(const DeviceOptions& options, Access access)
    : m_options(options), m_access(access), m_link(options.speed, options.timeOuts) {}

OpenFailure PackageVisit::Open(std::ostream& err) {
  if (!LoadPackage(m_options, m_slots, err)) {
    return OpenFailure::Package;
  }
  return OpenDevice(m_link, m_options, m_access, err);
}

}  // namespace qx80::cli
