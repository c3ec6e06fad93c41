#pragma once
// The terminal the tool talks to: whether a standard stream is one, and how wide it is.
#include <ostream>

namespace qx80::cli {

// Whether `stream` is std::cout or std::cerr and that stream goes to a terminal.
bool IsTerminal(const std::ostream& stream);
// Columns of the terminal behind standard output; 80 when it has none or does not say.
int TerminalColumns();

}  // namespace qx80::cli
