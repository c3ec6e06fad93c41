#pragma once
// Reading a whole firmware file into memory.
#include <cstdint>
#include <filesystem>
#include <istream>
#include <optional>
#include <vector>

namespace qx80 {

// The whole contents, or nothing when the file cannot be opened, is longer than a 32-bit
// length can say, does not fit in memory, or yields fewer bytes than its size promised.
std::optional<std::vector<uint8_t>> ReadWholeFile(const std::filesystem::path& path);
// The same for an open binary stream, read from its start.
std::optional<std::vector<uint8_t>> ReadWholeStream(std::istream& in);

}  // namespace qx80
