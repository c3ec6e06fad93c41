// A firmware package from outside: the splitter's parts lie end to end inside the file, and
// loading it into the slots leaves the caller's buffer as it was.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "firmware/firm_slots.h"
#include "firmware/package_split.h"
#include "tests/fuzz/fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::span<const uint8_t> package(data, size);
  const std::vector<qx80::PackagePart> parts = qx80::SplitFirmPackage(package);
  FUZZ_CHECK(parts.size() <= qx80::FIRM_PACKAGE_MAX_PARTS);
  uint64_t next = 0;
  for (const qx80::PackagePart& part : parts) {
    FUZZ_CHECK(part.offset == next);
    FUZZ_CHECK(part.size > 0);
    next = uint64_t{part.offset} + part.size;
    FUZZ_CHECK(next <= size);
  }

  std::vector<uint8_t> buffer(package.begin(), package.end());
  qx80::FirmSlots slots;
  slots.LoadFirmPackage(buffer.data(), static_cast<uint32_t>(buffer.size()));
  FUZZ_CHECK(std::equal(buffer.begin(), buffer.end(), package.begin()));
  return 0;
}
