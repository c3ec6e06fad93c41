#pragma once
// Writing images of kinds 1 to 3 (UAMC, FWUP, FQI): what the firmware build does to an image
// before it ships. Used by the package generator and by tests, never by the updater.
#include <cstdint>
#include <span>
#include <string_view>

#include "firmware/firm_file.h"
#include "firmware/firm_kind.h"

namespace qx80 {

struct FirmImageFields {
  FirmKind kind = FIRM_KIND_UAMC;
  std::string_view version = "2.09";  // the header's version text; only its first 4 characters are shown
  uint32_t checkScheme = 2;
  FirmBodyKey key{};
  uint16_t checkFlag = 1;
};

// Writes magic, version text, part length (the image's size), check scheme, body key and check
// flag into an image whose body is in the clear. False when the kind is not 1 to 3, the image is
// too short to carry a checksum, or the version text does not fit before the part length.
bool WriteFirmImageHeader(std::span<uint8_t> image, const FirmImageFields& fields);

// Completes an image whose header is written and whose body is in the clear: when its check
// flag is set, stores the check value that makes the checksum come out as 0 and scrambles the
// body with the header's key. False when the image is too short to carry a checksum.
bool SealFirmImage(std::span<uint8_t> image);

// The check value to store after clearPrefix (everything before the check value, body in the
// clear): Crc16 of clearPrefix followed by this value, big-endian, is 0.
uint16_t FirmCheckValue(std::span<const uint8_t> clearPrefix);

}  // namespace qx80
