#pragma once
// Text from outside (a device's strings, a file's lines, a file's name) made safe to print:
// a control character could clear the terminal, move its cursor or forge a line, so each one
// is shown as \xNN instead.
#include <string>
#include <string_view>

namespace qx80 {

// `text` with every C0 control character, DEL and every C1 control character (as UTF-8)
// written as \xNN (the C1 ones as their two bytes); everything else as it stands.
std::string VisibleText(std::string_view text);

}  // namespace qx80
