#include "platform/window_message.h"

#include <atomic>
#include <utility>

#ifdef _WIN32
#include <windows.h>
#endif

namespace qx80 {
namespace {

WindowMessagePoster& Poster() {
  static WindowMessagePoster poster;
  return poster;
}

bool PlatformPost(const WindowMessage& m) {
#ifdef _WIN32
  return PostMessageW(static_cast<HWND>(m.window), m.message, static_cast<WPARAM>(m.wParam),
                      static_cast<LPARAM>(m.lParam)) != FALSE;
#else
  (void)m;
  return false;
#endif
}

}  // namespace

bool PostWindowMessage(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
  const WindowMessage m{window, message, wParam, lParam};
  const auto& poster = Poster();
  return poster ? poster(m) : PlatformPost(m);
}

namespace {
std::atomic<WindowHandle> g_mainWindow{nullptr};
}  // namespace

void SetMainWindow(WindowHandle window) {
  g_mainWindow.store(window);
}

WindowHandle MainWindow() {
  return g_mainWindow.load();
}

void SetWindowMessagePoster(WindowMessagePoster poster) {
  Poster() = std::move(poster);
}

}  // namespace qx80
