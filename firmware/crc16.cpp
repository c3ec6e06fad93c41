#include "firmware/crc16.h"

#include <array>
#include <cstddef>

namespace qx80 {
namespace {

constexpr uint16_t CRC16_POLYNOMIAL = 0x1021;

// Table k gives the register after byte b followed by k zero bytes, from a clear register;
// table 0 is the classic one-byte table. Eight bytes then cost eight lookups and no shifts
// between them.
using Crc16Tables = std::array<std::array<uint16_t, 256>, 8>;

constexpr Crc16Tables MakeCrc16Tables() {
  Crc16Tables tables{};
  for (unsigned i = 0; i < 256; ++i) {
    unsigned r = i << 8;
    for (int bit = 0; bit < 8; ++bit) {
      r = (r & 0x8000) != 0 ? (r << 1) ^ CRC16_POLYNOMIAL : r << 1;
    }
    tables[0][i] = static_cast<uint16_t>(r);
  }
  for (size_t k = 1; k < tables.size(); ++k) {
    for (unsigned i = 0; i < 256; ++i) {
      const uint16_t previous = tables[k - 1][i];
      tables[k][i] = static_cast<uint16_t>((previous << 8) ^ tables[0][previous >> 8]);
    }
  }
  return tables;
}

constexpr Crc16Tables CRC16_TABLES = MakeCrc16Tables();
static_assert(CRC16_TABLES[0][1] == 0x1021 && CRC16_TABLES[0][2] == 0x2042);

}  // namespace

uint16_t Crc16Update(const uint8_t* data, uint32_t length, uint16_t previous) {
  // The register holds the complement of the checksum, so a previous result continues it.
  uint16_t r = static_cast<uint16_t>(~previous);
  const auto& t = CRC16_TABLES;
  uint32_t i = 0;
  // The 16-bit register folds into the first two of each eight bytes.
  for (; i + 8 <= length; i += 8) {
    const uint8_t* d = data + i;
    r = static_cast<uint16_t>(t[7][d[0] ^ (r >> 8)] ^ t[6][d[1] ^ (r & 0xFF)] ^ t[5][d[2]] ^ t[4][d[3]] ^ t[3][d[4]] ^
                              t[2][d[5]] ^ t[1][d[6]] ^ t[0][d[7]]);
  }
  for (; i < length; ++i) {
    r = static_cast<uint16_t>((r << 8) ^ t[0][((r >> 8) ^ data[i]) & 0xFF]);
  }
  return static_cast<uint16_t>(~r);
}

}  // namespace qx80
