#include "platform/utf.h"

#include <cstdint>

namespace qx80 {
namespace {

constexpr char32_t kReplacementCharacter = 0xFFFD;

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

// The code point that starts at text[i], advancing i past it; false when the bytes there are
// not one valid UTF-8 sequence.
bool NextCodePoint(std::string_view text, size_t& i, char32_t& c) {
  const auto lead = static_cast<uint8_t>(text[i]);
  size_t length = 0;
  char32_t smallest = 0;
  if (lead < 0x80) {
    c = lead;
    ++i;
    return true;
  }
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, c = lead & 0x1F, smallest = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, c = lead & 0x0F, smallest = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, c = lead & 0x07, smallest = 0x10000;
  } else {
    return false;
  }
  if (text.size() - i < length) {
    return false;
  }
  for (size_t k = 1; k < length; ++k) {
    const auto next = static_cast<uint8_t>(text[i + k]);
    if ((next & 0xC0) != 0x80) {
      return false;
    }
    c = (c << 6) | (next & 0x3F);
  }
  if (c < smallest || c > 0x10FFFF || IsHighSurrogate(c) || IsLowSurrogate(c)) {
    return false;
  }
  i += length;
  return true;
}

}  // namespace

size_t Utf8SequenceLength(std::string_view text, size_t at) {
  size_t next = at;
  char32_t c = 0;
  return at < text.size() && NextCodePoint(text, next, c) ? next - at : 0;
}

std::string Utf8FromUtf16(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const char32_t c = text[i];
    if (IsHighSurrogate(c) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
      AppendUtf8(out, 0x10000 + ((c - 0xD800) << 10) + (char32_t{text[i + 1]} - 0xDC00));
      ++i;
    } else if (IsHighSurrogate(c) || IsLowSurrogate(c)) {
      AppendUtf8(out, kReplacementCharacter);
    } else {
      AppendUtf8(out, c);
    }
  }
  return out;
}

std::u16string Utf16FromUtf8(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    char32_t c = 0;
    if (!NextCodePoint(text, i, c)) {
      return {};
    }
    if (c >= 0x10000) {
      out += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
      out += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
      out += static_cast<char16_t>(c);
    }
  }
  return out;
}

#ifdef _WIN32
static_assert(sizeof(wchar_t) == sizeof(char16_t), "Win32's wide strings are UTF-16");

std::string Utf8FromWide(std::wstring_view text) {
  return Utf8FromUtf16(std::u16string_view(reinterpret_cast<const char16_t*>(text.data()), text.size()));
}

std::wstring WideFromUtf8(const std::string& text) {
  const std::u16string wide = Utf16FromUtf8(text);
  return {wide.begin(), wide.end()};
}
#endif

}  // namespace qx80
