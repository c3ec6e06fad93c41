#pragma once
// The two callbacks of a channel. Both are plain functions called on the channel's receive
// thread; they must not call back into the channel.
#include <cstdint>

namespace qx80 {

// A notification: (code, value). Codes 0 to 4 come from the device's notification
// sub-kinds 1, 2, 3, 5 and 7; NOTIFY_LINK_LOST from the channel itself.
using NotifyCallback = void (*)(int32_t code, int32_t value);
// A text message: (kind, NUL-terminated text of T - 1 bytes, T).
using TextCallback = void (*)(int32_t kind, const char* text, int32_t length);

constexpr int32_t NOTIFY_LINK_LOST = 255;  // value 0: the device link failed

// The application's handler: posts WM_DEVICE_NOTIFY (wParam code, lParam value) to the
// main window when there is one.
void PostDeviceNotify(int32_t code, int32_t value);

}  // namespace qx80
