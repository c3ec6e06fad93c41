// qx80-sim: a simulated QX-80 served over the device bridge, for the updater or the qx80 tool
// in another process (--device bridge:127.0.0.1:PORT), natively or under Wine.
//
//   qx80-sim --listen 127.0.0.1:PORT [--scenario NAME] [--firmware-version TEXT] [--speed X] [--link LINK]
//            [--power-cut POINT [--power-off MS]]
//   qx80-sim --listen 127.0.0.1:PORT --replay TRANSCRIPT
//
// Prints the port it listens on, then serves until SIGINT or SIGTERM; a replay also ends at
// the first report that differs from the transcript.
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include "device/bridge/bridge_server.h"
#include "device/transcript.h"
#include "platform/clock.h"
#include "platform/command_line.h"
#include "platform/program_version.h"
#include "sim/sim_exit_codes.h"
#include "sim/sim_options.h"
#include "sim/sim_power_cut.h"
#include "sim/sim_replay.h"
#include "sim/sim_scenarios.h"

namespace qx80 {
namespace {

std::atomic<bool> g_stop{false};

extern "C" void OnStopSignal(int) {
  g_stop.store(true);
}

void WaitForStop() {
  while (!g_stop.load()) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
}

// Starts serving; false with the reason on standard error.
bool StartServer(BridgeServer& server, uint16_t port, const std::string& listen) {
  ListenFailure failure = ListenFailure::None;
  if (server.Start(port, &failure)) {
    return true;
  }
  std::cerr << "qx80-sim: cannot listen on " << listen;
  if (failure == ListenFailure::InUse) {
    std::cerr << ": the port is in use (another qx80-sim, or another program); choose another, or port 0 for any "
                 "free one";
  }
  std::cerr << "\n";
  return false;
}

// Serves the device of a transcript until stopped, or until the host does something else.
int ServeReplay(const std::string& path, uint16_t port, const std::string& listen) {
  std::vector<TranscriptEvent> events;
  std::string error;
  if (!ReadTranscript(PathFromArgument(path), events, error)) {
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
  if (!StartServer(server, port, listen)) {
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
  SimOptions options;
  switch (ParseSimOptions(Utf8Arguments(argc, argv), options, std::cerr)) {
    case SimParse::Help:
      PrintSimUsage(std::cout);
      return EXIT_OK;
    case SimParse::Version:
      std::cout << "qx80-sim " << kProgramVersion << "\n";
      return EXIT_OK;
    case SimParse::Bad:
      // The parser said what is wrong in one line; the whole help would bury it.
      std::cerr << "qx80-sim: qx80-sim --help shows the options\n";
      return EXIT_BAD_ARGUMENTS;
    case SimParse::Run:
      break;
  }
  // Before any thread starts, so that every thread inherits the handling.
  std::signal(SIGINT, &OnStopSignal);
  std::signal(SIGTERM, &OnStopSignal);
  ScaledClock clock(options.speed, Bounds::Scaled);
  ScopedClock scopedClock(clock);
  if (!options.replayPath.empty()) {
    return ServeReplay(options.replayPath, options.port, options.listen);
  }

  // Declared before the device, whose observer of requests it is.
  std::optional<SimCutWatch> cutWatch;
  SimQx80Rig rig(*options.scenario, options.version);
  rig.Bus().SetLink(*options.link);
  if (options.powerCut.has_value() && rig.DeviceCount() > 0) {
    SimQx80Device& device = rig.Device();
    cutWatch.emplace(*options.powerCut, [&device, offMs = options.powerOffMs](uint32_t afterMs) {
      device.PowerCut(afterMs, QX80_PRODUCT_UPDATE, offMs);
    });
    device.ObserveRequests([&cutWatch](const MessageHeader& header) { cutWatch->See(header); });
  }
  BridgeServer server(rig.Bus(), QX80_VENDOR_ID);
  if (!StartServer(server, options.port, options.listen)) {
    return EXIT_CANNOT_LISTEN;
  }
  std::cout << "qx80-sim: scenario " << options.scenario->name << " listening on 127.0.0.1:" << server.Port()
            << std::endl;
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
