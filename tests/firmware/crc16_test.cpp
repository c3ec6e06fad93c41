#include "firmware/crc16.h"

#include <gtest/gtest.h>

#include <string_view>
#include <vector>

#include "tests/support/image_builder.h"

namespace qx80 {
namespace {

std::span<const uint8_t> Text(std::string_view s) {
  return {reinterpret_cast<const uint8_t*>(s.data()), s.size()};
}

// Bit by bit, straight from the definition: polynomial 0x1021 most significant bit first,
// initial value 0xFFFF, final XOR 0xFFFF.
uint16_t ReferenceCrc16(std::span<const uint8_t> data) {
  uint16_t r = 0xFFFF;
  for (const uint8_t b : data) {
    r ^= static_cast<uint16_t>(b << 8);
    for (int bit = 0; bit < 8; ++bit) {
      r = static_cast<uint16_t>((r & 0x8000) != 0 ? (r << 1) ^ 0x1021 : r << 1);
    }
  }
  return static_cast<uint16_t>(~r);
}

TEST(Crc16Test, KnownAnswers) {
  const std::vector<uint8_t> zeros28(28, 0);
  EXPECT_EQ(Crc16(Text("123456789")), 0xD64E);
  EXPECT_EQ(Crc16(Text("")), 0);
  EXPECT_EQ(Crc16(nullptr, 0), 0);
  // The CRC of an intact trailer rest: the whole-image CRC of every valid checked image.
  EXPECT_EQ(Crc16(zeros28), 0x5360);
}

TEST(Crc16Test, TableAgreesWithTheBitwiseDefinition) {
  for (uint32_t seed = 1; seed <= 20; ++seed) {
    const auto data = test::RandomBytes(size_t{seed} * 37, seed);
    EXPECT_EQ(Crc16(data), ReferenceCrc16(data)) << "length " << data.size();
  }
  // Every single byte value goes through a different table entry.
  for (int b = 0; b < 256; ++b) {
    const uint8_t byte = static_cast<uint8_t>(b);
    EXPECT_EQ(Crc16(&byte, 1), ReferenceCrc16({&byte, 1})) << "byte " << b;
  }
}

TEST(Crc16Test, UpdateChainsAtEverySplit) {
  const auto data = test::RandomBytes(300, 7);
  const std::span<const uint8_t> all(data);
  const uint16_t whole = Crc16(all);
  for (size_t split = 0; split <= all.size(); ++split) {
    EXPECT_EQ(Crc16Update(all.subspan(split), Crc16(all.first(split))), whole) << "split at " << split;
  }
  // Three pieces chain as well.
  EXPECT_EQ(Crc16Update(all.subspan(200), Crc16Update(all.subspan(50, 150), Crc16(all.first(50)))), whole);
}

}  // namespace
}  // namespace qx80
