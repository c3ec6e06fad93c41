#include "firmware/image_writer.h"

#include <algorithm>

#include "firmware/crc16.h"
#include "firmware/image_layout.h"
#include "platform/byte_reader.h"

namespace qx80 {
namespace {

namespace L = firm_layout;

// Appending (Crc16 XOR this) big-endian to any buffer brings its Crc16 to 0.
constexpr uint16_t CHECK_VALUE_XOR = 0x7B30;

}  // namespace

bool WriteFirmImageHeader(std::span<uint8_t> image, const FirmImageFields& fields) {
  const auto kind = std::find_if(L::HEADER_KINDS.begin(), L::HEADER_KINDS.end(),
                                 [&](const L::HeaderKind& k) { return k.kind == fields.kind; });
  if (kind == L::HEADER_KINDS.end() || image.size() < L::CHECKED_MIN_SIZE ||
      fields.version.size() > L::HEADER_PART_LENGTH - L::HEADER_VERSION) {
    return false;
  }
  std::copy(kind->magic.begin(), kind->magic.end(), image.begin() + L::HEADER_MAGIC);
  std::fill(image.begin() + L::HEADER_VERSION, image.begin() + L::HEADER_PART_LENGTH, 0);
  std::copy(fields.version.begin(), fields.version.end(), image.begin() + L::HEADER_VERSION);
  WriteLe32(image.data() + L::HEADER_PART_LENGTH, static_cast<uint32_t>(image.size()));
  WriteLe32(image.data() + L::HEADER_CHECK_SCHEME, fields.checkScheme);
  WriteLe32(image.data() + L::HEADER_BODY_KEY, fields.key[0]);
  WriteLe32(image.data() + L::HEADER_BODY_KEY + 4, fields.key[1]);
  WriteLe16(image.data() + (image.size() - L::TRAILER_CHECK_FLAG), fields.checkFlag);
  return true;
}

bool SealFirmImage(std::span<uint8_t> image) {
  const ByteReader reader(image);
  uint16_t flag = 0;
  FirmBodyKey key{};
  if (image.size() < L::CHECKED_MIN_SIZE || !reader.ReadU16LE(image.size() - L::TRAILER_CHECK_FLAG, flag) ||
      !reader.ReadU32LE(L::HEADER_BODY_KEY, key[0]) || !reader.ReadU32LE(L::HEADER_BODY_KEY + 4, key[1])) {
    return false;
  }
  if (flag == 0) {
    return true;
  }
  const size_t checkAt = image.size() - L::TRAILER_CHECK_VALUE;
  const uint16_t check = FirmCheckValue(image.first(checkAt));
  image[checkAt] = static_cast<uint8_t>(check >> 8);
  image[checkAt + 1] = static_cast<uint8_t>(check);
  XorWords(image.subspan(L::BODY_START, image.size() - L::CHECKED_MIN_SIZE), key);
  return true;
}

uint16_t FirmCheckValue(std::span<const uint8_t> clearPrefix) {
  return static_cast<uint16_t>(Crc16(clearPrefix) ^ CHECK_VALUE_XOR);
}

}  // namespace qx80
