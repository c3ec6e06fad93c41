#include "autotest_bmp.h"

bool WriteBmp(const ScreenPixels& pixels, const std::wstring& file) {
  BITMAPINFOHEADER info{};
  info.biSize = sizeof(info);
  info.biWidth = pixels.width;
  info.biHeight = pixels.height;
  info.biPlanes = 1;
  info.biBitCount = 24;
  info.biSizeImage = static_cast<DWORD>(pixels.bgr.size());
  BITMAPFILEHEADER header{};
  header.bfType = 0x4D42;
  header.bfOffBits = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER);
  header.bfSize = header.bfOffBits + info.biSizeImage;
  HANDLE out = CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (out == INVALID_HANDLE_VALUE) {
    return false;
  }
  DWORD done = 0;
  const bool written = WriteFile(out, &header, sizeof(header), &done, nullptr) &&
                       WriteFile(out, &info, sizeof(info), &done, nullptr) &&
                       WriteFile(out, pixels.bgr.data(), info.biSizeImage, &done, nullptr);
  CloseHandle(out);
  return written;
}
