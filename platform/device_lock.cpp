#include "platform/device_lock.h"

#include <cstdio>

namespace qx80 {

std::string DeviceLockName(std::string_view key) {
  uint64_t hash = 0xCBF29CE484222325ULL;  // FNV-1a, 64 bits
  for (const char c : key) {
    hash = (hash ^ static_cast<uint8_t>(c)) * 0x100000001B3ULL;
  }
  char digits[17];
  std::snprintf(digits, sizeof digits, "%016llx", static_cast<unsigned long long>(hash));
  return std::string("qx80-device-") + digits;
}

}  // namespace qx80
