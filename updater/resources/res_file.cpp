#include "updater/resources/res_file.h"

#include <cstddef>
#include <optional>

namespace qx80 {
namespace {

constexpr size_t kFixedHeaderTail = 16;  // data version, flags, language, version, characteristics

uint16_t Word(std::span<const uint8_t> b, size_t at) {
  return static_cast<uint16_t>(b[at] | (b[at + 1] << 8));
}

uint32_t Dword(std::span<const uint8_t> b, size_t at) {
  return static_cast<uint32_t>(b[at]) | (static_cast<uint32_t>(b[at + 1]) << 8) |
         (static_cast<uint32_t>(b[at + 2]) << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}

char16_t AsciiUpper(char16_t c) {
  return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - u'a' + u'A') : c;
}

// A type or name field of a record header: a number, or a name stored in the header.
struct NameOrId {
  bool isNumber = false;
  uint16_t number = 0;
  std::span<const uint8_t> name;  // UTF-16LE units without the terminator
};

// Reads one field at `at` within `header`; advances `at` past it. nullopt when it runs out.
std::optional<NameOrId> ReadNameOrId(std::span<const uint8_t> header, size_t& at) {
  if (at + 2 > header.size()) return std::nullopt;
  if (Word(header, at) == 0xFFFF) {
    if (at + 4 > header.size()) return std::nullopt;
    NameOrId field{true, Word(header, at + 2), {}};
    at += 4;
    return field;
  }
  const size_t start = at;
  while (true) {
    if (at + 2 > header.size()) return std::nullopt;
    if (Word(header, at) == 0) break;
    at += 2;
  }
  NameOrId field{false, 0, header.subspan(start, at - start)};
  at += 2;
  return field;
}

bool TypeMatches(const NameOrId& field, const ResourceType& type) {
  if (type.name.empty()) return field.isNumber && field.number == type.number;
  if (field.isNumber || field.name.size() != type.name.size() * 2) return false;
  for (size_t i = 0; i < type.name.size(); ++i) {
    if (AsciiUpper(static_cast<char16_t>(Word(field.name, i * 2))) != AsciiUpper(type.name[i])) return false;
  }
  return true;
}

size_t AlignUp4(size_t n) {
  return (n + 3) & ~size_t{3};
}

}  // namespace

std::span<const uint8_t> FindInResFile(std::span<const uint8_t> res, ResourceType type, uint16_t id) {
  size_t at = 0;
  while (at + 8 <= res.size()) {
    const size_t dataSize = Dword(res, at);
    const size_t headerSize = Dword(res, at + 4);
    if (headerSize < 8 || headerSize > res.size() - at || dataSize > res.size() - at - headerSize) return {};
    const auto header = res.subspan(at, headerSize);
    size_t field = 8;
    const auto recordType = ReadNameOrId(header, field);
    const auto recordName = recordType ? ReadNameOrId(header, field) : std::nullopt;
    if (!recordName || AlignUp4(field) + kFixedHeaderTail > headerSize) return {};
    if (TypeMatches(*recordType, type) && recordName->isNumber && recordName->number == id) {
      return res.subspan(at + headerSize, dataSize);
    }
    at = AlignUp4(at + headerSize + dataSize);
  }
  return {};
}

}  // namespace qx80
