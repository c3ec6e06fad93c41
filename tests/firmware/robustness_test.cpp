// Random and truncated inputs through everything that parses images and packages. Each input
// lives in a heap buffer of exactly its size, so the sanitizer builds catch any read or write
// outside it.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>

#include "firmware/firm_file.h"
#include "firmware/firm_slots.h"
#include "firmware/image_layout.h"
#include "firmware/package_split.h"
#include "tests/support/image_builder.h"

namespace qx80 {
namespace {

namespace L = firm_layout;
using test::Bytes;

void CheckEverything(const Bytes& input) {
  const size_t size = input.size();
  auto exact = std::make_unique<uint8_t[]>(size);
  std::copy(input.begin(), input.end(), exact.get());
  uint8_t* data = size > 0 ? exact.get() : nullptr;
  const auto n = static_cast<uint32_t>(size);

  CFirmFile f;
  const int load = FirmLoadNumber(f.Load(data, n));
  EXPECT_TRUE(load == 0 || load == -5 || load == -7) << load;
  const int siam = FirmLoadNumber(f.LoadSiam(data, n));
  EXPECT_TRUE(siam == 0 || siam == -5) << siam;

  size_t end = 0;
  for (const PackagePart& p : SplitFirmPackage({data, size})) {
    EXPECT_EQ(p.offset, end);
    EXPECT_GT(p.size, 0u);
    end = size_t{p.offset} + p.size;
  }
  EXPECT_LE(end, size);

  FirmSlots slots;
  slots.LoadFirmPackage(data, n);
  EXPECT_TRUE(std::equal(input.begin(), input.end(), exact.get())) << "input changed";
}

// Valid inputs of every kind, small enough to try every truncation of their headers.
std::vector<Bytes> Seeds() {
  return {
      test::BuildHeaderImage(FIRM_KIND_UAMC, 0x300),
      test::BuildHeaderImage({.kind = FIRM_KIND_FQI, .size = 0x260, .checkFlag = 0}),
      test::BuildAgpfImage(0x20),
      test::BuildTipaImage({.size = 0x90}),
      test::BuildSiamImage(test::RandomBytes(40, 2)),
      test::Concat({test::BuildHeaderImage(FIRM_KIND_FWUP, 0x240), test::BuildAgpfImage(0x10),
                    test::BuildTipaImage({.size = 0x80})}),
  };
}

TEST(RobustnessTest, EveryTruncationOfValidInputs) {
  for (const Bytes& seed : Seeds()) {
    for (size_t length = 0; length <= seed.size(); ++length) {
      SCOPED_TRACE(length);
      CheckEverything(Bytes(seed.begin(), seed.begin() + static_cast<std::ptrdiff_t>(length)));
    }
  }
}

TEST(RobustnessTest, RandomlyCorruptedInputs) {
  std::mt19937 random(20240601);
  const auto seeds = Seeds();
  for (int round = 0; round < 3000; ++round) {
    Bytes input = seeds[random() % seeds.size()];
    // Corrupt a few bytes, favouring the fields that steer the parsing.
    const size_t hot[] = {0,
                          7,
                          8,
                          9,
                          10,
                          11,
                          20,
                          21,
                          22,
                          23,
                          L::HEADER_PART_LENGTH,
                          L::HEADER_PART_LENGTH + 2,
                          L::HEADER_PART_LENGTH + 3,
                          input.size() - L::TRAILER_CHECK_FLAG};
    for (auto i = static_cast<int>(random() % 4); i >= 0; --i) {
      const size_t at = (random() % 2 != 0) ? hot[random() % std::size(hot)] : random() % input.size();
      if (at < input.size()) {
        input[at] = static_cast<uint8_t>(random());
      }
    }
    input.resize(random() % (input.size() + 1));
    SCOPED_TRACE(round);
    CheckEverything(input);
  }
}

TEST(RobustnessTest, RandomBuffersWithPlantedMagics) {
  std::mt19937 random(77);
  const std::string_view magics[] = {"TIPA", "AGPF", "SIAM", "UAMC", "FWUP", "FQI "};
  for (int round = 0; round < 2000; ++round) {
    Bytes input = test::RandomBytes(random() % 0x240, static_cast<uint32_t>(round));
    const std::string_view magic = magics[random() % std::size(magics)];
    const size_t at = (magic == "UAMC" || magic == "FWUP" || magic == "FQI ") ? L::HEADER_MAGIC : 0;
    if (at + 4 <= input.size()) {
      std::memcpy(input.data() + at, magic.data(), 4);
    }
    if (magic == "TIPA" && input.size() > 0x40) {
      std::memcpy(input.data() + random() % (input.size() - 8), "\x01KTV", 4);
    }
    SCOPED_TRACE(round);
    CheckEverything(input);
  }
}

}  // namespace
}  // namespace qx80
