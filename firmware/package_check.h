#pragma once
// Everything a package's bytes say about it before any of it is written: its parts as the
// updater splits them, each part's verdict from the image container, and whether bytes are
// left over after the last part (a part cut short, or data that is no part).
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "firmware/firm_file.h"
#include "firmware/package_split.h"

namespace qx80 {

struct PartCheck {
  PackagePart part;
  FirmLoad load = FirmLoad::Ok;  // the container's verdict
  std::u16string version;        // the text shown to users; empty when the part failed its check
};

// Why bytes are left after the last part.
enum class PackageRest {
  None,       // the parts cover the package
  Truncated,  // a part is recognised, but it declares more bytes than remain
  NoPart,     // the bytes that remain are no part the updater knows
  Beyond,     // the package holds more parts than the updater takes
};

struct PackageCheck {
  uint32_t size = 0;
  std::vector<PartCheck> parts;
  PackageRest rest = PackageRest::None;
  FirmKind restKind = FIRM_KIND_UNKNOWN;  // Truncated: the kind of the part cut short
  uint64_t restDeclared = 0;              // Truncated: the length that part declares

  // Where the parts end: the bytes from here on are left over.
  uint32_t UsedBytes() const;
  // Every part accepted and every byte used.
  bool Sound() const;
};

// Checks `package` as the updater takes it apart; the bytes are only read.
PackageCheck CheckPackage(std::span<const uint8_t> package);

}  // namespace qx80
