#pragma once
// The short version text shown to the user, from the raw text of an image header (or of the
// device's version reply).
#include <string>
#include <string_view>

namespace qx80 {

// Cuts the text after its fourth character (or at its first zero byte), drops leading '0'
// characters while a decimal digit follows ("0012" -> "12", "0000" -> "0", "0.50" stays) and
// widens it to UTF-16. Version texts are ASCII; any other byte becomes U+FFFD, so the result
// does not depend on the machine's code page.
std::u16string DisplayVersionText(std::string_view raw);

}  // namespace qx80
