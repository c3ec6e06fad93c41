#include "updater/string_table.h"

#include <cstddef>
#include <cstdint>

#include "platform/byte_reader.h"
#include "platform/resources/resources.h"

namespace qx80 {
namespace {

constexpr int kStringsPerBlock = 16;
constexpr int kMaxStringId = 0xFFFF;

}  // namespace

std::u16string LoadResString(int id) {
  if (id < 0 || id > kMaxStringId) {
    return {};
  }
  return ReadStringTableEntry(
      FindResourceBytes(ResourceType::Number(RESOURCE_TYPE_STRING), static_cast<uint16_t>(id / kStringsPerBlock + 1)),
      id % kStringsPerBlock);
}

std::u16string ReadStringTableEntry(std::span<const uint8_t> block, int entry) {
  const ByteReader reader(block);
  size_t at = 0;
  uint16_t length = 0;
  for (int current = 0; reader.ReadU16LE(at, length) && reader.Has(at + 2, length * size_t{2}); ++current) {
    at += 2;
    if (current == entry) {
      std::u16string text;
      reader.ReadUtf16(at, length, text);
      return text;
    }
    at += length * size_t{2};
  }
  return {};
}

}  // namespace qx80
