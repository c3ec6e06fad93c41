#include "firmware/package_check.h"

#include <gtest/gtest.h>

#include "tests/support/image_builder.h"

namespace qx80 {
namespace {

using test::Bytes;

// A main part and a second part, as the carried package is laid out, small.
Bytes TwoParts() {
  return test::Concat({test::BuildHeaderImage(FIRM_KIND_UAMC, 0x1000), test::BuildHeaderImage(FIRM_KIND_FWUP, 0x400)});
}

struct CheckCase {
  const char* name;
  Bytes package;
  std::vector<int> loads;  // by part
  PackageRest rest;
  uint32_t used;
  bool sound;
};

TEST(PackageCheckTest, FindsEveryFaultBeforeAnythingIsWritten) {
  Bytes flipped = TwoParts();
  flipped[0x800] ^= 1;
  Bytes truncated = TwoParts();
  truncated.resize(0x1200);
  const Bytes garbage = test::Concat({TwoParts(), test::RandomBytes(100, 7)});
  const CheckCase cases[] = {
      {"sound", TwoParts(), {0, 0}, PackageRest::None, 0x1400, true},
      {"one byte of the main part flipped", flipped, {-7, 0}, PackageRest::None, 0x1400, false},
      {"second part cut short", truncated, {0}, PackageRest::Truncated, 0x1000, false},
      {"data after the last part", garbage, {0, 0}, PackageRest::NoPart, 0x1400, false},
      {"empty", {}, {}, PackageRest::None, 0, false},
      {"no part at all", test::RandomBytes(300, 9), {}, PackageRest::NoPart, 0, false},
  };
  for (const CheckCase& c : cases) {
    Bytes bytes = c.package;
    const PackageCheck check = CheckPackage(bytes);
    EXPECT_EQ(bytes, c.package) << c.name << ": the check leaves the bytes as they were";
    std::vector<int> loads;
    for (const PartCheck& part : check.parts) {
      loads.push_back(FirmLoadNumber(part.load));
    }
    EXPECT_EQ(loads, c.loads) << c.name;
    EXPECT_EQ(check.rest, c.rest) << c.name;
    EXPECT_EQ(check.UsedBytes(), c.used) << c.name;
    EXPECT_EQ(check.Sound(), c.sound) << c.name;
  }
}

TEST(PackageCheckTest, NamesThePartCutShortAndItsDeclaredLength) {
  Bytes truncated = TwoParts();
  truncated.resize(0x1200);
  const PackageCheck check = CheckPackage(truncated);
  EXPECT_EQ(check.restKind, FIRM_KIND_FWUP);
  EXPECT_EQ(check.restDeclared, 0x400u);
  ASSERT_EQ(check.parts.size(), 1u);
  EXPECT_EQ(check.parts[0].version, u"2.09");
}

}  // namespace
}  // namespace qx80
