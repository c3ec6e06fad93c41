#pragma once
// qx80-updater.exe's exit statuses, carried by the quit request (docs/update.md).

namespace qx80 {

constexpr int EXIT_CODE_NORMAL = 0;
constexpr int EXIT_CODE_USER_ENDED = 2;
constexpr int EXIT_CODE_FAILURE = 3;

}  // namespace qx80
