#include "platform/hex.h"

#include "platform/parse_number.h"

namespace qx80 {

void AppendHexByte(std::string& out, uint8_t byte) {
  static constexpr char kDigits[] = "0123456789abcdef";
  out.push_back(kDigits[byte >> 4]);
  out.push_back(kDigits[byte & 0x0F]);
}

std::string HexBytes(std::span<const uint8_t> bytes) {
  std::string text;
  text.reserve(bytes.size() * 2);
  for (const uint8_t byte : bytes) {
    AppendHexByte(text, byte);
  }
  return text;
}

bool ParseHexBytes(std::string_view text, std::vector<uint8_t>& bytes) {
  if (text.size() % 2 != 0) {
    return false;
  }
  bytes.clear();
  for (size_t i = 0; i < text.size(); i += 2) {
    uint8_t byte = 0;
    if (!ParseWholeNumber(text.substr(i, 2), byte, 16)) {
      return false;
    }
    bytes.push_back(byte);
  }
  return true;
}

}  // namespace qx80
