#pragma once
// The options the device commands share, and their parsing.
#include <cstdint>
#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "cli/commands.h"
#include "platform/clock.h"

namespace qx80::cli {

struct DeviceOptions {
  std::string device = "usb";
  std::string package;             // empty: the carried package
  double speed = 1.0;              // clock speed-up (simulated devices and tests)
  Bounds timeOuts = Bounds::Real;  // whether the speed-up shortens the waits for answers too
  bool yes = false;                // update without asking
  bool dryRun = false;             // update: everything up to the first byte that changes the device
  std::string block;               // hex bytes of the parameter block (command)
  std::string path;                // the chosen QX-80's path (--path); empty: none chosen
  int64_t index = -1;              // the chosen QX-80's index in qx80 list (--index); -1: none
  bool json = false;               // print JSON
  std::string log;                 // where to write the session's transcript; empty: none
  std::string command;             // the command's name, as it was parsed for
  std::string commandLine;         // the whole command line, as a shell would take it back
  std::vector<std::string> positional;
  bool help = false;
  // Version texts by selector that a simulated QX-80 reports instead of its scenario's (the
  // dry run's twin of a real device); not an option of the command line.
  std::vector<std::pair<uint8_t, std::string>> simVersions;
};

// Which options a command takes besides --device and --speed.
struct DeviceOptionSet {
  bool package = false;
  bool yes = false;
  bool block = false;
  bool choose = false;  // --path and --index
  bool json = false;
  bool dryRun = false;
};

// Parses `args`; false with a message on `err` for an unknown or incomplete option.
bool ParseDeviceOptions(std::span<const std::string> args, const DeviceOptionSet& accepted, DeviceOptions& options,
                        std::ostream& err);

// Parses a device command's arguments. Returns the exit status when the command ends here:
// bad arguments (the usage on `err`) or --help (the command's help and the options it takes
// on `out`); nothing when it should run. A command without `positional` arguments refuses any.
std::optional<int> ParseDeviceCommand(const Command& command, const char* help, std::span<const std::string> args,
                                      const DeviceOptionSet& accepted, bool positional, DeviceOptions& options,
                                      std::ostream& out, std::ostream& err);

}  // namespace qx80::cli
