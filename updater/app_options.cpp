#include "updater/app_options.h"

#include <sstream>
#include <vector>

#include "platform/command_line.h"

namespace qx80 {
namespace {

// The options, each with the field its value goes to; parsed by the tools' own parser.
struct AppOption {
  OptionRow row;
  std::string AppOptions::*field;
};
const AppOption kAppOptions[] = {
    {{"--device", "", "D", "the device's bus"}, &AppOptions::device},
    {{"--log", "", "FILE", "a transcript of the session"}, &AppOptions::log},
};

}  // namespace

bool ParseAppOptions(std::span<const std::string> args, AppOptions& options, std::string& error) {
  std::vector<const OptionRow*> rows;
  for (const AppOption& option : kAppOptions) {
    rows.push_back(&option.row);
  }
  ParsedArguments parsed;
  std::ostringstream err;
  if (!ParseArguments("qx80-updater", args, rows, parsed, err)) {
    error = err.str();
    if (!error.empty() && error.back() == '\n') {
      error.pop_back();
    }
    return false;
  }
  if (parsed.positional.size() > 1) {
    error = "qx80-updater: one package at most, not " + parsed.positional[0] + " and " + parsed.positional[1];
    return false;
  }
  for (const ParsedOption& given : parsed.options) {
    for (const AppOption& option : kAppOptions) {
      if (given.row == &option.row) {
        options.*option.field = given.value;
      }
    }
  }
  if (!parsed.positional.empty()) {
    options.package = parsed.positional[0];
  }
  return true;
}

}  // namespace qx80
