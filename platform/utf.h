#pragma once
// UTF-16 (the device's texts, the string table, Windows' wide strings) and UTF-8 (files,
// terminals, JSON, the programs' arguments), one conversion each way for the whole system.
#include <cstddef>
#include <string>
#include <string_view>

namespace qx80 {

// UTF-8 of a UTF-16 text; an unpaired surrogate becomes U+FFFD.
std::string Utf8FromUtf16(std::u16string_view text);
// UTF-16 of a UTF-8 text; empty when `text` is not valid UTF-8 (a stray or missing
// continuation byte, an overlong form, a surrogate, a value beyond U+10FFFF).
std::u16string Utf16FromUtf8(std::string_view text);

// The length of the one valid UTF-8 sequence that starts at text[at] (1 for ASCII), by the rule
// of Utf16FromUtf8; 0 when none starts there.
size_t Utf8SequenceLength(std::string_view text, size_t at);
constexpr bool IsHighSurrogate(char32_t c) {
  return c >= 0xD800 && c <= 0xDBFF;
}
constexpr bool IsLowSurrogate(char32_t c) {
  return c >= 0xDC00 && c <= 0xDFFF;
}

#ifdef _WIN32
// The same for Win32's wide strings, which are UTF-16.
std::string Utf8FromWide(std::wstring_view text);
std::wstring WideFromUtf8(const std::string& text);
#endif

}  // namespace qx80
