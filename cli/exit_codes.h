#pragma once
// The qx80 tool's exit statuses, as its manual page and docs/cli.md give them.

namespace qx80::cli {

constexpr int EXIT_DONE = 0;
constexpr int EXIT_FAILED = 1;       // no device, no part in a package, or the command failed
constexpr int EXIT_USAGE = 2;        // bad arguments; also the code for a file that cannot be read
constexpr int EXIT_UNCONFIRMED = 3;  // the update reported success that the device did not show
constexpr int EXIT_INTERRUPTED = 4;  // the user stopped the command

}  // namespace qx80::cli
