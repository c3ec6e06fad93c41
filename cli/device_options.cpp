#include "cli/device_options.h"

#include <cstdlib>

namespace qx80::cli {
namespace {

constexpr const char* kYesOptionHelp = "  --yes        update even when no update is needed, without asking\n";
constexpr const char* kBlockOptionHelp = "  --block HEX  the block's first bytes before the command (spaces allowed)\n";
constexpr const char* kDeviceOptionHelp =
    "  --device usb|sim[:SCENARIO[:LINK]]|bridge:HOST:PORT\n"
    "               the bus to use (default usb); sim runs a simulated QX-80 in this process\n";
constexpr const char* kPackageOptionHelp =
    "  --package FILE  the firmware package to compare with and write (default: the carried one)\n";
constexpr const char* kSpeedOptionHelp =
    "  --speed X    run the clock X times faster than real time (simulated devices, tests);\n"
    "               answers are still waited for in real time\n"
    "  --scale-time-outs\n"
    "               with --speed, let the waits for answers run faster too (fault scenarios)\n";

}  // namespace

std::optional<int> ParseDeviceCommand(const Command& command, const char* help, std::span<const std::string> args,
                                      const DeviceOptionSet& accepted, bool positional, DeviceOptions& options,
                                      std::ostream& out, std::ostream& err) {
  if (!ParseDeviceOptions(args, accepted, options, err) || (!positional && !options.positional.empty())) {
    err << "usage: qx80 " << command.name << " " << command.usage << "\n";
    return EXIT_USAGE;
  }
  if (!options.help) {
    return std::nullopt;
  }
  out << "usage: qx80 " << command.name << " " << command.usage << "\n\n" << help << "\n";
  if (accepted.yes) {
    out << kYesOptionHelp;
  }
  if (accepted.block) {
    out << kBlockOptionHelp;
  }
  out << kDeviceOptionHelp;
  if (accepted.package) {
    out << kPackageOptionHelp;
  }
  out << kSpeedOptionHelp;
  return 0;
}

bool ParseDeviceOptions(std::span<const std::string> args, const DeviceOptionSet& accepted, DeviceOptions& options,
                        std::ostream& err) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const bool hasValue = i + 1 < args.size();
    const auto value = [&](std::string& into) {
      if (!hasValue) {
        err << "qx80: " << arg << " needs a value\n";
        return false;
      }
      into = args[++i];
      return true;
    };
    if (arg == "--help" || arg == "-h") {
      options.help = true;
    } else if (arg == "--device") {
      if (!value(options.device)) {
        return false;
      }
    } else if (arg == "--speed") {
      std::string text;
      if (!value(text)) {
        return false;
      }
      char* end = nullptr;
      options.speed = std::strtod(text.c_str(), &end);
      if (end == text.c_str() || *end != '\0' ||
          !(options.speed >= kSlowestClockSpeedup && options.speed <= kFastestClockSpeedup)) {
        err << "qx80: bad --speed " << text << " (from " << kSlowestClockSpeedup << " to " << kFastestClockSpeedup
            << ")\n";
        return false;
      }
    } else if (arg == "--scale-time-outs") {
      options.timeOuts = Bounds::Scaled;
    } else if (arg == "--package" && accepted.package) {
      if (!value(options.package)) {
        return false;
      }
    } else if (arg == "--block" && accepted.block) {
      if (!value(options.block)) {
        return false;
      }
    } else if ((arg == "--yes" || arg == "-y") && accepted.yes) {
      options.yes = true;
    } else if (arg.starts_with("-") && arg.size() > 1) {
      err << "qx80: unknown option " << arg << "\n";
      return false;
    } else {
      options.positional.push_back(arg);
    }
  }
  return true;
}

}  // namespace qx80::cli
