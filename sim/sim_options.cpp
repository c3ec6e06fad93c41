#include "sim/sim_options.h"

#include <charconv>
#include <string_view>
#include <vector>

#include "platform/clock.h"
#include "platform/command_line.h"
#include "platform/parse_number.h"

namespace qx80 {
namespace {

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

// What the options say, before their values are checked together.
struct SimArguments {
  SimOptions& options;
  std::string scenario = "ok";
  std::string link = "fast";
  SimParse ends = SimParse::Run;  // Help or Version: an option that ends the parse was given
};

constexpr OptionEntry<SimArguments> kOptions[] = {
    {{"--help", "-h", "", "this text"},
     [](const std::string&, SimArguments& given, std::ostream&) {
       given.ends = SimParse::Help;
       return false;
     }},
    {{"--version", "", "", "print the program's version"},
     [](const std::string&, SimArguments& given, std::ostream&) {
       given.ends = SimParse::Version;
       return false;
     }},
    {{"--listen", "", "127.0.0.1:PORT", "where to serve (port 0: any free port, printed at start)"},
     [](const std::string& value, SimArguments& given, std::ostream&) {
       given.options.listen = value;
       return true;
     }},
    {{"--scenario", "", "NAME", "the device's situation (default ok; the scenarios below)"},
     [](const std::string& value, SimArguments& given, std::ostream&) {
       given.scenario = value;
       return true;
     }},
    {{"--firmware-version", "", "TEXT",
      "the version every component reports at start (default the scenario's):\n"
      "1 to 16 bytes, as the version query carries them; the updater\n"
      "compares texts like 2.05 or 209a"},
     [](const std::string& value, SimArguments& given, std::ostream& err) {
       if (value.empty() || value.size() > kVersionTextSize) {
         err << "qx80-sim: --firmware-version takes 1 to " << kVersionTextSize << " bytes (" << value.size()
             << " given), as the version query carries them\n";
         return false;
       }
       given.options.version = value;
       return true;
     }},
    {{"--speed", "", "X", "the device's clock runs X times faster than real time"},
     [](const std::string& value, SimArguments& given, std::ostream& err) {
       return ParseSpeedOption("qx80-sim", value, given.options.speed, err);
     }},
    {{"--link", "", "LINK", "fast (default), or full-speed: one report per 1 ms frame each way"},
     [](const std::string& value, SimArguments& given, std::ostream&) {
       given.link = value;
       return true;
     }},
    {{"--replay", "", "TRANSCRIPT",
      "play the device of a transcript (qx80 --log) instead of a scenario: answer\n"
      "each report the host writes as recorded; end at the first one that differs\n"
      "(exit status 1)"},
     [](const std::string& value, SimArguments& given, std::ostream&) {
       given.options.replayPath = value;
       return true;
     }},
    {{"--power-cut", "", "POINT",
      "the (first) device loses its power once, at POINT of an update (the\n"
      "points below), and comes back in its update mode, its firmware unfinished"},
     [](const std::string& value, SimArguments& given, std::ostream& err) {
       given.options.powerCut = ParseSimCutPoint(value);
       if (!given.options.powerCut.has_value()) {
         err << "qx80-sim: unknown --power-cut point " << value << " (qx80-sim --help lists them)\n";
         return false;
       }
       return true;
     }},
    {{"--power-off", "", "MS",
      "how long the power stays off after --power-cut, in the device's clock\n"
      "milliseconds (default 60000)"},
     [](const std::string& value, SimArguments& given, std::ostream& err) {
       if (!ParsePowerOff(value, given.options.powerOffMs)) {
         err << "qx80-sim: bad --power-off " << value << " (from 1 to " << kLongestPowerOffMs << " milliseconds)\n";
         return false;
       }
       return true;
     }},
};

}  // namespace

SimParse ParseSimOptions(std::span<const std::string> args, SimOptions& options, std::ostream& err) {
  SimArguments given{.options = options};
  std::vector<std::string> positional;
  if (!ParseOptions("qx80-sim", args, kOptions, given, positional, err) && given.ends == SimParse::Run) {
    return SimParse::Bad;
  }
  if (!positional.empty()) {
    err << "qx80-sim: unexpected argument " << positional.front() << "\n";
    return SimParse::Bad;
  }
  if (given.ends != SimParse::Run) {
    return given.ends;
  }
  if (!ParseListenAddress(options.listen, options.port)) {
    err << "qx80-sim: --listen takes 127.0.0.1:PORT (the bridge serves this machine only)\n";
    return SimParse::Bad;
  }
  if (options.powerCut.has_value() && !options.replayPath.empty()) {
    err << "qx80-sim: --power-cut cuts a scenario's device, not a replayed one\n";
    return SimParse::Bad;
  }
  options.scenario = FindSimScenario(given.scenario);
  if (options.scenario == nullptr) {
    err << "qx80-sim: unknown scenario " << given.scenario << "\n";
    return SimParse::Bad;
  }
  options.link = FindSimLink(given.link);
  if (options.link == nullptr) {
    err << "qx80-sim: unknown link " << given.link << " (known: " << kSimLinkNames << ")\n";
    return SimParse::Bad;
  }
  return SimParse::Run;
}

void PrintSimUsage(std::ostream& out) {
  out << "usage: qx80-sim --listen 127.0.0.1:PORT [--scenario NAME] [--firmware-version TEXT] [--speed X] [--link "
         "LINK]\n                [--power-cut POINT [--power-off MS]]\n       qx80-sim --listen 127.0.0.1:PORT "
         "--replay TRANSCRIPT\n       qx80-sim --version\n";
  PrintOptionHelp(out, OptionRows(kOptions));
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
