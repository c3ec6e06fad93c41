#pragma once
// What qx80 command puts where a command's parameter block holds an address. The user's
// --block bytes never become one: the tool supplies its own buffer where it can, installs
// no text handler, and refuses the commands that need what it cannot supply.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace qx80::cli {

class CommandBuffers {
 public:
  // Prepares `block` (the user's bytes already in it) for `command`; false, with the reason
  // in `refusal`, when the tool cannot run it.
  bool Prepare(int32_t command, uint8_t* block, std::string& refusal);
  // The bytes the command left in the tool's buffer (empty when it had none).
  std::span<const uint8_t> Filled() const { return {m_buffer.data(), m_filled}; }

 private:
  std::vector<uint8_t> m_buffer;
  size_t m_filled = 0;
};

}  // namespace qx80::cli
