#pragma once
// qx80-sim's exit statuses, as its usage and docs/update.md give them.

namespace qx80 {

constexpr int EXIT_OK = 0;
constexpr int EXIT_REPLAY_DIFFERS = 1;  // the host did not do what the transcript recorded
constexpr int EXIT_BAD_ARGUMENTS = 2;
constexpr int EXIT_CANNOT_LISTEN = 3;  // the port is in use, or cannot be bound

}  // namespace qx80
