#pragma once
// Turning the program's UTF-16 texts into what the tool prints.
#include <string>
#include <string_view>

namespace qx80::cli {

// UTF-8 of a UTF-16 text; an unpaired surrogate becomes U+FFFD.
std::string Utf8(std::u16string_view text);
// A JSON string literal, quotes included; every character outside printable ASCII is escaped.
std::string JsonString(std::u16string_view text);
// The same for UTF-8 text (paths): bytes outside ASCII pass through as they are.
std::string JsonString(std::string_view text);

}  // namespace qx80::cli
