#pragma once
// The executable's string table, read by numeric id.
#include <cstdint>
#include <span>
#include <string>

namespace qx80 {

// The text of string `id`: block id / 16 + 1 of the string resources, entry id % 16, each
// entry a 16-bit length followed by that many UTF-16 units. A missing block or entry, or
// an id outside the table's range, gives an empty text; there is no fallback.
std::u16string LoadResString(int id);

// Entry `entry` (0 to 15) of one block of the string resources; empty when the block ends
// before it or its length runs past the block.
std::u16string ReadStringTableEntry(std::span<const uint8_t> block, int entry);

}  // namespace qx80
