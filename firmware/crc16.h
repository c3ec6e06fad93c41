#pragma once
// CRC-16/GENIBUS: polynomial 0x1021, initial value 0xFFFF, not reflected, final XOR 0xFFFF.
// "123456789" gives 0xD64E and an empty buffer gives 0. Results chain: Crc16Update over b,
// given Crc16 of a, equals Crc16 of a followed by b.
#include <cstdint>
#include <span>

namespace qx80 {

uint16_t Crc16Update(const uint8_t* data, uint32_t length, uint16_t previous);
inline uint16_t Crc16(const uint8_t* data, uint32_t length) {
  return Crc16Update(data, length, 0);
}

inline uint16_t Crc16Update(std::span<const uint8_t> data, uint16_t previous) {
  return Crc16Update(data.data(), static_cast<uint32_t>(data.size()), previous);
}
inline uint16_t Crc16(std::span<const uint8_t> data) {
  return Crc16Update(data, 0);
}

}  // namespace qx80
