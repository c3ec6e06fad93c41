#pragma once
// A firmware package is one to five image parts laid end to end with no gap. Each part's kind
// and length come from its first bytes; the container's further conditions (size limits, the
// checksum, ...) are left to CFirmFile::Load.
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "firmware/firm_kind.h"

namespace qx80 {

constexpr int FIRM_PACKAGE_MAX_PARTS = 5;

struct PackagePart {
  FirmKind kind = FIRM_KIND_UNKNOWN;
  uint32_t offset = 0;  // from the start of the package
  uint32_t size = 0;

  bool operator==(const PackagePart&) const = default;
};

// What the first bytes of a part say: its kind and the length it declares, whether or not
// that many bytes follow.
struct PartHead {
  FirmKind kind = FIRM_KIND_UNKNOWN;
  uint64_t length = 0;
};
// Nothing when no kind is recognised or the header is too short to hold its length.
std::optional<PartHead> ReadPartHead(std::span<const uint8_t> rest);

// The parts of a package in order, as the updater splits it. The walk stops at the end of the
// package, after five parts, or at the first part that is not recognised; a declared length
// of 0 or past the end, and a header too short to hold its length, count as not recognised.
std::vector<PackagePart> SplitFirmPackage(std::span<const uint8_t> package);

}  // namespace qx80
