#include "platform/window_message.h"
#include "protocol/channel_callbacks.h"

namespace qx80 {

void PostDeviceNotify(int32_t code, int32_t value) {
  const WindowHandle window = MainWindow();
  if (window != nullptr) {
    PostWindowMessage(window, WM_DEVICE_NOTIFY, static_cast<uintptr_t>(code), value);
  }
}

}  // namespace qx80
