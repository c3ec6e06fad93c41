// A compiled resource file: whatever is found lies inside the file.
#include <cstddef>
#include <cstdint>
#include <span>

#include "platform/byte_reader.h"
#include "platform/resources/res_file.h"
#include "tests/fuzz/fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) {
    return 0;
  }
  const std::span<const uint8_t> res(data + 2, size - 2);
  const uint16_t id = qx80::ReadLe16(data);
  for (const qx80::ResourceType type :
       {qx80::ResourceType::Number(6), qx80::ResourceType::Number(16), qx80::ResourceType::Named(u"BIN")}) {
    const std::span<const uint8_t> found = qx80::FindInResFile(res, type, id);
    if (!found.empty()) {
      FUZZ_CHECK(found.data() >= res.data() && found.data() + found.size() <= res.data() + res.size());
    }
  }
  return 0;
}
