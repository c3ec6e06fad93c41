#include "workers/device_mode.h"

#include "platform/window_message.h"

namespace qx80 {

std::atomic<int32_t> g_deviceMode{DEVICE_MODE_ABSENT};

void PostDeviceMode(int32_t mode, void* userData) {
  if (userData == nullptr) {
    return;
  }
  // The mode travels as the wParam's bit pattern, as the window reads it back.
  PostWindowMessage(static_cast<WindowHandle>(userData), WM_DEVICE_MODE_CHANGED,
                    static_cast<uintptr_t>(static_cast<intptr_t>(mode)), 0);
}

}  // namespace qx80
