// The committed package that the updater carries, against every documented fact about it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "firmware/crc16.h"
#include "firmware/file_bytes.h"
#include "firmware/firm_file.h"
#include "firmware/firm_slots.h"
#include "firmware/image_layout.h"
#include "firmware/package_split.h"
#include "tests/support/image_builder.h"

namespace qx80 {
namespace {

namespace L = firm_layout;
using test::Bytes;

constexpr uint32_t UAMC_SIZE = 2721152;
constexpr uint32_t FWUP_SIZE = 289268;
constexpr uint32_t BLOCK_SIZE = 4096;

class CarriedPackageTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    auto bytes = ReadWholeFile(QX80_FIRMWARE_PACKAGE_PATH);
    ASSERT_TRUE(bytes.has_value()) << "cannot read " << QX80_FIRMWARE_PACKAGE_PATH;
    s_package = std::move(*bytes);
  }
  static void TearDownTestSuite() { s_package = {}; }

  static std::span<uint8_t> Part(uint32_t offset, uint32_t size) { return std::span(s_package).subspan(offset, size); }

  static Bytes s_package;
};

Bytes CarriedPackageTest::s_package;

TEST_F(CarriedPackageTest, SplitsIntoAUamcAndAFwupPart) {
  ASSERT_EQ(s_package.size(), 3010420u);
  const auto parts = SplitFirmPackage(s_package);
  ASSERT_EQ(parts.size(), 2u);
  EXPECT_EQ(parts[0].kind, FIRM_KIND_UAMC);
  EXPECT_EQ(parts[0].offset, 0u);
  EXPECT_EQ(parts[0].size, UAMC_SIZE);
  EXPECT_EQ(parts[1].kind, FIRM_KIND_FWUP);
  EXPECT_EQ(parts[1].offset, UAMC_SIZE);
  EXPECT_EQ(parts[1].size, FWUP_SIZE);
}

TEST_F(CarriedPackageTest, BothPartsAreCheckedImagesOfVersion209) {
  const struct {
    uint32_t offset;
    uint32_t size;
    FirmKind kind;
    uint32_t blocks;
    uint32_t lastBlock;
  } parts[] = {{0, UAMC_SIZE, FIRM_KIND_UAMC, 665, 1408}, {UAMC_SIZE, FWUP_SIZE, FIRM_KIND_FWUP, 71, 2548}};
  for (const auto& p : parts) {
    SCOPED_TRACE(p.kind);
    const auto part = Part(p.offset, p.size);
    const Bytes before(part.begin(), part.end());
    CFirmFile f;
    ASSERT_EQ(f.Load(part.data(), p.size), FirmLoad::Ok);
    EXPECT_EQ(f.GetKind(), p.kind);
    FirmVersion version{};
    f.GetVersion(version);
    EXPECT_EQ(std::string(version.data()), "2.09");
    EXPECT_TRUE(std::equal(part.begin(), part.end(), before.begin()));

    const uint8_t* trailer = part.data() + p.size - L::TRAILER_CHECK_FLAG;
    EXPECT_NE(trailer[0] | trailer[1], 0) << "check flag";
    EXPECT_EQ(part[L::HEADER_CHECK_SCHEME], 2);
    EXPECT_FALSE(std::all_of(part.begin() + L::HEADER_BODY_KEY, part.begin() + L::HEADER_BODY_KEY + 8, [](uint8_t b) {
      return b == 0;
    })) << "body key";
    EXPECT_TRUE(std::all_of(part.end() - L::TRAILER_REST, part.end(), [](uint8_t b) { return b == 0; }));
    EXPECT_EQ(Crc16(part), 0x5360);

    EXPECT_EQ((p.size + BLOCK_SIZE - 1) / BLOCK_SIZE, p.blocks);
    EXPECT_EQ(p.size % BLOCK_SIZE, p.lastBlock);
  }
}

TEST_F(CarriedPackageTest, UamcPartGivesTheKnownBeginRequestAndFirstBlock) {
  const auto part = Part(0, UAMC_SIZE);
  const uint16_t crc = Crc16(part);
  // Header of a set request with id 0x0900 and 7 data bytes, target code 3, size and CRC.
  const Bytes request = {0x00,
                         0x00,
                         0x09,
                         0x00,
                         0x00,
                         0x00,
                         0x07,
                         0x00,
                         0x03,
                         static_cast<uint8_t>(UAMC_SIZE),
                         static_cast<uint8_t>(UAMC_SIZE >> 8),
                         static_cast<uint8_t>(UAMC_SIZE >> 16),
                         static_cast<uint8_t>(UAMC_SIZE >> 24),
                         static_cast<uint8_t>(crc),
                         static_cast<uint8_t>(crc >> 8)};
  EXPECT_EQ(request, (Bytes{0x00, 0x00, 0x09, 0x00, 0x00, 0x00, 0x07, 0x00, 0x03, 0x80, 0x85, 0x29, 0x00, 0x60, 0x53}));
  EXPECT_EQ(Crc16(part.first(BLOCK_SIZE)), 0xB07A);
}

TEST_F(CarriedPackageTest, WholePackageAsOneImageFailsItsCheck) {
  const Bytes before = s_package;
  CFirmFile f;
  EXPECT_EQ(f.Load(s_package.data(), static_cast<uint32_t>(s_package.size())), FirmLoad::BadChecksum);
  EXPECT_EQ(s_package, before);
}

TEST_F(CarriedPackageTest, FillsSlotsOneAndTwo) {
  FirmSlots slots;
  ASSERT_EQ(slots.LoadFirmPackageCopy(s_package), 1);
  const uint32_t sizes[] = {0, UAMC_SIZE, FWUP_SIZE, 0, 0};
  for (int k = 0; k < FIRM_SLOT_COUNT; ++k) {
    EXPECT_EQ(slots.Size(k), sizes[k]) << "slot " << k;
  }
  EXPECT_EQ(slots.Version(FIRM_KIND_UAMC), u"2.09");
  EXPECT_EQ(slots.Version(FIRM_KIND_FWUP), u"2.09");
  const FirmUpdateJob job = slots.BuildUpdateJob(nullptr, nullptr, nullptr, 0);
  ASSERT_EQ(job.count, 2u);
  EXPECT_EQ(std::memcmp(job.sections[0].data, s_package.data(), UAMC_SIZE), 0);
  EXPECT_EQ(std::memcmp(job.sections[1].data, s_package.data() + UAMC_SIZE, FWUP_SIZE), 0);

  FirmSlots fromFile;
  EXPECT_EQ(fromFile.LoadFirmFile(QX80_FIRMWARE_PACKAGE_PATH), 1);
  EXPECT_EQ(fromFile.Size(FIRM_KIND_UAMC), UAMC_SIZE);
  EXPECT_EQ(fromFile.Size(FIRM_KIND_FWUP), FWUP_SIZE);
}

// A file's bytes are held once: shared by its slots and by every job built from them, for as
// long as any of them holds them.
TEST_F(CarriedPackageTest, AFilesBytesAreHeldOnce) {
  FirmSlots fromFile;
  ASSERT_EQ(fromFile.LoadFirmFile(QX80_FIRMWARE_PACKAGE_PATH), 1);
  EXPECT_EQ(fromFile.Data(FIRM_KIND_FWUP), fromFile.Data(FIRM_KIND_UAMC) + UAMC_SIZE);
  const FirmUpdateJob job = fromFile.BuildUpdateJob(nullptr, nullptr, nullptr, 0);
  EXPECT_EQ(job.sections[0].data, fromFile.Data(FIRM_KIND_UAMC));
  fromFile.ClearFirmSlots();
  ASSERT_NE(job.imageOwners[0], nullptr);
  EXPECT_EQ(std::memcmp(job.sections[1].data, s_package.data() + UAMC_SIZE, FWUP_SIZE), 0) << "the job keeps it";
}

}  // namespace
}  // namespace qx80
