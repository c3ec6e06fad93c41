#include "cli/update_dry_run.h"

#include <chrono>
#include <optional>
#include <sstream>
#include <string_view>
#include <vector>

#include "cli/commands.h"
#include "cli/device_report.h"
#include "cli/exit_codes.h"
#include "cli/json_writer.h"
#include "cli/package_and_device.h"
#include "cli/session_log.h"
#include "cli/text_output.h"
#include "cli/update_report.h"
#include "firmware/firm_kind.h"
#include "platform/utf.h"
#include "protocol/firmware_transfer.h"
#include "protocol/protocol_result.h"
#include "protocol/version_query.h"
#include "workers/firm_updater.h"

namespace qx80::cli {
namespace {

// The twin's clock runs this much faster than real time: the whole rehearsal takes about a
// second, and the twin still leaves the bus long after the host has read its acknowledgement,
// even on a busy machine.
constexpr double kRehearsalSpeed = 20;

struct PartPlan {
  FirmKind kind;
  uint32_t bytes;
  uint32_t blocks;
};

struct Plan {
  std::vector<PartPlan> parts;
  uint64_t bytes = 0;
  uint64_t blocks = 0;
  uint64_t fullSpeedMs = 0;
  uint64_t longestMs = 0;
};

Plan MakePlan(const FirmSlots& slots) {
  Plan plan;
  plan.fullSpeedMs = CFirmUpdater::FullSpeedMs(slots);
  plan.longestMs = CFirmUpdater::TimeBoundMs(slots);
  // The worker writes the filled slots in kind order.
  for (int kind = 0; kind < FIRM_SLOT_COUNT; ++kind) {
    if (slots.Data(kind) != nullptr) {
      const uint32_t size = slots.Size(kind);
      const uint32_t blocks = (size + kFirmBlockSize - 1) / kFirmBlockSize;
      plan.parts.push_back({static_cast<FirmKind>(kind), size, blocks});
      plan.bytes += size;
      plan.blocks += blocks;
    }
  }
  return plan;
}

void PrintPlan(std::ostream& out, const Plan& plan, int32_t mode, bool needed, bool yes) {
  out << "plan: "
      << (mode == DEVICE_MODE_UPDATE ? "the QX-80 is in its update mode already"
                                     : "switch the QX-80 to its update mode")
      << ", let it settle 10 s, write " << plan.parts.size() << " part" << (plan.parts.size() == 1 ? "" : "s")
      << ", restart it in normal mode\n";
  for (const PartPlan& part : plan.parts) {
    out << "  " << FirmKindName(part.kind) << ": " << part.bytes << " bytes in " << part.blocks << " blocks\n";
  }
  out << "  all: " << plan.bytes << " bytes in " << plan.blocks << " blocks\n"
      << "  time on a full-speed link: " << DurationText(std::chrono::milliseconds(plan.fullSpeedMs))
      << " and the QX-80's restarts; longest it may take: " << DurationText(std::chrono::milliseconds(plan.longestMs))
      << "\n"
      << "update needed: "
      << (needed ? "yes"
          : yes  ? "no (--yes: it would be written all the same)"
                 : "no (qx80 update would ask first)")
      << "\n";
}

void PrintPlanJson(std::ostream& out, const Plan& plan, bool needed) {
  JsonWriter json;
  json.BeginObject().Key("event").String("plan").Key("parts").BeginArray();
  for (const PartPlan& part : plan.parts) {
    json.BeginObject()
        .Key("name")
        .String(FirmKindName(part.kind))
        .Key("bytes")
        .Integer(part.bytes)
        .Key("blocks")
        .Integer(part.blocks)
        .EndObject();
  }
  json.EndArray()
      .Key("bytes")
      .Integer(plan.bytes)
      .Key("blocks")
      .Integer(plan.blocks)
      .Key("full_speed_seconds")
      .Integer((plan.fullSpeedMs + 999) / 1000)
      .Key("longest_seconds")
      .Integer((plan.longestMs + 999) / 1000)
      .Key("update_needed")
      .Bool(needed)
      .EndObject();
  out << json.Text() << "\n" << std::flush;
}

std::string Unquoted(const std::string& text) {
  return text.size() >= 2 && text.front() == '"' ? text.substr(1, text.size() - 2) : text;
}

struct Rehearsal {
  int exit = EXIT_FAILED;
  std::string code = "null";  // the update's result code, as the twin's run printed it
  std::string name;
  std::string status = "failed";
  std::string remedy = "null";
  std::string messages;  // what the rehearsal said on its error stream
};

// The whole update, run by the tool's own update command against a healthy simulated QX-80 in
// this process, in the device's mode and with its versions, on a sped-up clock.
Rehearsal Rehearse(const DeviceOptions& options, int32_t mode, const CDeviceSession::Versions& versions) {
  DeviceOptions twin;
  twin.command = options.command;
  twin.device = mode == DEVICE_MODE_UPDATE ? "sim:start-in-update-mode" : "sim:ok";
  twin.package = options.package;
  twin.speed = kRehearsalSpeed;
  twin.yes = true;
  twin.json = true;
  for (size_t slot = 0; slot < kComponentSlots; ++slot) {
    twin.simVersions.emplace_back(kVersionSelectors[slot], Utf8FromUtf16(versions[slot]));
  }
  std::ostringstream out;
  std::ostringstream err;
  Rehearsal rehearsal;
  rehearsal.exit = UpdateDevice(twin, out, err);
  rehearsal.messages = err.str();
  std::istringstream lines(out.str());
  for (std::string line; std::getline(lines, line);) {
    const std::string event = JsonField(line, "event");
    if (event == "\"result\"") {
      rehearsal.code = JsonField(line, "code");
      rehearsal.name = Unquoted(JsonField(line, "name"));
    } else if (event == "\"end\"") {
      rehearsal.status = Unquoted(JsonField(line, "status"));
      rehearsal.remedy = JsonField(line, "remedy");
    }
  }
  return rehearsal;
}

std::string PackageVersions(const FirmSlots& slots) {
  std::string text;
  for (int kind = 0; kind < FIRM_SLOT_COUNT; ++kind) {
    if (slots.Data(kind) != nullptr) {
      text += (text.empty() ? "" : ", ") + std::string(FirmKindName(static_cast<FirmKind>(kind))) + " " +
              Printable(slots.Version(kind));
    }
  }
  return text;
}

}  // namespace

int RunDryRun(const DeviceOptions& options, std::ostream& out, std::ostream& err) {
  // The dry run holds the device's lock as an update would: its reads must not interleave with
  // another program's update. Only this first look reaches the device: the watcher's probe, the
  // channel and the version queries. It ends, link and session, before the rehearsal sets up
  // its own; the transcript's fate is kept for the end.
  std::optional<PackageAndDevice> both(std::in_place, options, Access::Write);
  TranscriptWatch transcript(both->Link(), options);
  UpdateReport report(out, err, options.json, false, 0, transcript);
  if (const OpenFailure failure = both->Open(err); failure != OpenFailure::None) {
    return report.End(ExitStatusOf(failure) == EXIT_FAILED ? UpdateStatus::Failed : UpdateStatus::Refused,
                      RemedyOf(failure));
  }
  const int32_t mode = both->WaitForDevice();
  if (mode == DEVICE_MODE_ABSENT) {
    PrintNoDevice(err, options);
    return report.End(UpdateStatus::Failed, RemedyFor(Situation::NoDevice));
  }
  const CDeviceSession::Versions versions = both->Session().DeviceVersions();
  report.Before(mode, both->Slots(), versions);
  const Plan plan = MakePlan(both->Slots());
  const bool needed = UpdateNeeded(mode, both->Slots(), versions);
  if (options.json) {
    PrintPlanJson(out, plan, needed);
  } else {
    const size_t parts = both->Package().parts.size();
    out << "package: " << parts << " part" << (parts == 1 ? "" : "s") << ", each passes its check\n";
    PrintPlan(out, plan, mode, needed, options.yes);
    out << "rehearsal: the whole update against a simulated twin of this QX-80 (" << DeviceModeName(mode)
        << ", its versions)...\n"
        << std::flush;
  }
  const std::string packageVersions = PackageVersions(both->Slots());
  transcript.Keep();
  both.reset();
  const Rehearsal rehearsal = Rehearse(options, mode, versions);
  const bool confirmed = rehearsal.exit == EXIT_DONE;
  if (options.json) {
    JsonWriter json;
    json.BeginObject().Key("event").String("rehearsal").Key("code").Literal(rehearsal.code).Key("name");
    if (rehearsal.name.empty()) {
      json.Null();
    } else {
      json.String(rehearsal.name);
    }
    json.Key("status")
        .String(rehearsal.status)
        .Key("exit")
        .Integer(rehearsal.exit)
        .Key("remedy")
        .Literal(rehearsal.remedy);
    out << json.EndObject().Text() << "\n";
  } else {
    out << "rehearsal: "
        << (rehearsal.name.empty() ? "no result" : "result " + rehearsal.code + " (" + rehearsal.name + ")") << ", "
        << rehearsal.status << "\n";
    if (confirmed) {
      out << "expected outcome: the QX-80 is updated and restarts in normal mode with " << packageVersions
          << " (exit status 0)\n";
    } else {
      out << "expected outcome: the update would not end confirmed (exit status " << rehearsal.exit << ")\n";
      err << rehearsal.messages;
    }
  }
  return report.End(confirmed ? UpdateStatus::Rehearsed : UpdateStatus::Failed, nullptr);
}

}  // namespace qx80::cli
