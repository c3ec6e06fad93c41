#pragma once
// Turning the program's UTF-16 texts into what the tool prints.
#include <chrono>
#include <string>
#include <string_view>

namespace qx80::cli {

// A device's text (a version) as it may reach a terminal: UTF-8 with every control character
// shown as \xNN (VisibleText, platform/visible_text.h, which file names and paths take
// directly), so that no device can move the cursor, clear the screen or forge a line.
std::string Printable(std::u16string_view text);
// A duration as people read it: "5 h 49 min 1 s", "6 min 32 s", "7 s", or below ten seconds
// "0.4 s" (rounded up, to the second from ten seconds on, to a tenth below).
std::string DurationText(std::chrono::nanoseconds duration);
// The same in seconds as a JSON number: "391.5", "10", "0.1" (to the millisecond).
std::string JsonSeconds(std::chrono::nanoseconds duration);

}  // namespace qx80::cli
