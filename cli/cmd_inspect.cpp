// qx80 inspect: how the updater would take a firmware package apart, and what the image
// container says about each part and about the whole file.
#include <string_view>
#include <vector>

#include "cli/commands.h"
#include "cli/exit_codes.h"
#include "cli/json_writer.h"
#include "cli/package_report.h"
#include "cli/text_output.h"
#include "firmware/file_bytes.h"
#include "firmware/firm_file.h"
#include "firmware/firm_kind.h"
#include "firmware/package_check.h"
#include "platform/command_line.h"
#include "platform/visible_text.h"

namespace qx80::cli {
namespace {

constexpr const char* INSPECT_HELP =
    "Splits FILE into its parts as the updater does and shows, for each part, its kind, offset,\n"
    "size, the image container's result (0 accepted, -5 not recognised, -7 checksum mismatch)\n"
    "and the version text shown to the user; then the container's result for the whole file\n"
    "taken as one image and as a SIAM wrapper.\n"
    "\n";
constexpr const char* INSPECT_EXIT_STATUS =
    "\n"
    "Exit status: 0 when at least one part goes into an image slot, 1 when none does,\n"
    "2 when FILE cannot be read or the arguments are wrong.\n";

struct InspectOptions {
  bool help = false;
  bool json = false;
};

const OptionEntry<InspectOptions> kInspectOptions[] = {
    {{"--help", "-h", "", "this text"},
     [](const std::string&, InspectOptions& options, std::ostream&) { return options.help = true; }},
    {{"--json", "", "",
      "print one JSON object:\n"
      "{\"size\": N, \"parts\": [{\"kind\": K, \"offset\": O, \"size\": S, \"load\": R,\n"
      " \"version\": \"V\"}], \"image\": {\"load\": R, \"kind\": K}, \"siam\": {\"load\": R, \"size\": S}}"},
     [](const std::string&, InspectOptions& options, std::ostream&) { return options.json = true; }},
};

struct InspectReport {
  PackageCheck package;
  FirmLoad imageLoad = FirmLoad::Ok;
  FirmKind imageKind = FIRM_KIND_UNKNOWN;
  FirmLoad siamLoad = FirmLoad::Ok;
  uint32_t siamSize = 0;
};

// The container works on writable bytes and restores them, so one buffer serves every check.
InspectReport Inspect(std::vector<uint8_t>& file) {
  InspectReport report{.package = CheckPackage(file)};
  const auto size = static_cast<uint32_t>(file.size());
  CFirmFile image;
  report.imageLoad = image.Load(file.data(), size);
  report.imageKind = image.GetKind();
  CFirmFile siam;
  report.siamLoad = siam.LoadSiam(file.data(), size);
  if (report.siamLoad == FirmLoad::Ok) {
    siam.GetData(&report.siamSize);
  }
  return report;
}

const char* KindName(FirmKind kind) {
  const char* name = FirmKindName(kind);
  return name != nullptr ? name : "not recognised";
}

const char* LoadMeaning(FirmLoad load) {
  switch (load) {
    case FirmLoad::Ok:
      return "accepted";
    case FirmLoad::BadChecksum:
      return "checksum mismatch";
    default:
      return "not recognised";
  }
}

void PrintJson(const InspectReport& report, std::ostream& out) {
  const PackageCheck& package = report.package;
  JsonWriter json;
  json.BeginObject().Key("size").Integer(package.size).Key("parts").BeginArray();
  for (const PartCheck& p : package.parts) {
    json.BeginObject()
        .Key("kind")
        .Integer(p.part.kind)
        .Key("offset")
        .Integer(p.part.offset)
        .Key("size")
        .Integer(p.part.size)
        .Key("load")
        .Integer(FirmLoadNumber(p.load))
        .Key("version")
        .String(p.version)
        .EndObject();
  }
  json.EndArray()
      .Key("image")
      .BeginObject()
      .Key("load")
      .Integer(FirmLoadNumber(report.imageLoad))
      .Key("kind")
      .Integer(report.imageKind)
      .EndObject()
      .Key("siam")
      .BeginObject()
      .Key("load")
      .Integer(FirmLoadNumber(report.siamLoad))
      .Key("size")
      .Integer(report.siamSize)
      .EndObject()
      .EndObject();
  out << json.Text() << "\n";
}

void PrintText(const std::string& name, const InspectReport& report, std::ostream& out) {
  const PackageCheck& package = report.package;
  out << VisibleText(name) << ": " << package.size << " bytes, " << package.parts.size() << " part"
      << (package.parts.size() == 1 ? "" : "s") << "\n";
  for (size_t i = 0; i < package.parts.size(); ++i) {
    const PartCheck& p = package.parts[i];
    out << "  part #" << i + 1 << ": kind " << p.part.kind << " (" << KindName(p.part.kind) << "), offset "
        << p.part.offset << ", size " << p.part.size << ", load " << FirmLoadNumber(p.load) << " ("
        << LoadMeaning(p.load) << "), version \"" << Printable(p.version) << "\"\n";
  }
  if (package.rest != PackageRest::None) {
    out << "  " << DescribePackageRest(package) << "\n";
  }
  // A package of several parts is never one image: each part carries its own check value, so
  // the whole file taken as one fails its check as a matter of course.
  if (package.parts.size() > 1) {
    out << "whole file: a package of " << package.parts.size() << " parts, not one image (taken as one, load "
        << FirmLoadNumber(report.imageLoad) << ", as expected)\n";
  } else {
    out << "whole file as one image: load " << FirmLoadNumber(report.imageLoad) << " (" << LoadMeaning(report.imageLoad)
        << "), kind " << report.imageKind << " (" << KindName(report.imageKind) << ")\n";
  }
  out << "whole file as a SIAM wrapper: load " << FirmLoadNumber(report.siamLoad) << " ("
      << LoadMeaning(report.siamLoad) << "), payload " << report.siamSize << " bytes\n";
}

}  // namespace

const Command INSPECT_COMMAND = {"inspect", RunInspect, "[-h] [--json] FILE",
                                 "show how the updater splits a firmware package and checks its parts"};

int RunInspect(std::span<const std::string> args, std::ostream& out, std::ostream& err) {
  InspectOptions options;
  std::vector<std::string> positional;
  if (!ParseOptions<InspectOptions>("qx80", args, kInspectOptions, options, positional, err)) {
    err << "usage: qx80 inspect " << INSPECT_COMMAND.usage << "\n";
    return EXIT_USAGE;
  }
  if (options.help) {
    out << "usage: qx80 inspect " << INSPECT_COMMAND.usage << "\n\n" << INSPECT_HELP;
    PrintOptionHelp(out, OptionRows(kInspectOptions));
    out << INSPECT_EXIT_STATUS;
    return EXIT_DONE;
  }
  if (positional.size() != 1) {
    err << (positional.empty() ? "" : "qx80 inspect: one FILE only\n") << "usage: qx80 inspect "
        << INSPECT_COMMAND.usage << "\n";
    return EXIT_USAGE;
  }
  const std::string& file = positional.front();
  std::string why;
  auto bytes = ReadWholeFile(PathFromArgument(file), &why);
  if (!bytes) {
    err << "qx80 inspect: cannot read " << file << ": " << why << "\n";
    return EXIT_USAGE;
  }
  const InspectReport report = Inspect(*bytes);
  if (options.json) {
    PrintJson(report, out);
  } else {
    PrintText(file, report, out);
  }
  return report.package.parts.empty() ? EXIT_FAILED : EXIT_DONE;
}

}  // namespace qx80::cli
