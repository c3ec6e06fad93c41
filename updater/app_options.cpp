#include "updater/app_options.h"

#include <sstream>
#include <vector>

#include "platform/command_line.h"

namespace qx80 {
namespace {

// Each value is kept as given: the device's words are checked when its bus is set up.
const OptionEntry<AppOptions> kAppOptions[] = {
    {{"--device", "", "D", "the device's bus"},
     [](const std::string& value, AppOptions& options, std::ostream&) {
       options.device = value;
       return true;
     }},
    {{"--log", "", "FILE", "a transcript of the session"},
     [](const std::string& value, AppOptions& options, std::ostream&) {
       options.log = value;
       return true;
     }},
};

}  // namespace

bool ParseAppOptions(std::span<const std::string> args, AppOptions& options, std::string& error) {
  std::vector<std::string> positional;
  std::ostringstream err;
  if (!ParseOptions("qx80-updater", args, kAppOptions, options, positional, err)) {
    error = err.str();
    if (!error.empty() && error.back() == '\n') {
      error.pop_back();
    }
    return false;
  }
  if (positional.size() > 1) {
    error = "qx80-updater: one package at most, not " + positional[0] + " and " + positional[1];
    return false;
  }
  if (!positional.empty()) {
    options.package = positional[0];
  }
  return true;
}

}  // namespace qx80
