#include "cli/device_options.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <string_view>
#include <vector>

#include "cli/exit_codes.h"
#include "platform/command_line.h"
#include "platform/parse_number.h"
#include "platform/visible_text.h"

namespace qx80::cli {
namespace {

// One option of the device commands, and which commands take it (null: all of them).
struct DeviceOption {
  OptionEntry<DeviceOptions> entry;
  bool DeviceOptionSet::*accepted;
};

// In the order of the help texts.
const DeviceOption kDeviceOptions[] = {
    {{{"--help", "-h", "", "this text"},
      [](const std::string&, DeviceOptions& options, std::ostream&) { return options.help = true; }},
     nullptr},
    {{{"--yes", "-y", "",
       "go ahead without asking: update even when no update is needed;\n"
       "run a command that changes the QX-80"},
      [](const std::string&, DeviceOptions& options, std::ostream&) { return options.yes = true; }},
     &DeviceOptionSet::yes},
    {{{"--dry-run", "", "",
       "read the device and check the package, state the plan and rehearse the whole update\n"
       "against a simulated twin of the device; nothing that changes the device is sent"},
      [](const std::string&, DeviceOptions& options, std::ostream&) { return options.dryRun = true; }},
     &DeviceOptionSet::dryRun},
    {{{"--block", "", "HEX", "the block's first bytes before the command (spaces allowed)"},
      [](const std::string& value, DeviceOptions& options, std::ostream&) {
        options.block = value;
        return true;
      }},
     &DeviceOptionSet::block},
    {{{"--device", "", "usb|sim[:SCENARIO[:LINK]]|bridge:HOST:PORT",
       "the bus to use (default usb); sim runs a simulated QX-80 in this process"},
      [](const std::string& value, DeviceOptions& options, std::ostream&) {
        options.device = value;
        return true;
      }},
     nullptr},
    {{{"--package", "", "FILE", "the firmware package to compare with and write (default: the carried one)"},
      [](const std::string& value, DeviceOptions& options, std::ostream&) {
        options.package = value;
        return true;
      }},
     &DeviceOptionSet::package},
    {{{"--log", "", "FILE",
       "write a transcript of the session with the device into FILE\n"
       "(docs/transcripts.md; qx80-sim --replay FILE plays it back)"},
      [](const std::string& value, DeviceOptions& options, std::ostream& err) {
        if (value.empty()) {
          err << "qx80: --log needs a file name\n";
          return false;
        }
        options.log = value;
        return true;
      }},
     nullptr},
    {{{"--speed", "", "X",
       "run the clock X times faster than real time (simulated devices, tests);\n"
       "answers are still waited for in real time"},
      [](const std::string& value, DeviceOptions& options, std::ostream& err) {
        return ParseSpeedOption("qx80", value, options.speed, err);
      }},
     nullptr},
    {{{"--path", "", "P", "the QX-80 at path P, when several are present (qx80 list shows them)"},
      [](const std::string& value, DeviceOptions& options, std::ostream& err) {
        if (value.empty()) {
          err << "qx80: --path needs a path (qx80 list shows them)\n";
          return false;
        }
        options.path = value;
        return true;
      }},
     &DeviceOptionSet::choose},
    {{{"--index", "", "N", "the QX-80 with index N in qx80 list, when several are present"},
      [](const std::string& value, DeviceOptions& options, std::ostream& err) {
        if (!ParseWholeNumber(value, options.index) || options.index < 0) {
          err << "qx80: bad --index " << value << " (0 for the first QX-80 in qx80 list)\n";
          return false;
        }
        return true;
      }},
     &DeviceOptionSet::choose},
    {{{"--json", "", "", "print JSON instead of text (update: one object per line; docs/cli.md)"},
      [](const std::string&, DeviceOptions& options, std::ostream&) { return options.json = true; }},
     &DeviceOptionSet::json},
    {{{"--scale-time-outs", "", "", "with --speed, let the waits for answers run faster too (fault scenarios)"},
      [](const std::string&, DeviceOptions& options, std::ostream&) {
        options.timeOuts = Bounds::Scaled;
        return true;
      }},
     nullptr},
};

std::vector<OptionEntry<DeviceOptions>> AcceptedEntries(const DeviceOptionSet& accepted) {
  std::vector<OptionEntry<DeviceOptions>> entries;
  for (const DeviceOption& option : kDeviceOptions) {
    if (option.accepted == nullptr || accepted.*option.accepted) {
      entries.push_back(option.entry);
    }
  }
  return entries;
}

}  // namespace

std::optional<int> ParseDeviceCommand(const Command& command, const char* help, std::span<const std::string> args,
                                      const DeviceOptionSet& accepted, bool positional, DeviceOptions& options,
                                      std::ostream& out, std::ostream& err) {
  options.command = command.name;
  options.commandLine = CommandLineText(std::string("qx80 ") + command.name, args);
  bool usable = ParseDeviceOptions(args, accepted, options, err);
  if (usable && !positional && !options.positional.empty()) {
    err << "qx80: " << command.name << " takes no argument " << options.positional.front() << "\n";
    usable = false;
  }
  if (!usable) {
    err << "usage: qx80 " << command.name << " " << command.usage << "\n";
    return EXIT_USAGE;
  }
  if (!options.help) {
    return std::nullopt;
  }
  out << "usage: qx80 " << command.name << " " << command.usage << "\n\n" << help << "\n";
  PrintOptionHelp(out, OptionRows(AcceptedEntries(accepted)));
  return EXIT_DONE;
}

bool ParseDeviceOptions(std::span<const std::string> args, const DeviceOptionSet& accepted, DeviceOptions& options,
                        std::ostream& err) {
  if (!ParseOptions("qx80", args, AcceptedEntries(accepted), options, options.positional, err)) {
    return false;
  }
  if (!options.path.empty() && options.index >= 0) {
    err << "qx80: --path and --index both choose the QX-80; give one of them\n";
    return false;
  }
  return true;
}

}  // namespace qx80::cli
