#pragma once
// qx80-sim's command line: what it serves, where and how fast. Parsing checks every value
// (the address, the speed's range, the scenario and link names), so that a run never starts
// with one it cannot use.
#include <cstdint>
#include <optional>
#include <ostream>
#include <span>
#include <string>

#include "sim/sim_power_cut.h"
#include "sim/sim_scenarios.h"

namespace qx80 {

struct SimOptions {
  std::string listen;           // as given: 127.0.0.1:PORT
  uint16_t port = 0;            // 0: any free port
  std::string replayPath;       // a transcript to play instead of a scenario; empty: none
  const SimScenario* scenario;  // never null after a parse that says Run
  std::string version;          // every component's version at start; empty: the scenario's
  double speed = 1.0;
  const SimLink* link;                  // never null after a parse that says Run
  std::optional<SimCutPoint> powerCut;  // where the device loses its power once; none: never
  uint32_t powerOffMs = 60000;          // clock milliseconds off the bus after the cut
};

enum class SimParse {
  Run,      // serve with the options
  Help,     // print the usage to standard output
  Version,  // print the program's version
  Bad,      // the reason is on `err`; print the usage there
};

SimParse ParseSimOptions(std::span<const std::string> args, SimOptions& options, std::ostream& err);

// The usage and every option, then the scenarios.
void PrintSimUsage(std::ostream& out);

}  // namespace qx80
