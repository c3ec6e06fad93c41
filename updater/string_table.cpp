#include "updater/string_table.h"

#include <cstddef>
#include <cstdint>

#include "platform/resources.h"

namespace qx80 {
namespace {

constexpr int kStringsPerBlock = 16;
constexpr int kMaxStringId = 0xFFFF;

uint16_t Unit(std::span<const uint8_t> b, size_t at) {
  return static_cast<uint16_t>(b[at] | (b[at + 1] << 8));
}

}  // namespace

std::u16string LoadResString(int id) {
  if (id < 0 || id > kMaxStringId) return {};
  const auto block =
      FindResourceBytes(ResourceType::Number(RESOURCE_TYPE_STRING), static_cast<uint16_t>(id / kStringsPerBlock + 1));
  size_t at = 0;
  for (int entry = 0;; ++entry) {
    if (at + 2 > block.size()) return {};
    const size_t length = Unit(block, at);
    at += 2;
    if (length * 2 > block.size() - at) return {};
    if (entry == id % kStringsPerBlock) {
      std::u16string text(length, u'\0');
      for (size_t i = 0; i < length; ++i) text[i] = static_cast<char16_t>(Unit(block, at + i * 2));
      return text;
    }
    at += length * 2;
  }
}

}  // namespace qx80
