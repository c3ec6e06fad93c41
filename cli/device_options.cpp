#include "cli/device_options.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <string_view>
#include <vector>

#include "platform/command_line.h"
#include "platform/parse_number.h"
#include "platform/visible_text.h"

namespace qx80::cli {
namespace {

// One option of the device commands: what it looks like, which commands take it (null: all
// of them), and what its value does to the options.
struct DeviceOption {
  OptionRow row;
  bool DeviceOptionSet::*accepted;
  bool (*apply)(const std::string& value, DeviceOptions& options, std::ostream& err);
};

// In the order of the help texts.
const DeviceOption kDeviceOptions[] = {
    {{"--help", "-h", "", "this text"},
     nullptr,
     [](const std::string&, DeviceOptions& options, std::ostream&) { return options.help = true; }},
    {{"--yes", "-y", "",
      "go ahead without asking: update even when no update is needed;\n"
      "run a command that changes the QX-80"},
     &DeviceOptionSet::yes,
     [](const std::string&, DeviceOptions& options, std::ostream&) { return options.yes = true; }},
    {{"--dry-run", "", "",
      "read the device and check the package, state the plan and rehearse the whole update\n"
      "against a simulated twin of the device; nothing that changes the device is sent"},
     &DeviceOptionSet::dryRun,
     [](const std::string&, DeviceOptions& options, std::ostream&) { return options.dryRun = true; }},
    {{"--block", "", "HEX", "the block's first bytes before the command (spaces allowed)"},
     &DeviceOptionSet::block,
     [](const std::string& value, DeviceOptions& options, std::ostream&) {
       options.block = value;
       return true;
     }},
    {{"--device", "", "usb|sim[:SCENARIO[:LINK]]|bridge:HOST:PORT",
      "the bus to use (default usb); sim runs a simulated QX-80 in this process"},
     nullptr,
     [](const std::string& value, DeviceOptions& options, std::ostream&) {
       options.device = value;
       return true;
     }},
    {{"--package", "", "FILE", "the firmware package to compare with and write (default: the carried one)"},
     &DeviceOptionSet::package,
     [](const std::string& value, DeviceOptions& options, std::ostream&) {
       options.package = value;
       return true;
     }},
    {{"--log", "", "FILE",
      "write a transcript of the session with the device into FILE\n"
      "(docs/transcripts.md; qx80-sim --replay FILE plays it back)"},
     nullptr,
     [](const std::string& value, DeviceOptions& options, std::ostream& err) {
       if (value.empty()) {
         err << "qx80: --log needs a file name\n";
         return false;
       }
       options.log = value;
       return true;
     }},
    {{"--speed", "", "X",
      "run the clock X times faster than real time (simulated devices, tests);\n"
      "answers are still waited for in real time"},
     nullptr,
     [](const std::string& value, DeviceOptions& options, std::ostream& err) {
       if (!ParseClockSpeed(value, options.speed)) {
         err << "qx80: bad --speed " << value << " (from " << kSlowestClockSpeedup << " to " << kFastestClockSpeedup
             << ")\n";
         return false;
       }
       return true;
     }},
    {{"--path", "", "P", "the QX-80 at path P, when several are present (qx80 list shows them)"},
     &DeviceOptionSet::choose,
     [](const std::string& value, DeviceOptions& options, std::ostream& err) {
       if (value.empty()) {
         err << "qx80: --path needs a path (qx80 list shows them)\n";
         return false;
       }
       options.path = value;
       return true;
     }},
    {{"--index", "", "N", "the QX-80 with index N in qx80 list, when several are present"},
     &DeviceOptionSet::choose,
     [](const std::string& value, DeviceOptions& options, std::ostream& err) {
       if (!ParseWholeNumber(value, options.index) || options.index < 0) {
         err << "qx80: bad --index " << value << " (0 for the first QX-80 in qx80 list)\n";
         return false;
       }
       return true;
     }},
    {{"--json", "", "", "print JSON instead of text (update: one object per line; docs/cli.md)"},
     &DeviceOptionSet::json,
     [](const std::string&, DeviceOptions& options, std::ostream&) { return options.json = true; }},
    {{"--scale-time-outs", "", "", "with --speed, let the waits for answers run faster too (fault scenarios)"},
     nullptr,
     [](const std::string&, DeviceOptions& options, std::ostream&) {
       options.timeOuts = Bounds::Scaled;
       return true;
     }},
};

std::vector<const OptionRow*> AcceptedRows(const DeviceOptionSet& accepted) {
  std::vector<const OptionRow*> rows;
  for (const DeviceOption& option : kDeviceOptions) {
    if (option.accepted == nullptr || accepted.*option.accepted) {
      rows.push_back(&option.row);
    }
  }
  return rows;
}

const DeviceOption& OptionOf(const OptionRow* row) {
  for (const DeviceOption& option : kDeviceOptions) {
    if (&option.row == row) {
      return option;
    }
  }
  return kDeviceOptions[0];  // never: every row parsed comes from the table
}

}  // namespace

std::optional<int> ParseDeviceCommand(const Command& command, const char* help, std::span<const std::string> args,
                                      const DeviceOptionSet& accepted, bool positional, DeviceOptions& options,
                                      std::ostream& out, std::ostream& err) {
  options.command = command.name;
  options.commandLine = CommandLineText(std::string("qx80 ") + command.name, args);
  if (!ParseDeviceOptions(args, accepted, options, err) || (!positional && !options.positional.empty())) {
    if (!positional && !options.positional.empty()) {
      err << "qx80: " << command.name << " takes no argument " << options.positional.front() << "\n";
    }
    err << "usage: qx80 " << command.name << " " << command.usage << "\n";
    return EXIT_USAGE;
  }
  if (!options.help) {
    return std::nullopt;
  }
  out << "usage: qx80 " << command.name << " " << command.usage << "\n\n" << help << "\n";
  PrintOptionHelp(out, AcceptedRows(accepted));
  return 0;
}

bool ParseDeviceOptions(std::span<const std::string> args, const DeviceOptionSet& accepted, DeviceOptions& options,
                        std::ostream& err) {
  ParsedArguments parsed;
  if (!ParseArguments("qx80", args, AcceptedRows(accepted), parsed, err)) {
    return false;
  }
  for (const ParsedOption& option : parsed.options) {
    if (!OptionOf(option.row).apply(option.value, options, err)) {
      return false;
    }
  }
  if (!options.path.empty() && options.index >= 0) {
    err << "qx80: --path and --index both choose the QX-80; give one of them\n";
    return false;
  }
  options.positional = std::move(parsed.positional);
  return true;
}

}  // namespace qx80::cli
