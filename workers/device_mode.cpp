#include "workers/device_mode.h"

#include <iterator>

#include "platform/window_message.h"

namespace qx80 {
namespace {

// One row per mode shown; the last also stands for every mode but the two present ones.
struct ModeText {
  int32_t mode;
  const char* word;
  const char* name;
};
constexpr ModeText kModeTexts[] = {
    {DEVICE_MODE_NORMAL, "normal", "normal mode"},
    {DEVICE_MODE_UPDATE, "update", "update mode"},
    {DEVICE_MODE_ABSENT, "absent", "absent"},
};

const ModeText& ModeTextOf(int32_t mode) {
  for (const ModeText& text : kModeTexts) {
    if (text.mode == mode) {
      return text;
    }
  }
  return kModeTexts[std::size(kModeTexts) - 1];
}

}  // namespace

std::atomic<int32_t> g_deviceMode{DEVICE_MODE_ABSENT};

void PostDeviceMode(int32_t mode, void* userData) {
  if (userData == nullptr) {
    return;
  }
  // The mode travels as the wParam's bit pattern, as the window reads it back.
  PostWindowMessage(static_cast<WindowHandle>(userData), WM_DEVICE_MODE_CHANGED,
                    static_cast<uintptr_t>(static_cast<intptr_t>(mode)), 0);
}

const char* DeviceModeName(int32_t mode) {
  return ModeTextOf(mode).name;
}

const char* DeviceModeWord(int32_t mode) {
  return ModeTextOf(mode).word;
}

}  // namespace qx80
