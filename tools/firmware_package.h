#pragma once
// The firmware package the updater carries: a synthetic stand-in for the device maker's
// image, made deterministically from fixed seeds. Two parts, both version "2.09", checked
// (flag set, scheme 2, non-zero body key, valid check value, zero-filled trailer rest):
//   - a UAMC part of 2,721,152 bytes whose first 4096-byte block has Crc16 0xB07A,
//   - a FWUP part of 289,268 bytes,
// each with Crc16 0x5360 over its whole length.
#include <cstdint>
#include <optional>
#include <vector>

namespace qx80 {

constexpr uint32_t CARRIED_UAMC_SIZE = 2721152;
constexpr uint32_t CARRIED_FWUP_SIZE = 289268;
constexpr uint16_t CARRIED_UAMC_FIRST_BLOCK_CRC = 0xB07A;

// The package's bytes; nothing if a checksum target could not be met (it always can).
std::optional<std::vector<uint8_t>> MakeFirmwarePackage();

}  // namespace qx80
