// The generator of the carried package reproduces the committed file byte for byte.
#include "tools/firmware_package.h"

#include <gtest/gtest.h>

#include "firmware/file_bytes.h"
#include "tools/gf2_solver.h"

namespace qx80 {
namespace {

TEST(FirmwarePackageTest, GeneratorReproducesTheCommittedPackage) {
  const auto made = MakeFirmwarePackage();
  ASSERT_TRUE(made.has_value());
  const auto committed = ReadWholeFile(QX80_FIRMWARE_PACKAGE_PATH);
  ASSERT_TRUE(committed.has_value());
  ASSERT_EQ(made->size(), committed->size());
  // One mismatch is enough to know; a byte-by-byte report would flood the output.
  EXPECT_TRUE(*made == *committed) << "regenerate it: see docs/firmware-package.md";
}

TEST(Gf2SolverTest, ReachesTargetsOfAnAffineMap) {
  // f(x) = c XOR (sum of the columns picked by x): affine in 20 variables, onto 16 bits.
  const uint16_t columns[20] = {0x0001, 0x0003, 0x0007, 0x000F, 0x0010, 0x0030, 0x0070, 0x00F0, 0x0100, 0x0300,
                                0x0700, 0x0F00, 0x1000, 0x3000, 0x7000, 0xF000, 0x1234, 0x4321, 0xFFFF, 0x8001};
  const auto f = [&](uint64_t x) {
    uint16_t v = 0xA5A5;
    for (int j = 0; j < 20; ++j) {
      if ((x >> j & 1) != 0) {
        v ^= columns[j];
      }
    }
    return v;
  };
  for (const uint16_t target : {uint16_t{0x0000}, uint16_t{0xB07A}, uint16_t{0x5360}, uint16_t{0xFFFF}}) {
    const auto x = SolveAffine16(20, f, target, 0xF0F0F);
    ASSERT_TRUE(x.has_value()) << target;
    EXPECT_EQ(f(*x), target);
    EXPECT_EQ(*x >> 20, 0xF0F0F >> 20) << "only the given variables may flip";
  }
}

TEST(Gf2SolverTest, ReportsUnreachableTargets) {
  // Only the low byte can change.
  const auto f = [](uint64_t x) { return static_cast<uint16_t>(0x1200 ^ (x & 0xFF)); };
  EXPECT_EQ(SolveAffine16(8, f, 0x12AB, 0), 0xABu);
  EXPECT_FALSE(SolveAffine16(8, f, 0x34AB, 0).has_value());
}

}  // namespace
}  // namespace qx80
