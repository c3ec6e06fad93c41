// Writes the firmware package the updater carries (see docs/firmware-package.md).
// Usage: make_firmware_package OUTPUT
#include <cstdio>
#include <fstream>

#include "tools/firmware_package.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_firmware_package OUTPUT\n");
    return 2;
  }
  const auto package = qx80::MakeFirmwarePackage();
  if (!package) {
    std::fprintf(stderr, "make_firmware_package: a checksum target could not be met\n");
    return 1;
  }
  std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(package->data()), static_cast<std::streamsize>(package->size()));
  out.close();
  if (!out) {
    std::fprintf(stderr, "make_firmware_package: cannot write %s\n", argv[1]);
    return 1;
  }
  std::printf("%s: %zu bytes\n", argv[1], package->size());
  return 0;
}
