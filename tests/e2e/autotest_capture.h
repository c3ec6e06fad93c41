#pragma once
// What a window shows on the screen.
#include <windows.h>

#include <cstdint>
#include <vector>

// The pixels of a window's screen rectangle, bottom-up rows of 24-bit BGR.
struct ScreenPixels {
  int width = 0;
  int height = 0;
  DWORD stride = 0;
  std::vector<uint8_t> bgr;
};

// Brings the window's top-level window to the front, lets it draw, and copies its rectangle
// from the screen.
bool Capture(HWND hwnd, ScreenPixels& pixels);
bool HasPureRed(const ScreenPixels& pixels);
