#include "cli/text_output.h"

#include <cstdio>

#include "platform/utf.h"
#include "platform/visible_text.h"

namespace qx80::cli {

std::string Printable(std::u16string_view text) {
  return VisibleText(Utf8FromUtf16(text));
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
