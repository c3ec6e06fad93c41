#include "firmware/package_split.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <vector>

#include "firmware/image_layout.h"
#include "tests/support/image_builder.h"

namespace qx80 {

void PrintTo(const PackagePart& p, std::ostream* os) {
  *os << "{kind " << p.kind << ", offset " << p.offset << ", size " << p.size << "}";
}

namespace {

namespace L = firm_layout;
using test::Bytes;

Bytes WithU32At(Bytes image, size_t at, uint32_t value) {
  std::memcpy(image.data() + at, &value, 4);  // the test hosts are little-endian, like the format
  return image;
}

const Bytes UAMC = test::BuildHeaderImage(FIRM_KIND_UAMC, 0x400);
const Bytes FWUP = test::BuildHeaderImage(FIRM_KIND_FWUP, 0x300);
const Bytes FQI = test::BuildHeaderImage(FIRM_KIND_FQI, 0x280);
const Bytes AGPF = test::BuildAgpfImage(0x40);
const Bytes TIPA = test::BuildTipaImage({.size = 0x200});

struct SplitCase {
  const char* name;
  std::function<Bytes()> build;
  std::vector<PackagePart> parts;
};

const SplitCase SPLIT_CASES[] = {
    {"two parts",
     [] {
       return test::Concat({UAMC, FWUP});
     },
     {{1, 0, 0x400}, {2, 0x400, 0x300}}},
    {"every kind, kind 0 taking the rest",
     [] {
       return test::Concat({AGPF, FQI, UAMC, TIPA});
     },
     {{4, 0, 0x40}, {3, 0x40, 0x280}, {1, 0x2C0, 0x400}, {0, 0x6C0, 0x200}}},
    {"kind 0 first takes everything",
     [] {
       return test::Concat({TIPA, UAMC});
     },
     {{0, 0, 0x600}}},
    {"a valid part, then garbage",
     [] {
       return test::Concat({FWUP, Bytes(0x500, 0xEE)});
     },
     {{2, 0, 0x300}}},
    {"garbage first",
     [] {
       return test::Concat({Bytes(0x100, 0), UAMC});
     },
     {}},
    {"at most five parts",
     [] {
       return test::Concat({AGPF, AGPF, AGPF, AGPF, AGPF, AGPF});
     },
     {{4, 0, 0x40}, {4, 0x40, 0x40}, {4, 0x80, 0x40}, {4, 0xC0, 0x40}, {4, 0x100, 0x40}}},
    {"empty package", [] { return Bytes{}; }, {}},
    {"part length 0", [] { return WithU32At(UAMC, L::HEADER_PART_LENGTH, 0); }, {}},
    {"part length one past the end", [] { return WithU32At(UAMC, L::HEADER_PART_LENGTH, 0x401); }, {}},
    {"second part's length past the end",
     [] {
       return test::Concat({UAMC, WithU32At(FWUP, L::HEADER_PART_LENGTH, 0x301)});
     },
     {{1, 0, 0x400}}},
    {"kind 4 length that wraps around", [] { return WithU32At(AGPF, L::AGPF_LENGTH, 0xFFFFFFF8); }, {}},
    {"kind 4 header too short for its length", [] { return Bytes(AGPF.begin(), AGPF.begin() + 11); }, {}},
    {"header too short for the part length",
     [] { return Bytes(UAMC.begin(), UAMC.begin() + L::PACKAGE_HEADER_MIN_SIZE - 1); },
     {}},
    {"part length shorter than the part",
     [] { return WithU32At(UAMC, L::HEADER_PART_LENGTH, 0x100); },
     {{1, 0, 0x100}}},
};

TEST(PackageSplitTest, SplitsAsTheUpdaterDoes) {
  for (const auto& c : SPLIT_CASES) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(SplitFirmPackage(c.build()), c.parts);
  }
}

}  // namespace
}  // namespace qx80
