#include "firmware/package_split.h"

#include <optional>

#include "firmware/image_layout.h"
#include "platform/byte_reader.h"

namespace qx80 {
namespace {

namespace L = firm_layout;

// Kind and length of the part at the start of rest, when both can be read.
std::optional<PackagePart> FindPart(std::span<const uint8_t> rest) {
  const ByteReader reader(rest);
  PackagePart part;
  uint64_t length = 0;
  uint32_t field = 0;
  if (reader.Matches(0, L::TIPA_MAGIC)) {
    part.kind = FIRM_KIND_TIPA;
    length = rest.size();
  } else if (reader.Matches(0, L::AGPF_MAGIC)) {
    if (!reader.ReadU32LE(L::AGPF_LENGTH, field)) {
      return std::nullopt;
    }
    part.kind = FIRM_KIND_AGPF;
    length = uint64_t{field} + L::AGPF_LENGTH_EXTRA;
  } else {
    for (const auto& k : L::HEADER_KINDS) {
      if (reader.Matches(L::HEADER_MAGIC, k.magic)) {
        if (!reader.ReadU32LE(L::HEADER_PART_LENGTH, field)) {
          return std::nullopt;
        }
        part.kind = k.kind;
        length = field;
        break;
      }
    }
  }
  if (part.kind == FIRM_KIND_UNKNOWN || length == 0 || length > rest.size()) {
    return std::nullopt;
  }
  part.size = static_cast<uint32_t>(length);
  return part;
}

}  // namespace

std::vector<PackagePart> SplitFirmPackage(std::span<const uint8_t> package) {
  std::vector<PackagePart> parts;
  size_t offset = 0;
  while (offset < package.size() && parts.size() < FIRM_PACKAGE_MAX_PARTS) {
    auto part = FindPart(package.subspan(offset));
    if (!part) {
      break;
    }
    part->offset = static_cast<uint32_t>(offset);
    parts.push_back(*part);
    offset += part->size;
  }
  return parts;
}

}  // namespace qx80
