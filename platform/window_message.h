#pragma once
// Posting a message to a window: the only way worker threads reach the user interface.
//
// On Windows the poster is PostMessageW. Native builds (tests, the command-line tool)
// install their own poster, which records the message or hands it to a queue.
#include <cstdint>
#include <functional>

namespace qx80 {

using WindowHandle = void*;

struct WindowMessage {
  WindowHandle window = nullptr;
  uint32_t message = 0;
  uintptr_t wParam = 0;
  intptr_t lParam = 0;
};

using WindowMessagePoster = std::function<bool(const WindowMessage&)>;

// Posts through the installed poster; returns false when nothing could take it.
bool PostWindowMessage(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam);
// Replaces the poster (an empty function restores the platform's own). Not thread-safe
// against concurrent posts: install it before the threads that post start.
void SetWindowMessagePoster(WindowMessagePoster poster);

// The application's main window, the receiver of device notifications; null until the
// main dialog exists.
void SetMainWindow(WindowHandle window);
WindowHandle MainWindow();

// Window messages exchanged between the worker threads and the dialogs.
constexpr uint32_t WM_APP_BASE = 0x8000;
constexpr uint32_t WM_DEVICE_NOTIFY = WM_APP_BASE + 1;
constexpr uint32_t WM_UPDATE_PROGRESS = WM_APP_BASE + 2;
constexpr uint32_t WM_UPDATE_FINISHED = WM_APP_BASE + 3;
constexpr uint32_t WM_DEVICE_MODE_CHANGED = WM_APP_BASE + 4;
// The steps of an update, for a front end that asks for them (workers/update_step.h).
constexpr uint32_t WM_UPDATE_STEP = WM_APP_BASE + 5;

}  // namespace qx80
