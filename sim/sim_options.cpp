#include "sim/sim_options.h"

#include <charconv>
#include <string_view>

#include "platform/clock.h"
#include "platform/command_line.h"
#include "platform/parse_number.h"

namespace qx80 {
namespace {

constexpr OptionRow kHelp = {"--help", "-h", "", "this text"};
constexpr OptionRow kVersion = {"--version", "", "", "print the program's version"};
constexpr OptionRow kListen = {"--listen", "", "127.0.0.1:PORT",
                               "where to serve (port 0: any free port, printed at start)"};
constexpr OptionRow kScenario = {"--scenario", "", "NAME", "the device's situation (default ok; the scenarios below)"};
constexpr OptionRow kFirmwareVersion = {"--firmware-version", "", "TEXT",
                                        "the version every component reports at start (default the scenario's):\n"
                                        "1 to 16 bytes, as the version query carries them; the updater\n"
                                        "compares texts like 2.05 or 209a"};
constexpr OptionRow kSpeed = {"--speed", "", "X", "the device's clock runs X times faster than real time"};
constexpr OptionRow kLink = {"--link", "", "LINK", "fast (default), or full-speed: one report per 1 ms frame each way"};
constexpr OptionRow kReplay = {"--replay", "", "TRANSCRIPT",
                               "play the device of a transcript (qx80 --log) instead of a scenario: answer\n"
                               "each report the host writes as recorded; end at the first one that differs\n"
                               "(exit status 1)"};
constexpr OptionRow kPowerCut = {"--power-cut", "", "POINT",
                                 "the (first) device loses its power once, at POINT of an update (the\n"
                                 "points below), and comes back in its update mode, its firmware unfinished"};
constexpr OptionRow kPowerOff = {"--power-off", "", "MS",
                                 "how long the power stays off after --power-cut, in the device's clock\n"
                                 "milliseconds (default 60000)"};
constexpr const OptionRow* kOptions[] = {&kHelp,  &kVersion, &kListen, &kScenario, &kFirmwareVersion,
                                         &kSpeed, &kLink,    &kReplay, &kPowerCut, &kPowerOff};

// "127.0.0.1:PORT", PORT from 0 (any free port) to 65535.
bool ParseListenAddress(std::string_view text, uint16_t& port) {
  constexpr std::string_view kHost = "127.0.0.1:";
  if (!text.starts_with(kHost)) {
    return false;
  }
  const std::string_view digits = text.substr(kHost.size());
  return ParseWholeNumber(digits, port);
}

// Milliseconds from 1 to a day: the device always comes back.
constexpr uint32_t kLongestPowerOffMs = 86400000;

bool ParsePowerOff(std::string_view text, uint32_t& ms) {
  return ParseWholeNumber(text, ms) && ms >= 1 && ms <= kLongestPowerOffMs;
}

}  // namespace

SimParse ParseSimOptions(std::span<const std::string> args, SimOptions& options, std::ostream& err) {
  ParsedArguments parsed;
  if (!ParseArguments("qx80-sim", args, kOptions, parsed, err)) {
    return SimParse::Bad;
  }
  if (!parsed.positional.empty()) {
    err << "qx80-sim: unexpected argument " << parsed.positional.front() << "\n";
    return SimParse::Bad;
  }
  std::string scenarioName = "ok";
  std::string linkName = "fast";
  for (const ParsedOption& option : parsed.options) {
    if (option.row == &kHelp) {
      return SimParse::Help;
    }
    if (option.row == &kVersion) {
      return SimParse::Version;
    }
    if (option.row == &kListen) {
      options.listen = option.value;
    } else if (option.row == &kScenario) {
      scenarioName = option.value;
    } else if (option.row == &kFirmwareVersion) {
      if (option.value.empty() || option.value.size() > kVersionTextSize) {
        err << "qx80-sim: --firmware-version takes 1 to " << kVersionTextSize << " bytes (" << option.value.size()
            << " given), as the version query carries them\n";
        return SimParse::Bad;
      }
      options.version = option.value;
    } else if (option.row == &kSpeed && !ParseClockSpeed(option.value, options.speed)) {
      err << "qx80-sim: bad --speed " << option.value << " (from " << kSlowestClockSpeedup << " to "
          << kFastestClockSpeedup << ")\n";
      return SimParse::Bad;
    } else if (option.row == &kLink) {
      linkName = option.value;
    } else if (option.row == &kReplay) {
      options.replayPath = option.value;
    } else if (option.row == &kPowerCut) {
      options.powerCut = ParseSimCutPoint(option.value);
      if (!options.powerCut.has_value()) {
        err << "qx80-sim: unknown --power-cut point " << option.value << " (qx80-sim --help lists them)\n";
        return SimParse::Bad;
      }
    } else if (option.row == &kPowerOff && !ParsePowerOff(option.value, options.powerOffMs)) {
      err << "qx80-sim: bad --power-off " << option.value << " (from 1 to " << kLongestPowerOffMs << " milliseconds)\n";
      return SimParse::Bad;
    }
  }
  if (!ParseListenAddress(options.listen, options.port)) {
    err << "qx80-sim: --listen takes 127.0.0.1:PORT (the bridge serves this machine only)\n";
    return SimParse::Bad;
  }
  if (options.powerCut.has_value() && !options.replayPath.empty()) {
    err << "qx80-sim: --power-cut cuts a scenario's device, not a replayed one\n";
    return SimParse::Bad;
  }
  options.scenario = FindSimScenario(scenarioName);
  if (options.scenario == nullptr) {
    err << "qx80-sim: unknown scenario " << scenarioName << "\n";
    return SimParse::Bad;
  }
  options.link = FindSimLink(linkName);
  if (options.link == nullptr) {
    err << "qx80-sim: unknown link " << linkName << " (known: " << kSimLinkNames << ")\n";
    return SimParse::Bad;
  }
  return SimParse::Run;
}

void PrintSimUsage(std::ostream& out) {
  out << "usage: qx80-sim --listen 127.0.0.1:PORT [--scenario NAME] [--firmware-version TEXT] [--speed X] [--link "
         "LINK]\n                [--power-cut POINT [--power-off MS]]\n       qx80-sim --listen 127.0.0.1:PORT "
         "--replay TRANSCRIPT\n       qx80-sim --version\n";
  PrintOptionHelp(out, kOptions);
  out << "exit status: 0 stopped by SIGINT or SIGTERM (a replay: after it was played to its end);\n"
         "1 a replay that the host did not follow, or that was stopped before its end; 2 bad\n"
         "arguments, or a transcript that cannot be replayed; 3 the address cannot be listened on\n"
         "(the port is in use)\n";
  out << "power-cut points (the device comes back in its update mode):\n" << kSimCutPointNames;
  out << "scenarios:\n";
  for (const SimScenario& scenario : SimScenarios()) {
    out << "  " << scenario.name << ": " << scenario.summary << "\n";
  }
}

}  // namespace qx80
