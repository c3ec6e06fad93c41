#include "cli/package_and_device.h"

#include "cli/device_report.h"
#include "cli/package_report.h"

namespace qx80::cli {

PackageAndDevice::PackageAndDevice(const DeviceOptions& options, Access access)
    : m_options(options), m_access(access), m_link(options.speed, options.timeOuts) {}

OpenFailure PackageAndDevice::Open(std::ostream& err) {
  if (!LoadPackage(m_options, m_slots, m_package, err)) {
    return OpenFailure::Package;
  }
  if (m_access == Access::Write && !m_package.Sound()) {
    for (const std::string& problem : PackageProblems(m_package)) {
      err << "qx80: the package's " << problem << "\n";
    }
    err << "qx80: the package is refused; nothing was sent to the QX-80\n";
    return OpenFailure::Package;
  }
  if (const OpenFailure failure = OpenDevice(m_link, m_options, m_access, err); failure != OpenFailure::None) {
    return failure;
  }
  if (m_link.Rig() != nullptr) {
    for (const auto& [selector, text] : m_options.simVersions) {
      for (size_t i = 0; i < m_link.Rig()->DeviceCount(); ++i) {
        m_link.Rig()->Device(i).SetVersion(selector, text);
      }
    }
  }
  return OpenFailure::None;
}

}  // namespace qx80::cli
