// qx80 list: every QX-80 on the bus, with its mode, its path and, where it answers, its
// versions; the index and the path are what --index and --path of the other commands take.
#include <memory>
#include <vector>

#include "cli/commands.h"
#include "cli/device_report.h"
#include "cli/exit_codes.h"
#include "cli/json_writer.h"
#include "cli/remedies.h"
#include "cli/session_log.h"
#include "cli/text_output.h"
#include "link/device_choice.h"
#include "link/device_link.h"
#include "platform/visible_text.h"

namespace qx80::cli {
namespace {

constexpr const char* LIST_HELP =
    "Lists every QX-80 on the bus: its index, its mode, its path and the versions of its five\n"
    "components where it answers. --index N or --path P choose one of them for status, update\n"
    "and command when several are present.\n"
    "Exit status: 0 when at least one QX-80 is present, 1 when none is.\n";

struct ListedDevice {
  Qx80Interface device;
  CDeviceSession::Versions versions;
};

// Each device alone on the bus while its versions are read, so no other is opened.
std::vector<ListedDevice> ReadDevices() {
  std::vector<ListedDevice> listed;
  HidBackend& bus = CurrentHidBackend();
  char window = 0;  // only its address is used; nothing is posted without watching
  for (const Qx80Interface& device : ListQx80(bus)) {
    ChosenDeviceBackend alone(bus, device);
    ScopedHidBackend scoped(alone);
    const auto session = CDeviceSession::Create(&window);
    session->ConnectDevice(device.mode);
    listed.push_back({device, session->DeviceVersions()});
  }
  return listed;
}

void PrintText(std::ostream& out, const std::vector<ListedDevice>& listed) {
  for (size_t i = 0; i < listed.size(); ++i) {
    out << i << ": QX-80 in " << DeviceModeName(listed[i].device.mode) << " at " << VisibleText(listed[i].device.path)
        << "\n";
    PrintDeviceVersions(out, listed[i].versions);
  }
}

void PrintJson(std::ostream& out, const std::vector<ListedDevice>& listed) {
  JsonWriter json;
  json.BeginObject().Key("devices").BeginArray();
  for (size_t i = 0; i < listed.size(); ++i) {
    json.BeginObject()
        .Key("index")
        .Integer(i)
        .Key("path")
        .String(listed[i].device.path)
        .Key("mode")
        .String(DeviceModeWord(listed[i].device.mode));
    WriteVersions(json.Key("versions"), listed[i].versions);
    json.EndObject();
  }
  out << json.EndArray().EndObject().Text() << "\n";
}

}  // namespace

int RunList(std::span<const std::string> args, std::ostream& out, std::ostream& err) {
  DeviceOptions options;
  if (const auto done = ParseDeviceCommand(LIST_COMMAND, LIST_HELP, args, {.json = true}, false, options, out, err)) {
    return *done;
  }
  DeviceLink link(options.speed, options.timeOuts);
  if (const OpenFailure failure = ReachDevice(link, options, Access::Read, err); failure != OpenFailure::None) {
    return ExitBeforeStart(failure, err);
  }
  if (!StartSessionLog(link, options, err)) {
    return EXIT_USAGE;
  }
  const TranscriptWatch transcript(link, options);
  const std::vector<ListedDevice> listed = ReadDevices();
  if (options.json) {
    PrintJson(out, listed);
  } else {
    PrintText(out, listed);
  }
  if (listed.empty()) {
    PrintNoDevice(err, options);
    PrintRemedy(err, *RemedyFor(Situation::NoDevice));
    transcript.SayIncomplete(err);
    return EXIT_FAILED;
  }
  transcript.SayIncomplete(err);
  return EXIT_DONE;
}

const Command LIST_COMMAND = {"list", &RunList,
                              "[-h] [--json] [--device D] [--log FILE] [--speed X [--scale-time-outs]]",
                              "show every QX-80 present: index, mode, path and versions"};

}  // namespace qx80::cli
