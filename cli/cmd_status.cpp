// qx80 status: the device's mode and versions beside the package's, and whether an update is
// needed.
#include <optional>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/device_report.h"
#include "cli/exit_codes.h"
#include "cli/json_writer.h"
#include "cli/package_and_device.h"
#include "cli/package_report.h"
#include "cli/remedies.h"
#include "cli/session_log.h"
#include "cli/text_output.h"
#include "platform/clock.h"

namespace qx80::cli {
namespace {

constexpr const char* STATUS_HELP =
    "Finds the QX-80, reads the versions of its five components and shows them beside the\n"
    "package's, and whether an update is needed: always for a device in its update mode, else\n"
    "when the package holds a newer version of a component (or another lettered one). A part of\n"
    "the package that fails its check shows as damaged, and every fault of the package (a damaged\n"
    "part, bytes after the last part) is named on standard error: qx80 update refuses such a\n"
    "package before it touches the device.\n";

// A device not found, as a script reads it.
void PrintAbsent(std::ostream& out) {
  out << JsonWriter().BeginObject().Key("mode").String("absent").EndObject().Text() << "\n";
}

}  // namespace

int RunStatus(std::span<const std::string> args, std::ostream& out, std::ostream& err) {
  DeviceOptions options;
  if (const auto done = ParseDeviceCommand(STATUS_COMMAND, STATUS_HELP, args,
                                           {.package = true, .choose = true, .json = true}, false, options, out, err)) {
    return *done;
  }
  PackageAndDevice both(options, Access::Read);
  if (const OpenFailure failure = both.Open(err); failure != OpenFailure::None) {
    // A device not reached is no device to a script, as in update's end line.
    if (options.json && ExitStatusOf(failure) == EXIT_FAILED) {
      PrintAbsent(out);
    }
    return ExitBeforeStart(failure, err);
  }
  const TranscriptWatch transcript(both.Link(), options);
  const int32_t mode = both.WaitForDevice();
  if (mode == DEVICE_MODE_ABSENT) {
    if (options.json) {
      PrintAbsent(out);
    }
    PrintNoDevice(err, options);
    PrintRemedy(err, *RemedyFor(Situation::NoDevice));
    transcript.SayIncomplete(err);
    return EXIT_FAILED;
  }
  const FirmSlots& slots = both.Slots();
  CDeviceSession& session = both.Session();
  const bool needed = UpdateNeeded(mode, slots, session.DeviceVersions());
  const std::vector<std::string> problems = PackageProblems(both.Package());
  if (options.json) {
    const std::string path = both.Link().Chosen() != nullptr ? both.Link().Chosen()->CurrentPath() : "";
    JsonWriter json;
    json.BeginObject().Key("mode").String(DeviceModeWord(mode)).Key("path");
    if (path.empty()) {
      json.Null();
    } else {
      json.String(path);
    }
    WriteComponents(json.Key("channel").Bool(session.IsConnected()).Key("components"), slots, session.DeviceVersions());
    json.Key("update_needed").Bool(needed).Key("package_problems").BeginArray();
    for (const std::string& problem : problems) {
      json.String(problem);
    }
    out << json.EndArray().EndObject().Text() << "\n";
  } else {
    out << "device: QX-80 in " << DeviceModeName(mode) << (session.IsConnected() ? "" : " (no channel)") << "\n";
    PrintVersions(out, slots, session.DeviceVersions());
    out << "update needed: " << (needed ? "yes" : "no") << "\n";
  }
  if (mode == DEVICE_MODE_UPDATE) {
    (options.json ? err : out) << kLeftInUpdateMode << "\n";
  }
  for (const std::string& problem : problems) {
    err << "qx80: the package's " << problem << "; qx80 update refuses it\n";
  }
  if (!AnyVersionRead(session.DeviceVersions())) {
    err << "qx80: the device gave no version\n";
    transcript.SayIncomplete(err);
    return EXIT_FAILED;
  }
  transcript.SayIncomplete(err);
  return EXIT_DONE;
}

const Command STATUS_COMMAND = {
    "status", &RunStatus,
    "[-h] [--json] [--device D] [--path P | --index N] [--package FILE] [--log FILE] [--speed X [--scale-time-outs]]",
    "show the device's mode and versions beside the package's"};

}  // namespace qx80::cli
