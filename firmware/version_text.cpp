#include "firmware/version_text.h"

#include <algorithm>

namespace qx80 {
namespace {

constexpr size_t SHOWN_VERSION_LENGTH = 4;
constexpr char16_t REPLACEMENT_CHARACTER = u'\uFFFD';

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

}  // namespace

std::u16string DisplayVersionText(std::string_view raw) {
  std::string_view text = raw.substr(0, std::min(raw.find('\0'), SHOWN_VERSION_LENGTH));
  while (text.size() >= 2 && text[0] == '0' && IsDigit(text[1])) {
    text.remove_prefix(1);
  }
  std::u16string wide;
  wide.reserve(text.size());
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    wide.push_back(byte < 0x80 ? static_cast<char16_t>(byte) : REPLACEMENT_CHARACTER);
  }
  return wide;
}

}  // namespace qx80
