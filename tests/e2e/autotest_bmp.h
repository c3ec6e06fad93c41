#pragma once
// Captured pixels as a BMP file.
#include <string>

#include "autotest_capture.h"

bool WriteBmp(const ScreenPixels& pixels, const std::wstring& file);
