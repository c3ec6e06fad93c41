#pragma once
// What a user should do next after an update that did not end well: one line for each
// failure result of an update and for each situation around it, from one table. The tool
// prints the line; docs/troubleshooting.md shows the same table (a test holds them together).
#include <cstdint>
#include <ostream>
#include <span>
#include <string_view>

namespace qx80::cli {

// Situations that are not an update's result code.
enum class Situation {
  Result,          // the update ended with a result code (the row's `result`)
  NoDevice,        // no QX-80 was found
  SeveralDevices,  // several were found and none was chosen
  OtherAppeared,   // the chosen one never came back while another one appeared
  NotBack,         // the update reported success, the device never came back in normal mode
  OtherVersions,   // the update reported success, the device came back with other versions
  NoVersions,      // the update reported success, the device came back without any version
  NotStarted,      // the update worker could not be started
  NotReached,      // the bridge's server could not be reached, or serves another client
  InUse,           // another program holds the device's lock
  NotConfirmed,    // the update reported success, the user stopped the wait for the device
};

// How far an update had got when it failed: a result can mean one thing before the device
// reached its update mode (the switch) and another while it was being written.
enum class UpdateStage { Any, Switch, Write };

struct Remedy {
  Situation situation;
  int32_t result;                        // the update's result code, for Situation::Result
  std::string_view what;                 // what happened, as the user sees it
  std::string_view todo;                 // what to do next
  UpdateStage stage = UpdateStage::Any;  // the stage a result's row is for
};

// Every row, results first in the order of their codes.
std::span<const Remedy> Remedies();
// The row of a result code at a stage (the stage's own row, else the code's row for any
// stage); null for ResultOk and for a code no update ends with.
const Remedy* RemedyForResult(int32_t result, UpdateStage stage);
// The row of a situation other than Situation::Result (every one has a row).
const Remedy* RemedyFor(Situation situation);
// "qx80: what to do: ..." on a line of its own.
void PrintRemedy(std::ostream& err, const Remedy& remedy);

}  // namespace qx80::cli
