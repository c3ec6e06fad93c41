#include "cli/text_output.h"

#include <cstdint>
#include <cstdio>

#include "platform/visible_text.h"

namespace qx80::cli {
namespace {

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

}  // namespace

std::string Utf8(std::u16string_view text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (IsHighSurrogate(c) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
      AppendUtf8(out, 0x10000 + ((char32_t{c} - 0xD800) << 10) + (char32_t{text[i + 1]} - 0xDC00));
      ++i;
    } else if (IsHighSurrogate(c) || IsLowSurrogate(c)) {
      AppendUtf8(out, kReplacementCharacter);
    } else {
      AppendUtf8(out, c);
    }
  }
  return out;
}

std::string Printable(std::u16string_view text) {
  return VisibleText(Utf8(text));
}

std::string DurationText(std::chrono::nanoseconds duration) {
  // Rounded up: a wait of "up to" the text never lasts longer than it says.
  const auto tenths = (duration + std::chrono::milliseconds(99)) / std::chrono::milliseconds(100);
  if (tenths < 100) {
    std::string text = std::to_string(tenths / 10);
    if (tenths % 10 != 0) {
      text += '.';
      text += std::to_string(tenths % 10);
    }
    return text + " s";
  }
  const auto seconds = (duration + std::chrono::milliseconds(999)) / std::chrono::seconds(1);
  std::string text;
  if (seconds >= 3600) {
    text += std::to_string(seconds / 3600) + " h ";
  }
  if (seconds >= 60) {
    text += std::to_string(seconds / 60 % 60) + " min ";
  }
  return text + std::to_string(seconds % 60) + " s";
}

std::string JsonSeconds(std::chrono::nanoseconds duration) {
  const auto ms = (duration + std::chrono::microseconds(500)) / std::chrono::milliseconds(1);
  std::string text = std::to_string(ms / 1000);
  if (ms % 1000 != 0) {
    char fraction[8];
    std::snprintf(fraction, sizeof fraction, ".%03d", static_cast<int>(ms % 1000));
    text += fraction;
    while (text.back() == '0') {
      text.pop_back();
    }
  }
  return text;
}

}  // namespace qx80::cli
