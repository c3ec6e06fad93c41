#include "device/win32/win32_hid_backend.h"

namespace qx80 {

HidBackend& PlatformHidBackend() {
  static Win32HidBackend backend;
  return backend;
}

}  // namespace qx80
