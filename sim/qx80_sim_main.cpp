// qx80-sim: a simulated QX-80 served over the device bridge, for the updater or the qx80 tool
// in another process (--device bridge:127.0.0.1:PORT), natively or under Wine.
//
//   qx80-sim --listen 127.0.0.1:PORT [--scenario NAME] [--firmware-version TEXT] [--speed X] [--link LINK]
//   qx80-sim --listen 127.0.0.1:PORT --replay TRANSCRIPT
//
// Prints the port it listens on, then serves until SIGINT or SIGTERM; a replay also ends at
// the first report that differs from the transcript.
#include <atomic>
#include <charconv>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <string>
#include <string_view>
#include <thread>

#include "cli/args.h"
#include "cli/program_version.h"
#include "device/bridge/bridge_server.h"
#include "device/transcript.h"
#include "platform/clock.h"
#include "sim/sim_replay.h"
#include "sim/sim_scenarios.h"

namespace qx80 {
namespace {

constexpr int EXIT_OK = 0;
constexpr int EXIT_BAD_ARGUMENTS = 2;
constexpr int EXIT_CANNOT_LISTEN = 3;
constexpr int EXIT_REPLAY_DIFFERS = 1;  // the host did not do what the transcript recorded

std::atomic<bool> g_stop{false};

extern "C" void OnStopSignal(int) {
  g_stop.store(true);
}

// "127.0.0.1:PORT", PORT from 0 (any free port) to 65535.
bool ParseListenAddress(std::string_view text, uint16_t& port) {
  constexpr std::string_view kHost = "127.0.0.1:";
  if (!text.starts_with(kHost)) {
    return false;
  }
  const std::string_view digits = text.substr(kHost.size());
  const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), port);
  return ec == std::errc() && end == digits.data() + digits.size() && !digits.empty();
}

constexpr cli::OptionRow kHelp = {"--help", "-h", "", "this text"};
constexpr cli::OptionRow kVersion = {"--version", "", "", "print the program's version"};
constexpr cli::OptionRow kListen = {"--listen", "", "127.0.0.1:PORT",
                                    "where to serve (port 0: any free port, printed at start)"};
constexpr cli::OptionRow kScenario = {"--scenario", "", "NAME",
                                      "the device's situation (default ok; the scenarios below)"};
constexpr cli::OptionRow kFirmwareVersion = {"--firmware-version", "", "TEXT",
                                             "the version every component reports at start (default the scenario's)"};
constexpr cli::OptionRow kSpeed = {"--speed", "", "X", "the device's clock runs X times faster than real time"};
constexpr cli::OptionRow kLink = {"--link", "", "LINK",
                                  "fast (default), or full-speed: one report per 1 ms frame each way"};
constexpr cli::OptionRow kReplay = {"--replay", "", "TRANSCRIPT",
                                    "play the device of a transcript (qx80 --log) instead of a scenario: answer\n"
                                    "each report the host writes as recorded; end at the first one that differs\n"
                                    "(exit status 1)"};
constexpr const cli::OptionRow* kOptions[] = {&kHelp,  &kVersion, &kListen, &kScenario, &kFirmwareVersion,
                                              &kSpeed, &kLink,    &kReplay};

void PrintUsage(std::ostream& out) {
  out << "usage: qx80-sim --listen 127.0.0.1:PORT [--scenario NAME] [--firmware-version TEXT] [--speed X] [--link "
         "LINK]\n       qx80-sim --listen 127.0.0.1:PORT --replay TRANSCRIPT\n       qx80-sim --version\n";
  cli::PrintOptionHelp(out, kOptions);
  out << "scenarios:\n";
  for (const SimScenario& scenario : SimScenarios()) {
    out << "  " << scenario.name << ": " << scenario.summary << "\n";
  }
}

void WaitForStop() {
  while (!g_stop.load()) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
}

// Serves the device of a transcript until stopped, or until the host does something else.
int ServeReplay(const std::string& path, uint16_t port, const std::string& listen) {
  std::vector<TranscriptEvent> events;
  std::string error;
  if (!ReadTranscript(cli::PathFromArgument(path), events, error)) {
    std::cerr << "qx80-sim: " << error << "\n";
    return EXIT_BAD_ARGUMENTS;
  }
  SimHidBus bus;
  SimReplay replay(bus, events);
  if (!replay.HasDevice()) {
    std::cerr << "qx80-sim: " << path << " opens no QX-80\n";
    return EXIT_BAD_ARGUMENTS;
  }
  BridgeServer server(bus, QX80_VENDOR_ID);
  if (!server.Start(port)) {
    std::cerr << "qx80-sim: cannot listen on " << listen << "\n";
    return EXIT_CANNOT_LISTEN;
  }
  std::cout << "qx80-sim: replaying " << path << " listening on 127.0.0.1:" << server.Port() << std::endl;
  SimReplay::State state = SimReplay::State::Playing;
  bool endShown = false;
  while (!g_stop.load() && state != SimReplay::State::Mismatch) {
    state = replay.WaitUntilDone(std::chrono::milliseconds(100));
    if (state == SimReplay::State::Ended && !endShown) {
      std::cout << "qx80-sim: " << replay.Summary() << std::endl;
      endShown = true;
    }
  }
  server.Stop();
  if (state != SimReplay::State::Ended) {
    std::cout << "qx80-sim: " << replay.Summary() << std::endl;
    return EXIT_REPLAY_DIFFERS;
  }
  std::cout << "qx80-sim: stopped" << std::endl;
  return EXIT_OK;
}

int Main(int argc, char** argv) {
  std::string listen;
  std::string replayPath;
  std::string scenarioName = "ok";
  std::string version;
  double speed = 1.0;
  std::string linkName = "fast";
  cli::ParsedArguments parsed;
  if (!cli::ParseArguments("qx80-sim", cli::Utf8Arguments(argc, argv), kOptions, parsed, std::cerr)) {
    PrintUsage(std::cerr);
    return EXIT_BAD_ARGUMENTS;
  }
  if (!parsed.positional.empty()) {
    std::cerr << "qx80-sim: unexpected argument " << parsed.positional.front() << "\n";
    PrintUsage(std::cerr);
    return EXIT_BAD_ARGUMENTS;
  }
  for (const cli::ParsedOption& option : parsed.options) {
    if (option.row == &kHelp) {
      PrintUsage(std::cout);
      return EXIT_OK;
    }
    if (option.row == &kVersion) {
      std::cout << "qx80-sim " << cli::kProgramVersion << "\n";
      return EXIT_OK;
    }
    if (option.row == &kListen) {
      listen = option.value;
    } else if (option.row == &kScenario) {
      scenarioName = option.value;
    } else if (option.row == &kFirmwareVersion) {
      version = option.value;
    } else if (option.row == &kSpeed && !cli::ParseClockSpeed(option.value, speed)) {
      std::cerr << "qx80-sim: bad --speed " << option.value << " (from " << kSlowestClockSpeedup << " to "
                << kFastestClockSpeedup << ")\n";
      return EXIT_BAD_ARGUMENTS;
    } else if (option.row == &kLink) {
      linkName = option.value;
    } else if (option.row == &kReplay) {
      replayPath = option.value;
    }
  }
  uint16_t port = 0;
  if (!ParseListenAddress(listen, port)) {
    std::cerr << "qx80-sim: --listen takes 127.0.0.1:PORT (the bridge serves this machine only)\n";
    PrintUsage(std::cerr);
    return EXIT_BAD_ARGUMENTS;
  }
  // Before any thread starts, so that every thread inherits the handling.
  std::signal(SIGINT, &OnStopSignal);
  std::signal(SIGTERM, &OnStopSignal);
  ScaledClock clock(speed, Bounds::Scaled);
  ScopedClock scopedClock(clock);
  if (!replayPath.empty()) {
    return ServeReplay(replayPath, port, listen);
  }
  const SimScenario* scenario = FindSimScenario(scenarioName);
  if (scenario == nullptr) {
    std::cerr << "qx80-sim: unknown scenario " << scenarioName << "\n";
    PrintUsage(std::cerr);
    return EXIT_BAD_ARGUMENTS;
  }

  const SimLink* link = FindSimLink(linkName);
  if (link == nullptr) {
    std::cerr << "qx80-sim: unknown link " << linkName << " (known: " << kSimLinkNames << ")\n";
    return EXIT_BAD_ARGUMENTS;
  }

  SimQx80Rig rig(*scenario, version);
  rig.Bus().SetLink(*link);
  BridgeServer server(rig.Bus(), QX80_VENDOR_ID);
  if (!server.Start(port)) {
    std::cerr << "qx80-sim: cannot listen on " << listen << "\n";
    return EXIT_CANNOT_LISTEN;
  }
  std::cout << "qx80-sim: scenario " << scenario->name << " listening on 127.0.0.1:" << server.Port() << std::endl;
  WaitForStop();
  server.Stop();
  std::cout << "qx80-sim: stopped" << std::endl;
  return EXIT_OK;
}

}  // namespace
}  // namespace qx80

int main(int argc, char** argv) {
#ifdef SIGPIPE
  std::signal(SIGPIPE, SIG_IGN);  // a client that goes away must not end the server
#endif
  return qx80::Main(argc, argv);
}
