#include "cli/session_log.h"

#include "cli/args.h"

namespace qx80::cli {

bool StartSessionLog(DeviceLink& link, const DeviceOptions& options, std::ostream& err) {
  if (options.log.empty() || link.Record(PathFromArgument(options.log), options.commandLine)) {
    return true;
  }
  err << "qx80: cannot write the transcript " << options.log << "\n";
  return false;
}

}  // namespace qx80::cli
