#include "autotest_capture.h"

bool Capture(HWND hwnd, ScreenPixels& pixels) {
  SetForegroundWindow(GetAncestor(hwnd, GA_ROOT));
  RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN | RDW_FRAME);
  Sleep(300);  // let the window system finish drawing before the pixels are read
  RECT r{};
  if (!GetWindowRect(hwnd, &r)) {
    return false;
  }
  pixels.width = r.right - r.left;
  pixels.height = r.bottom - r.top;
  pixels.stride = (static_cast<DWORD>(pixels.width) * 3 + 3) & ~3u;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = pixels.width;
  info.bmiHeader.biHeight = pixels.height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(memory, bitmap);
  const bool copied =
      bits != nullptr && BitBlt(memory, 0, 0, pixels.width, pixels.height, screen, r.left, r.top, SRCCOPY) != FALSE;
  GdiFlush();
  if (copied) {
    const auto* begin = static_cast<const uint8_t*>(bits);
    pixels.bgr.assign(begin, begin + pixels.stride * static_cast<DWORD>(pixels.height));
  }
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return copied;
}

bool HasPureRed(const ScreenPixels& pixels) {
  for (int y = 0; y < pixels.height; ++y) {
    for (int x = 0; x < pixels.width; ++x) {
      const uint8_t* p = &pixels.bgr[y * pixels.stride + static_cast<DWORD>(x) * 3];
      if (p[0] == 0 && p[1] == 0 && p[2] == 255) {
        return true;
      }
    }
  }
  return false;
}
