// Writes a firmware package that loads: one UAMC part of the version given, unlike the carried
// package in its version and its bytes. Usage: qx80-test-package OUTPUT VERSION
#include <cstdio>
#include <fstream>

#include "tests/support/image_builder.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: qx80-test-package OUTPUT VERSION\n");
    return 2;
  }
  const qx80::test::Bytes package =
      qx80::test::BuildHeaderImage({.kind = qx80::FIRM_KIND_UAMC, .size = 0x3000, .version = argv[2]});
  std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(package.data()), static_cast<std::streamsize>(package.size()));
  out.close();
  if (!out) {
    std::fprintf(stderr, "qx80-test-package: cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
