#include "firmware/package_split.h"

#include <optional>

#include "firmware/image_layout.h"
#include "platform/byte_reader.h"

namespace qx80 {
namespace {

namespace L = firm_layout;

// Kind and length of the part at the start of rest, when both can be read and that many
// bytes remain.
std::optional<PackagePart> FindPart(std::span<const uint8_t> rest) {
  const auto head = ReadPartHead(rest);
  if (!head || head->length == 0 || head->length > rest.size()) {
    return std::nullopt;
  }
  return PackagePart{.kind = head->kind, .size = static_cast<uint32_t>(head->length)};
}

}  // namespace

std::optional<PartHead> ReadPartHead(std::span<const uint8_t> rest) {
  const ByteReader reader(rest);
  uint32_t field = 0;
  if (reader.Matches(0, L::TIPA_MAGIC)) {
    return PartHead{FIRM_KIND_TIPA, rest.size()};
  }
  if (reader.Matches(0, L::AGPF_MAGIC)) {
    if (!reader.ReadU32LE(L::AGPF_LENGTH, field)) {
      return std::nullopt;
    }
    return PartHead{FIRM_KIND_AGPF, uint64_t{field} + L::AGPF_LENGTH_EXTRA};
  }
  for (const auto& k : L::HEADER_KINDS) {
    if (reader.Matches(L::HEADER_MAGIC, k.magic)) {
      if (!reader.ReadU32LE(L::HEADER_PART_LENGTH, field)) {
        return std::nullopt;
      }
      return PartHead{k.kind, field};
    }
  }
  return std::nullopt;
}

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
