#include "firmware/crc16.h"

#include <array>

namespace qx80 {
namespace {

constexpr uint16_t CRC16_POLYNOMIAL = 0x1021;

// One entry per byte value: the register change of that byte, most significant bit first.
constexpr std::array<uint16_t, 256> MakeCrc16Table() {
  std::array<uint16_t, 256> table{};
  for (unsigned i = 0; i < 256; ++i) {
    unsigned r = i << 8;
    for (int bit = 0; bit < 8; ++bit) {
      r = (r & 0x8000) != 0 ? (r << 1) ^ CRC16_POLYNOMIAL : r << 1;
    }
    table[i] = static_cast<uint16_t>(r);
  }
  return table;
}

constexpr std::array<uint16_t, 256> CRC16_TABLE = MakeCrc16Table();
static_assert(CRC16_TABLE[1] == 0x1021 && CRC16_TABLE[2] == 0x2042);

}  // namespace

uint16_t Crc16Update(const uint8_t* data, uint32_t length, uint16_t previous) {
  // The register holds the complement of the checksum, so a previous result continues it.
  uint16_t r = static_cast<uint16_t>(~previous);
  for (uint32_t i = 0; i < length; ++i) {
    r = static_cast<uint16_t>((r << 8) ^ CRC16_TABLE[((r >> 8) ^ data[i]) & 0xFF]);
  }
  return static_cast<uint16_t>(~r);
}

}  // namespace qx80
