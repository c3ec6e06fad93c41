#include "cli/update_report.h"

#include <algorithm>
#include <string>

#include "cli/device_report.h"
#include "cli/text_output.h"
#include "protocol/protocol_result.h"

namespace qx80::cli {
namespace {

constexpr int kBarWidth = 40;
// The worker's progress: 1 to 20 are the settling ticks, each part's writing starts at 21.
constexpr uint32_t kFirstWritingPercent = 21;

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
    default:
      return EXIT_FAILED;
  }
}

UpdateReport::UpdateReport(std::ostream& out, std::ostream& err, bool json, bool terminal)
    : m_out(out), m_err(err), m_json(json), m_terminal(terminal && !json) {}

void UpdateReport::Before(int32_t mode, const FirmSlots& slots, const CDeviceSession::Versions& versions) {
  if (m_json) {
    m_out << "{\"event\": \"before\", \"mode\": " << JsonString(DeviceModeWord(mode))
          << ", \"components\": " << JsonComponents(slots, versions) << "}\n"
          << std::flush;
    return;
  }
  m_out << "before: QX-80 in " << DeviceModeName(mode) << "\n";
  PrintVersions(m_out, slots, versions);
}

void UpdateReport::Phase(std::string_view phase) {
  if (m_json) {
    m_out << "{\"event\": \"phase\", \"phase\": " << JsonString(phase) << "}\n" << std::flush;
  } else if (phase == "started") {
    m_out << "updating...\n" << std::flush;
  } else if (phase == "restarting") {
    m_out << "waiting for the device to restart in normal mode...\n" << std::flush;
  }
}

void UpdateReport::Progress(uint32_t percent) {
  if (!m_settling && percent < kFirstWritingPercent) {
    m_settling = true;
    Phase("settling");
  }
  if (!m_writing && percent >= kFirstWritingPercent) {
    m_writing = true;
    Phase("writing");
  }
  if (percent == m_shown) {
    return;
  }
  m_shown = percent;
  if (m_json) {
    m_out << "{\"event\": \"progress\", \"percent\": " << percent << "}\n" << std::flush;
  } else if (!m_terminal) {
    m_out << "progress: " << percent << "%\n" << std::flush;
  } else {
    const int filled = static_cast<int>(std::min<uint32_t>(percent, 100)) * kBarWidth / 100;
    m_out << "\r  [" << std::string(static_cast<size_t>(filled), '#')
          << std::string(static_cast<size_t>(kBarWidth - filled), '-') << "] " << percent << "%" << std::flush;
  }
}

void UpdateReport::Break() {
  if (m_terminal && m_shown != kNone) {
    m_out << "\n";
  }
  m_shown = kNone;
}

void UpdateReport::Result(int32_t result, uint32_t seconds, std::string_view outcomeText) {
  Break();
  if (m_json) {
    m_out << "{\"event\": \"result\", \"code\": " << result << ", \"name\": " << JsonString(ResultName(result))
          << ", \"seconds\": " << seconds << "}\n"
          << std::flush;
    return;
  }
  m_out << "result: " << result << " (" << ResultName(result) << ") after " << seconds << " s: " << outcomeText << "\n";
}

void UpdateReport::After(bool back, const FirmSlots& slots, const CDeviceSession::Versions& versions) {
  if (m_json) {
    m_out << "{\"event\": \"after\", \"mode\": " << (back ? "\"normal\"" : "\"absent\"")
          << ", \"components\": " << JsonComponents(slots, versions) << "}\n"
          << std::flush;
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
  if (m_json) {
    m_out << "{\"event\": \"end\", \"status\": " << JsonString(StatusWord(status)) << ", \"exit\": " << exit
          << ", \"remedy\": " << (remedy != nullptr ? JsonString(remedy->todo) : std::string("null")) << "}\n"
          << std::flush;
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

}  // namespace qx80::cli
