#pragma once
// Numbers read from text the user or a file wrote: the whole text is the number, or it is
// refused. One rule for every option value, path and file field: no spaces, no sign where the
// type has none, no prefix (a caller that accepts "0x" strips it and passes base 16), nothing
// after the digits, and the value within the type's range.
#include <charconv>
#include <string_view>
#include <system_error>

namespace qx80 {

template <typename T>
bool ParseWholeNumber(std::string_view text, T& value, int base = 10) {
  T parsed{};
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), parsed, base);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size()) {
    return false;
  }
  value = parsed;
  return true;
}

// A decimal number, the whole text: "12.5", "3"; with `format` general also "1e3". "inf" and
// "nan" read as numbers too, so every caller bounds the value (a range, or std::isfinite).
inline bool ParseWholeDecimal(std::string_view text, double& value,
                              std::chars_format format = std::chars_format::fixed) {
  double parsed = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), parsed, format);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size()) {
    return false;
  }
  value = parsed;
  return true;
}

}  // namespace qx80
