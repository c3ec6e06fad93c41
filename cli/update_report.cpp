#include "cli/update_report.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "cli/device_report.h"
#include "cli/exit_codes.h"
#include "cli/json_writer.h"
#include "cli/text_output.h"
#include "firmware/firm_kind.h"
#include "platform/clock.h"
#include "protocol/protocol_result.h"

namespace qx80::cli {
namespace {

constexpr size_t kBarWidth = 40;
// Narrower than this, the bar is left out and the percentage and the text remain.
constexpr size_t kNarrowestBar = 10;

// Waits that run their full length (delays, polls) and waits that give up as failed show as
// the real time each takes, which differ on a sped-up clock.
std::chrono::nanoseconds RealDelay(uint32_t ms) {
  return GetClock().RealDuration(ms);
}
std::chrono::nanoseconds RealLimit(uint32_t ms) {
  return GetClock().RealBound(ms);
}

// What the step does or waits for, in a few words.
std::string StepText(const UpdateStep& step) {
  switch (step.phase) {
    case UpdatePhase::Switching:
      return "waiting up to " + DurationText(RealDelay(step.ms)) + " for the QX-80 to restart in its update mode";
    case UpdatePhase::Settling:
      return "settling " + DurationText(RealDelay(step.ms));
    case UpdatePhase::Writing:
      return UpdatePhaseWords(step);
    case UpdatePhase::Finishing:
      if (step.ms == 0) {
        return "written";
      }
      return "waiting up to " + DurationText(RealLimit(step.ms)) + " for the QX-80 to finish writing";
    default:
      return "restarting the QX-80 with its new firmware";
  }
}

// A JSON line of the update's, open for its fields after the event's name.
JsonWriter EventLine(std::string_view event) {
  JsonWriter line;
  line.BeginObject().Key("event").String(event);
  return line;
}

JsonWriter PhaseLine(std::string_view phase) {
  JsonWriter line = EventLine("phase");
  line.Key("phase").String(phase);
  return line;
}

// The fields a phase's JSON line carries after its name.
void WriteStepFields(JsonWriter& line, const UpdateStep& step) {
  if (step.phase == UpdatePhase::Writing || step.phase == UpdatePhase::Finishing) {
    line.Key("part").Integer(step.part + 1).Key("parts").Integer(step.parts).Key("name").String(UpdatePartName(step));
  }
  if (step.phase == UpdatePhase::Switching || step.phase == UpdatePhase::Settling) {
    line.Key("seconds").Literal(JsonSeconds(RealDelay(step.ms)));
  } else if (step.phase == UpdatePhase::Finishing) {
    line.Key("seconds").Literal(JsonSeconds(RealLimit(step.ms)));
  }
}

const char* StatusWord(UpdateStatus status) {
  switch (status) {
    case UpdateStatus::Confirmed:
      return "confirmed";
    case UpdateStatus::Unconfirmed:
      return "unconfirmed";
    case UpdateStatus::Declined:
      return "declined";
    case UpdateStatus::Interrupted:
      return "interrupted";
    case UpdateStatus::Rehearsed:
      return "rehearsed";
    case UpdateStatus::Refused:
      return "refused";
    default:
      return "failed";
  }
}

}  // namespace

int ExitStatus(UpdateStatus status) {
  switch (status) {
    case UpdateStatus::Confirmed:
    case UpdateStatus::Rehearsed:
      return EXIT_DONE;
    case UpdateStatus::Unconfirmed:
      return EXIT_UNCONFIRMED;
    case UpdateStatus::Interrupted:
      return EXIT_INTERRUPTED;
    case UpdateStatus::Refused:
      return EXIT_USAGE;
    default:
      return EXIT_FAILED;
  }
}

UpdateReport::UpdateReport(std::ostream& out, std::ostream& err, bool json, bool terminal, int columns,
                           const TranscriptWatch& transcript)
    : m_out(out),
      m_err(err),
      m_json(json),
      m_terminal(terminal && !json),
      m_transcript(transcript),
      m_columns(columns) {}

void UpdateReport::Before(int32_t mode, const FirmSlots& slots, const CDeviceSession::Versions& versions) {
  if (m_json) {
    JsonWriter line = EventLine("before");
    WriteComponents(line.Key("mode").String(DeviceModeWord(mode)).Key("components"), slots, versions);
    PrintLine(line);
    return;
  }
  m_out << "before: QX-80 in " << DeviceModeName(mode) << "\n";
  PrintVersions(m_out, slots, versions);
}

void UpdateReport::PrintLine(JsonWriter& line) {
  m_out << line.EndObject().Text() << "\n" << std::flush;
}

void UpdateReport::Started(bool inUpdateMode) {
  if (m_json) {
    JsonWriter line = PhaseLine("started");
    PrintLine(line);
  } else {
    m_out << "updating...\n";
    if (inUpdateMode) {
      m_out << "the QX-80 is already in its update mode (an update did not finish): no switch\n";
    }
    m_out << std::flush;
  }
}

void UpdateReport::Step(const UpdateStep& step) {
  const bool newStep = !m_stepShown || step.phase != m_step.phase || step.part != m_step.part;
  const bool newPercent = step.percent != m_percent;
  m_stepShown = true;
  m_step = step;
  m_percent = step.percent;
  if (m_terminal) {
    Draw(StepText(step));
    return;
  }
  if (newStep) {
    if (m_json) {
      JsonWriter line = PhaseLine(UpdatePhaseName(step.phase));
      WriteStepFields(line, step);
      PrintLine(line);
    } else {
      m_out << StepText(step) << "\n";
    }
  }
  if (newPercent) {
    if (m_json) {
      JsonWriter line = EventLine("progress");
      line.Key("percent").Integer(m_percent);
      PrintLine(line);
    } else {
      m_out << "progress: " << m_percent << "%\n";
    }
  }
  m_out << std::flush;
}

// One line redrawn in place: bar, percentage and text, narrowed (the bar first, then the
// text) to leave the terminal's last column free, so that it never wraps and scrolls.
void UpdateReport::Draw(const std::string& text) {
  const size_t room = static_cast<size_t>(std::max(m_columns, 2) - 1);
  char percent[8];
  std::snprintf(percent, sizeof percent, "%3u%%", std::min<uint32_t>(m_percent, 100));
  std::string line;
  const size_t fixed = 3 + std::strlen(percent) + 1 + text.size();  // "[", "] ", " "
  const size_t bar = room > fixed ? std::min(kBarWidth, room - fixed) : 0;
  if (bar >= kNarrowestBar) {
    const size_t filled = std::min<uint32_t>(m_percent, 100) * bar / 100;
    line = "[";
    line.append(filled, '#').append(bar - filled, '-').append("] ");
  }
  line += percent;
  line += " " + text;
  line.resize(std::min(line.size(), room));
  // Spaces cover what a longer line before left behind.
  const size_t drawn = line.size();
  line.resize(std::max(drawn, m_lineLength), ' ');
  m_out << "\r" << line << std::flush;
  m_lineLength = drawn;
}

void UpdateReport::Restarting(std::chrono::nanoseconds bound) {
  Break();
  if (m_json) {
    JsonWriter line = PhaseLine("restarting");
    line.Key("seconds").Literal(JsonSeconds(bound));
    PrintLine(line);
  } else {
    m_out << "waiting up to " << DurationText(bound) << " for the QX-80 to restart in normal mode...\n" << std::flush;
  }
}

void UpdateReport::Break() {
  if (m_terminal && m_lineLength != 0) {
    m_out << "\n" << std::flush;
  }
  m_lineLength = 0;
}

void UpdateReport::Result(int32_t result, std::chrono::nanoseconds took, std::string_view outcomeText) {
  Break();
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(took).count();
  if (m_json) {
    JsonWriter line = EventLine("result");
    line.Key("code").Integer(result).Key("name").String(ResultName(result)).Key("seconds").Integer(seconds);
    PrintLine(line);
    return;
  }
  m_out << "result: " << result << " (" << ResultName(result) << ") after " << seconds << " s: " << outcomeText << "\n";
}

void UpdateReport::After(bool back, const FirmSlots& slots, const CDeviceSession::Versions& versions) {
  if (m_json) {
    JsonWriter line = EventLine("after");
    WriteComponents(line.Key("mode").String(back ? "normal" : "absent").Key("components"), slots, versions);
    PrintLine(line);
    return;
  }
  if (back) {
    m_out << "after: QX-80 in " << DeviceModeName(DEVICE_MODE_NORMAL) << "\n";
    PrintVersions(m_out, slots, versions);
  } else {
    m_out << "after: the device has not come back in normal mode\n";
  }
}

int UpdateReport::End(UpdateStatus status, const Remedy* remedy) {
  Break();
  const int exit = ExitStatus(status);
  m_transcript.SayIncomplete(m_err);
  if (m_json) {
    m_out << EndLine(status, remedy, m_transcript.State()) << std::flush;
    return exit;
  }
  if (status == UpdateStatus::Confirmed) {
    m_out << "confirmed: the QX-80 runs the package's versions\n";
  } else if (status == UpdateStatus::Rehearsed) {
    m_out << "dry run: only reads reached the QX-80; nothing was changed\n";
  } else if (status == UpdateStatus::Unconfirmed && remedy != nullptr) {
    m_out << "unconfirmed: " << remedy->what << "\n";
  }
  if (remedy != nullptr) {
    PrintRemedy(m_err, *remedy);
  }
  return exit;
}

std::string UpdateReport::EndLine(UpdateStatus status, const Remedy* remedy, const std::string& transcript) {
  JsonWriter line = EventLine("end");
  line.Key("status").String(StatusWord(status)).Key("exit").Integer(ExitStatus(status)).Key("remedy");
  if (remedy != nullptr) {
    line.String(remedy->todo);
  } else {
    line.Null();
  }
  line.Key("transcript");
  if (transcript.empty()) {
    line.Null();
  } else {
    line.String(transcript);
  }
  return line.EndObject().Text() + "\n";
}

}  // namespace qx80::cli
