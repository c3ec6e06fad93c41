#include "cli/package_visit.h"

#include "cli/device_report.h"
#include "cli/package_report.h"

namespace qx80::cli {

PackageVisit::PackageVisit(const DeviceOptions& options)
    : m_options(options), m_link(options.speed, options.timeOuts) {}

bool PackageVisit::Open(std::ostream& err, Use use) {
  if (!LoadPackage(m_options, m_slots, m_package, err)) {
    return false;
  }
  if (use == Use::Write && !m_package.Sound()) {
    for (const std::string& problem : PackageProblems(m_package)) {
      err << "qx80: the package's " << problem << "\n";
    }
    err << "qx80: the package is refused; nothing was sent to the QX-80\n";
    return false;
  }
  if (!OpenDevice(m_link, m_options, err)) {
    return false;
  }
  if (m_link.Rig() != nullptr) {
    for (const auto& [selector, text] : m_options.simVersions) {
      for (size_t i = 0; i < m_link.Rig()->DeviceCount(); ++i) {
        m_link.Rig()->Device(i).SetVersion(selector, text);
      }
    }
  }
  return true;
}

}  // namespace qx80::cli
