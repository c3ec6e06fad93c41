#pragma once
// What qx80 update tells its user as it goes: text for people (a bar redrawn in place on a
// terminal, a line per new percentage elsewhere), or with --json one JSON object per line for
// programs (docs/cli.md). Refusals and warnings go to `err` as text either way; the remedy of
// a failure goes there too in text mode and into the closing object in JSON mode.
#include <cstdint>
#include <ostream>
#include <string_view>

#include "cli/remedies.h"
#include "firmware/firm_slots.h"
#include "updater/core/device_session.h"

namespace qx80::cli {

// How an update ended, as the closing line and the exit status say it.
enum class UpdateStatus {
  Confirmed,    // written, and the device came back with the package's versions (exit 0)
  Unconfirmed,  // the update reported success, but the device did not show it (exit 3)
  Failed,       // not written, or the update ended with a failure (exit 1)
  Declined,     // not needed, and the user said no (exit 1)
  Interrupted,  // stopped by the user (exit 4)
  Rehearsed,    // a dry run whose rehearsal ended confirmed; nothing was changed (exit 0)
};

class UpdateReport {
 public:
  UpdateReport(std::ostream& out, std::ostream& err, bool json, bool terminal);

  void Before(int32_t mode, const FirmSlots& slots, const CDeviceSession::Versions& versions);
  // "started" (the worker runs), "settling" (the device is in its update mode), "writing"
  // (the first part's begin), "restarting" (the wait for the device in normal mode).
  void Phase(std::string_view phase);
  // Every progress value of the worker, 1 to 100; the phases settling and writing follow from it.
  void Progress(uint32_t percent);
  // Ends a bar's line, so that a message on `err` starts on its own.
  void Break();
  void Result(int32_t result, uint32_t seconds, std::string_view outcomeText);
  void After(bool back, const FirmSlots& slots, const CDeviceSession::Versions& versions);
  // The closing line (JSON) or the remedy (text, on `err`); returns the exit status.
  int End(UpdateStatus status, const Remedy* remedy);

 private:
  std::ostream& m_out;
  std::ostream& m_err;
  bool m_json;
  bool m_terminal;
  uint32_t m_shown = kNone;  // the percentage shown last
  bool m_settling = false;
  bool m_writing = false;

  static constexpr uint32_t kNone = 0xFFFFFFFF;
};

// The exit status of each ending.
int ExitStatus(UpdateStatus status);

}  // namespace qx80::cli
