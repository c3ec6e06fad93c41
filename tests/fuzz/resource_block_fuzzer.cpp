// One resource's bytes read as a block of the string table and as a version record: a text
// lies inside the block, every value a query finds lies inside the record, and the product
// name taken from it keeps to its limit.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "tests/fuzz/fuzz_check.h"
#include "updater/app_info.h"
#include "updater/string_table.h"
#include "updater/version_info.h"

namespace {

bool Inside(std::span<const uint8_t> part, std::span<const uint8_t> whole) {
  return part.empty() || (part.data() >= whole.data() && part.data() + part.size() <= whole.data() + whole.size());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::span<const uint8_t> block(data, size);
  for (int entry = -1; entry <= 16; ++entry) {
    const std::u16string text = qx80::ReadStringTableEntry(block, entry);
    FUZZ_CHECK(2 + text.size() * 2 <= size || text.empty());
  }
  for (const std::u16string_view subBlock :
       {u"\\", u"\\VarFileInfo\\Translation", u"\\StringFileInfo\\040904b0\\ProductName", u"\\stringfileinfo\\040904B0",
        u"\\\\\\StringFileInfo\\\\", u"\\VarFileInfo\\Translation\\x"}) {
    std::span<const uint8_t> value;
    if (qx80::QueryVersionBlock(block, subBlock, value)) {
      FUZZ_CHECK(Inside(value, block));
    }
  }
  qx80::AppInfo info;
  qx80::ApplyVersionInfo(
      [&](std::u16string_view subBlock, std::span<const uint8_t>& value) {
        const bool found = qx80::QueryVersionBlock(block, subBlock, value);
        FUZZ_CHECK(!found || Inside(value, block));
        return found;
      },
      info);
  FUZZ_CHECK(info.m_productName.size() <= qx80::AppInfo::PRODUCT_NAME_MAX_LENGTH);
  return 0;
}
