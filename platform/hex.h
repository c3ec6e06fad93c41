#pragma once
// Bytes as lower-case hex digits, two per byte: transcripts, the tool's --block, escaped text.
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace qx80 {

// Appends the two digits of `byte`.
void AppendHexByte(std::string& out, uint8_t byte);
std::string HexBytes(std::span<const uint8_t> bytes);
// The bytes of `text`, two digits each (either case); false on anything else.
bool ParseHexBytes(std::string_view text, std::vector<uint8_t>& bytes);

}  // namespace qx80
