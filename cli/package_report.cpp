#include "cli/package_report.h"

#include <optional>
#include <span>

#include "firmware/file_bytes.h"
#include "firmware/firm_file.h"
#include "platform/command_line.h"

namespace qx80::cli {
namespace {

std::string KindName(FirmKind kind) {
  const char* name = FirmKindName(kind);
  return name != nullptr ? name : "unknown";
}

std::string LoadFailure(FirmLoad load) {
  return load == FirmLoad::BadChecksum ? "checksum mismatch (load -7)" : "not a valid image (load -5)";
}

// Why a package yields no part at all.
std::string NoPartReason(const PackageCheck& check) {
  if (check.size == 0) {
    return "it is empty";
  }
  if (check.rest == PackageRest::Truncated) {
    return "it is cut short: its " + KindName(check.restKind) + " part declares " + std::to_string(check.restDeclared) +
           " bytes, the file holds " + std::to_string(check.size);
  }
  return "it is not a firmware package (no part the updater knows at its start)";
}

}  // namespace

bool LoadPackage(const DeviceOptions& options, FirmSlots& slots, PackageCheck& check, std::ostream& err) {
  // The carried package is checked and used where it lies; a file's bytes are read once and
  // then kept by the slots.
  std::vector<uint8_t> file;
  std::span<const uint8_t> bytes;
  if (options.package.empty()) {
    bytes = CarriedFirmwarePackage();
    if (bytes.empty()) {
      err << "qx80: this build carries no firmware package; give one with --package FILE\n";
      return false;
    }
  } else {
    std::string why;
    auto read = ReadWholeFile(PathFromArgument(options.package), &why);
    if (!read) {
      err << "qx80: cannot read the package " << options.package << ": " << why << "\n";
      return false;
    }
    file = std::move(*read);
    bytes = file;
  }
  check = CheckPackage(bytes);
  if (check.parts.empty()) {
    err << "qx80: cannot use " << (options.package.empty() ? "the carried package" : "the package " + options.package)
        << ": " << NoPartReason(check) << "\n";
    return false;
  }
  if (options.package.empty()) {
    return slots.LoadCarriedFirmware() != 0;
  }
  slots.ClearFirmSlots();
  return slots.LoadFirmPackageBytes(std::move(file)) != 0;
}

std::vector<std::string> PackageProblems(const PackageCheck& check) {
  std::vector<std::string> problems;
  for (size_t i = 0; i < check.parts.size(); ++i) {
    const PartCheck& p = check.parts[i];
    if (p.load != FirmLoad::Ok) {
      problems.push_back("part " + std::to_string(i + 1) + " (" + KindName(p.part.kind) + ", offset " +
                         std::to_string(p.part.offset) + ", " + std::to_string(p.part.size) +
                         " bytes) is damaged: " + LoadFailure(p.load));
    }
  }
  if (check.rest != PackageRest::None) {
    problems.push_back(DescribePackageRest(check));
  }
  return problems;
}

std::string DescribePackageRest(const PackageCheck& check) {
  const uint32_t used = check.UsedBytes();
  std::string text = std::to_string(check.size - used) + " bytes after the last part (from offset " +
                     std::to_string(used) + ") are not used: ";
  switch (check.rest) {
    case PackageRest::Truncated:
      return text + "a " + KindName(check.restKind) + " part that declares " + std::to_string(check.restDeclared) +
             " bytes, cut short";
    case PackageRest::Beyond:
      return text + "the updater takes at most five parts";
    default:
      return text + "no part the updater knows";
  }
}

}  // namespace qx80::cli
