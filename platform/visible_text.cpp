#include "platform/visible_text.h"

#include "platform/hex.h"

namespace qx80 {
namespace {

void AppendEscaped(std::string& out, unsigned char byte) {
  out += "\\x";
  AppendHexByte(out, byte);
}

}  // namespace

std::string VisibleText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    const bool c1 = byte == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
                    static_cast<unsigned char>(text[i + 1]) <= 0x9F;
    if (c1) {
      AppendEscaped(out, byte);
      AppendEscaped(out, static_cast<unsigned char>(text[++i]));
    } else if (byte < 0x20 || byte == 0x7F) {
      AppendEscaped(out, byte);
    } else {
      out.push_back(static_cast<char>(byte));
    }
  }
  return out;
}

}  // namespace qx80
