// The package as the executable carries it: resource BIN 131 holds the committed file.
#include <gtest/gtest.h>

#include <cstring>

#include "firmware/file_bytes.h"
#include "firmware/firm_slots.h"

namespace qx80 {
namespace {

TEST(CarriedFirmwareTest, ResourceFillsSlotsWithTheCommittedPackage) {
  const auto committed = ReadWholeFile(QX80_FIRMWARE_PACKAGE_PATH);
  ASSERT_TRUE(committed.has_value());
  FirmSlots slots;
  ASSERT_EQ(slots.LoadCarriedFirmware(), 1);
  const uint32_t sizes[] = {0, 2721152, 289268, 0, 0};
  for (int k = 0; k < FIRM_SLOT_COUNT; ++k) {
    EXPECT_EQ(slots.Size(k), sizes[k]) << "slot " << k;
  }
  ASSERT_EQ(committed->size(), size_t{sizes[1]} + sizes[2]);
  EXPECT_EQ(std::memcmp(slots.Data(FIRM_KIND_UAMC), committed->data(), sizes[1]), 0);
  EXPECT_EQ(std::memcmp(slots.Data(FIRM_KIND_FWUP), committed->data() + sizes[1], sizes[2]), 0);
  // Used where it lies: the slots point into the resource, nothing is copied.
  EXPECT_EQ(slots.Data(FIRM_KIND_UAMC), CarriedFirmwarePackage().data());
  EXPECT_EQ(slots.Data(FIRM_KIND_FWUP), CarriedFirmwarePackage().data() + sizes[1]);
  EXPECT_EQ(slots.Version(FIRM_KIND_UAMC), u"2.09");
  EXPECT_EQ(slots.Version(FIRM_KIND_FWUP), u"2.09");
}

}  // namespace
}  // namespace qx80
