#pragma once
// What qx80 update tells its user as it goes: text for people (on a terminal one line redrawn
// in place, a bar with what the update does or waits for; elsewhere a line per step and per
// new percentage), or with --json one JSON object per line for programs (docs/cli.md).
// Durations are shown in real time, also on a sped-up clock. Refusals and warnings go to `err` as text either way; the
// remedy of a failure goes there too in text mode and into the closing object in JSON mode.
#include <chrono>
#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>

#include "cli/json_writer.h"
#include "cli/remedies.h"
#include "cli/session_log.h"
#include "firmware/firm_slots.h"
#include "session/device_session.h"
#include "workers/update_step.h"

namespace qx80::cli {

// How an update ended, as the closing line and the exit status say it.
enum class UpdateStatus {
  Confirmed,    // written, and the device came back with the package's versions (exit 0)
  Unconfirmed,  // the update reported success, but the device did not show it (exit 3)
  Failed,       // not written, or the update ended with a failure (exit 1)
  Declined,     // not needed, and the user said no (exit 1)
  Interrupted,  // stopped by the user (exit 4)
  Rehearsed,    // a dry run whose rehearsal ended confirmed; nothing was changed (exit 0)
  Refused,      // not begun: an unreadable package, no single QX-80 chosen, one in use, a
                // transcript that cannot be started (exit 2)
};

class UpdateReport {
 public:
  // `columns`: the terminal's width, when `terminal`; the bar's line never fills it.
  // `transcript` tells End what became of the transcript of --log.
  UpdateReport(std::ostream& out, std::ostream& err, bool json, bool terminal, int columns,
               const TranscriptWatch& transcript);

  void Before(int32_t mode, const FirmSlots& slots, const CDeviceSession::Versions& versions);
  // The update worker runs; `inUpdateMode`: the device was found in its update mode, so there
  // is no switch.
  void Started(bool inUpdateMode);
  // Each step the worker tells: a new phase or part is announced, a new percentage shown.
  void Step(const UpdateStep& step);
  // The wait for the device in normal mode, which may last `bound` of real time.
  void Restarting(std::chrono::nanoseconds bound);
  // Ends a bar's line, so that a message on `err` starts on its own.
  void Break();
  // `took`: real time since Started.
  void Result(int32_t result, std::chrono::nanoseconds took, std::string_view outcomeText);
  void After(bool back, const FirmSlots& slots, const CDeviceSession::Versions& versions);
  // The closing line (JSON) or the remedy (text, on `err`), and whether the transcript is
  // incomplete; returns the exit status.
  int End(UpdateStatus status, const Remedy* remedy);
  // The closing JSON line End prints, for an ending that cannot wait for End; `transcript` is
  // TranscriptWatch::State().
  static std::string EndLine(UpdateStatus status, const Remedy* remedy, const std::string& transcript);
  // Whether the progress is one line redrawn in place on a terminal.
  bool DrawsInPlace() const { return m_terminal; }

 private:
  // Closes a JSON line and prints it.
  void PrintLine(JsonWriter& line);
  void Draw(const std::string& text);

  std::ostream& m_out;
  std::ostream& m_err;
  bool m_json;
  bool m_terminal;
  const TranscriptWatch& m_transcript;
  int m_columns;
  bool m_stepShown = false;    // whether a step has been announced
  UpdateStep m_step;           // the step announced last
  uint32_t m_percent = kNone;  // the percentage shown last
  size_t m_lineLength = 0;     // the bar's line as drawn last; 0 when none is open

  static constexpr uint32_t kNone = 0xFFFFFFFF;
};

// The exit status of each ending.
int ExitStatus(UpdateStatus status);

}  // namespace qx80::cli
