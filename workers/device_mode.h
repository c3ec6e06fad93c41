#pragma once
// The device mode: whether the QX-80 is absent, present in normal mode or present in
// update mode; one value for the whole process, kept current by the device watcher.
#include <atomic>
#include <cstdint>

#include "protocol/device_ids.h"

namespace qx80 {

using DeviceMode = int32_t;
// Not yet known: set when a watcher is built and when watching starts, so that the first
// probe result always differs and is reported.
constexpr DeviceMode DEVICE_MODE_UNKNOWN = -1;
constexpr DeviceMode DEVICE_MODE_ABSENT = 0;
// Present, in the mode its product id names (protocol/device_ids.h).
constexpr DeviceMode DEVICE_MODE_NORMAL = CHANNEL_MODE_NORMAL;
constexpr DeviceMode DEVICE_MODE_UPDATE = CHANNEL_MODE_UPDATE;

// Written by the watcher (its thread, its start and stop) and by the main window; read by
// the update worker and the main window without a lock. No ordering with other data is
// relied on. 0 at program start.
extern std::atomic<int32_t> g_deviceMode;

// Told about every reported change, on the watcher thread: it must not block and must
// not touch user-interface objects.
using DeviceModeCallback = void (*)(int32_t mode, void* userData);

struct DeviceModeHandler {
  DeviceModeCallback callback = nullptr;  // may be null
  void* userData = nullptr;
};

// How a mode is shown: its name in text ("normal mode", "update mode", "absent") and its word
// in JSON ("normal", "update", "absent"); any mode but the two present ones shows as absent.
const char* DeviceModeName(int32_t mode);
const char* DeviceModeWord(int32_t mode);

// The callback the main window installs: posts WM_DEVICE_MODE_CHANGED (wParam = the new
// mode, lParam = 0) to the window whose handle is `userData`; does nothing when it is null.
void PostDeviceMode(int32_t mode, void* userData);

}  // namespace qx80
