#include "firmware/firm_slots.h"

#include <gtest/gtest.h>

#include <cstring>

#include "tests/support/image_builder.h"

namespace qx80 {
namespace {

using test::Bytes;

void Progress(int, void*) {}

class FirmSlotsTest : public ::testing::Test {
 protected:
  const Bytes m_uamc = test::BuildHeaderImage({.kind = FIRM_KIND_UAMC, .size = 0x1800, .version = "0012"});
  const Bytes m_fwup = test::BuildHeaderImage({.kind = FIRM_KIND_FWUP, .size = 0x900, .version = "0.50"});
  FirmSlots m_slots;

  int Load(Bytes package) {
    const Bytes before = package;
    const int result = m_slots.LoadFirmPackage(package.data(), static_cast<uint32_t>(package.size()));
    EXPECT_EQ(package, before) << "the package buffer changed";
    return result;
  }

  // Slot sizes, 0 for an empty slot; also checks that size and pointer agree.
  std::vector<uint32_t> SlotSizes() const {
    std::vector<uint32_t> sizes;
    for (int k = 0; k < FIRM_SLOT_COUNT; ++k) {
      EXPECT_EQ(m_slots.Data(k) == nullptr, m_slots.Size(k) == 0) << "slot " << k;
      sizes.push_back(m_slots.Size(k));
    }
    return sizes;
  }

  bool SlotHolds(int kind, const Bytes& bytes) const {
    return m_slots.Size(kind) == bytes.size() && std::memcmp(m_slots.Data(kind), bytes.data(), bytes.size()) == 0;
  }
};

TEST_F(FirmSlotsTest, PartsGoToTheSlotsOfTheirKinds) {
  EXPECT_EQ(Load(test::Concat({m_uamc, m_fwup})), 1);
  EXPECT_EQ(SlotSizes(), (std::vector<uint32_t>{0, 0x1800, 0x900, 0, 0}));
  EXPECT_TRUE(SlotHolds(FIRM_KIND_UAMC, m_uamc));
  EXPECT_TRUE(SlotHolds(FIRM_KIND_FWUP, m_fwup));
  EXPECT_EQ(m_slots.Version(FIRM_KIND_UAMC), u"12");
  EXPECT_EQ(m_slots.Version(FIRM_KIND_FWUP), u"0.50");
  EXPECT_EQ(m_slots.Version(FIRM_KIND_TIPA), u"");
}

TEST_F(FirmSlotsTest, PackageOrderDoesNotChangeTheJob) {
  int user = 0;
  ASSERT_EQ(Load(test::Concat({m_fwup, m_uamc})), 1);
  const FirmUpdateJob job = m_slots.BuildUpdateJob(Progress, &user, &user, WM_UPDATE_FINISHED);

  FirmSlots other;
  Bytes uamcFirst = test::Concat({m_uamc, m_fwup});
  ASSERT_EQ(other.LoadFirmPackage(uamcFirst.data(), static_cast<uint32_t>(uamcFirst.size())), 1);
  const FirmUpdateJob expected = other.BuildUpdateJob(Progress, &user, &user, WM_UPDATE_FINISHED);

  ASSERT_EQ(job.count, 2u);
  ASSERT_EQ(expected.count, 2u);
  for (uint32_t i = 0; i < 2; ++i) {
    ASSERT_EQ(job.sections[i].size, expected.sections[i].size);
    EXPECT_EQ(std::memcmp(job.sections[i].data, expected.sections[i].data, job.sections[i].size), 0);
  }
  EXPECT_EQ(job.sections[0].size, m_uamc.size());  // the lower kind always comes first
  EXPECT_EQ(job.kinds[0], FIRM_KIND_UAMC);
  EXPECT_EQ(job.kinds[1], FIRM_KIND_FWUP);
}

TEST_F(FirmSlotsTest, JobPacksFilledSlotsInKindOrder) {
  int user = 0;
  ASSERT_EQ(Load(test::Concat({test::BuildAgpfImage(0x40), m_fwup, test::BuildTipaImage({})})), 1);
  const FirmUpdateJob job = m_slots.BuildUpdateJob(Progress, &user, &user, WM_UPDATE_FINISHED);
  ASSERT_EQ(job.count, 3u);
  const int kinds[] = {FIRM_KIND_TIPA, FIRM_KIND_FWUP, FIRM_KIND_AGPF};
  for (uint32_t i = 0; i < job.count; ++i) {
    EXPECT_EQ(job.sections[i].data, m_slots.Data(kinds[i]));
    EXPECT_EQ(job.sections[i].size, m_slots.Size(kinds[i]));
    EXPECT_EQ(job.sections[i].callback, &Progress);
    EXPECT_EQ(job.sections[i].userData, &user);
  }
  for (uint32_t i = job.count; i < FIRM_SLOT_COUNT; ++i) {
    EXPECT_EQ(job.sections[i].data, nullptr);
    EXPECT_EQ(job.sections[i].size, 0u);
    EXPECT_EQ(job.sections[i].callback, nullptr);
    EXPECT_EQ(job.sections[i].userData, nullptr);
  }
  EXPECT_EQ(job.notifyWindow, &user);
  EXPECT_EQ(job.notifyMessage, WM_UPDATE_FINISHED);
  EXPECT_EQ(m_slots.Version(FIRM_KIND_AGPF), u"12");
  EXPECT_EQ(m_slots.Version(FIRM_KIND_TIPA), u"107");

  m_slots.ClearFirmSlots();
  EXPECT_EQ(m_slots.BuildUpdateJob(Progress, &user, &user, WM_UPDATE_FINISHED).count, 0u);
  EXPECT_EQ(m_slots.Version(FIRM_KIND_AGPF), u"12");  // clearing keeps the version texts
}

TEST_F(FirmSlotsTest, GarbageAfterAValidPartIsIgnored) {
  EXPECT_EQ(Load(test::Concat({m_fwup, test::RandomBytes(0x777, 9)})), 1);
  EXPECT_EQ(SlotSizes(), (std::vector<uint32_t>{0, 0, 0x900, 0, 0}));
}

TEST_F(FirmSlotsTest, PartFailingItsCheckFillsItsSlotAndKeepsTheOldVersion) {
  ASSERT_EQ(Load(m_uamc), 1);
  Bytes broken = test::BuildHeaderImage({.kind = FIRM_KIND_UAMC, .size = 0x1000, .version = "3.00"});
  broken[0x800] ^= 0x10;
  EXPECT_EQ(Load(broken), 1);
  EXPECT_TRUE(SlotHolds(FIRM_KIND_UAMC, broken));  // written anyway; the device write then refuses it
  EXPECT_EQ(m_slots.Version(FIRM_KIND_UAMC), u"12");

  FirmSlots fresh;
  ASSERT_EQ(fresh.LoadFirmPackage(broken.data(), static_cast<uint32_t>(broken.size())), 1);
  EXPECT_EQ(fresh.Version(FIRM_KIND_UAMC), u"");
}

TEST_F(FirmSlotsTest, LaterPartOfTheSameKindReplacesTheEarlier) {
  const Bytes second = test::BuildHeaderImage({.kind = FIRM_KIND_FWUP, .size = 0x700, .version = "0007"});
  EXPECT_EQ(Load(test::Concat({m_fwup, second})), 1);
  EXPECT_TRUE(SlotHolds(FIRM_KIND_FWUP, second));
  EXPECT_EQ(m_slots.Version(FIRM_KIND_FWUP), u"7");
}

TEST_F(FirmSlotsTest, ResultTellsWhetherAnySlotIsFilled) {
  EXPECT_EQ(Load(Bytes(0x400, 0)), 0);
  ASSERT_EQ(Load(m_fwup), 1);
  // Slots filled earlier still count: the callers clear them first when they replace them.
  EXPECT_EQ(Load(Bytes(0x400, 0)), 1);
}

TEST_F(FirmSlotsTest, CopyOfReadOnlyBytesLoadsTheSame) {
  const Bytes package = test::Concat({m_uamc, m_fwup});
  EXPECT_EQ(m_slots.LoadFirmPackageCopy(package), 1);
  EXPECT_TRUE(SlotHolds(FIRM_KIND_UAMC, m_uamc));
  EXPECT_TRUE(SlotHolds(FIRM_KIND_FWUP, m_fwup));
  EXPECT_EQ(m_slots.Version(FIRM_KIND_UAMC), u"12");
}

TEST_F(FirmSlotsTest, FileReplacesAllSlots) {
  ASSERT_EQ(Load(test::Concat({test::BuildAgpfImage(0x40), m_fwup})), 1);
  const test::TempImageFile file(m_uamc);
  EXPECT_EQ(m_slots.LoadFirmFile(file.Path()), 1);
  EXPECT_EQ(SlotSizes(), (std::vector<uint32_t>{0, 0x1800, 0, 0, 0}));
  EXPECT_TRUE(SlotHolds(FIRM_KIND_UAMC, m_uamc));
}

TEST_F(FirmSlotsTest, FileWithAnUnrecognisedFirstPartEmptiesTheSlots) {
  ASSERT_EQ(Load(m_fwup), 1);
  const test::TempImageFile file(test::Concat({Bytes(0x80, 0xAB), m_uamc}));
  EXPECT_EQ(m_slots.LoadFirmFile(file.Path()), 0);
  EXPECT_EQ(SlotSizes(), (std::vector<uint32_t>(FIRM_SLOT_COUNT, 0)));
  EXPECT_EQ(m_slots.Version(FIRM_KIND_FWUP), u"0.50");  // texts stay until the next good load
}

TEST_F(FirmSlotsTest, FileThatCannotBeOpenedLeavesTheSlots) {
  ASSERT_EQ(Load(m_fwup), 1);
  const auto missing = std::filesystem::temp_directory_path() / "qx80-no-such-dir" / "firmware.bin";
  EXPECT_EQ(m_slots.LoadFirmFile(missing), 0);
  EXPECT_EQ(m_slots.LoadFirmFile(std::filesystem::temp_directory_path()), 0);  // a folder
  EXPECT_TRUE(SlotHolds(FIRM_KIND_FWUP, m_fwup));
}

}  // namespace
}  // namespace qx80
