#include "platform/resources/res_file.h"

#include <cstddef>
#include <optional>
#include <string>

#include "platform/byte_reader.h"

namespace qx80 {
namespace {

constexpr size_t kLengthsSize = 8;       // data size, header size
constexpr size_t kFixedHeaderTail = 16;  // data version, flags, language, version, characteristics

// A type or name field of a record header: a number, or a name stored in the header.
struct NameOrId {
  bool isNumber = false;
  uint16_t number = 0;
  std::u16string name;
};

// Reads one field at `at` within `header`; advances `at` past it. nullopt when it runs out.
std::optional<NameOrId> ReadNameOrId(const ByteReader& header, size_t& at) {
  uint16_t first = 0;
  if (!header.ReadU16LE(at, first)) {
    return std::nullopt;
  }
  NameOrId field;
  if (first == 0xFFFF) {
    field.isNumber = true;
    if (!header.ReadU16LE(at + 2, field.number)) {
      return std::nullopt;
    }
    at += 4;
    return field;
  }
  if (!header.ReadUtf16Terminated(at, field.name, at)) {
    return std::nullopt;
  }
  return field;
}

bool TypeMatches(const NameOrId& field, const ResourceType& type) {
  if (type.name.empty()) {
    return field.isNumber && field.number == type.number;
  }
  return !field.isNumber && EqualsIgnoringAsciiCase(field.name, type.name);
}

}  // namespace

std::span<const uint8_t> FindInResFile(std::span<const uint8_t> res, ResourceType type, uint16_t id) {
  const ByteReader file(res);
  size_t at = 0;
  uint32_t dataSize = 0;
  uint32_t headerSize = 0;
  while (file.ReadU32LE(at, dataSize) && file.ReadU32LE(at + 4, headerSize)) {
    std::span<const uint8_t> header;
    std::span<const uint8_t> data;
    if (headerSize < kLengthsSize || !file.Slice(at, headerSize, header) ||
        !file.Slice(at + headerSize, dataSize, data)) {
      return {};
    }
    const ByteReader fields(header);
    size_t field = kLengthsSize;
    const auto recordType = ReadNameOrId(fields, field);
    const auto recordName = recordType ? ReadNameOrId(fields, field) : std::nullopt;
    if (!recordName || !fields.Has(AlignUp4(field), kFixedHeaderTail)) {
      return {};
    }
    if (TypeMatches(*recordType, type) && recordName->isNumber && recordName->number == id) {
      return data;
    }
    at = AlignUp4(at + headerSize + dataSize);
  }
  return {};
}

}  // namespace qx80
