#include "firmware/firm_file.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/mman.h>
#endif

#include <cstring>
#include <functional>
#include <string>

#include "firmware/image_layout.h"
#include "tests/support/image_builder.h"

namespace qx80 {
namespace {

namespace L = firm_layout;
using test::Bytes;

std::string VersionOf(const CFirmFile& f) {
  FirmVersion v{};
  f.GetVersion(v);
  return std::string(v.data(), strnlen(v.data(), v.size()));
}

struct RecognitionCase {
  const char* name;
  std::function<Bytes()> build;
  int result;
  FirmKind kind;
  const char* version;
};

Bytes TipaFallingThroughToUamc() {
  Bytes image = test::BuildHeaderImage({.kind = FIRM_KIND_UAMC, .checkFlag = 0});
  std::memcpy(image.data(), "TIPA", 4);
  return image;
}

Bytes TipaWithRecordCutOff() {
  const test::TipaImageOptions options;
  Bytes image = test::BuildTipaImage(options);
  image.resize(options.markerAt + options.anchorShift + L::TIPA_RECORD_SIZE - 1);
  return image;
}

const RecognitionCase RECOGNITION_CASES[] = {
    {"UAMC at its size limit", [] { return test::BuildHeaderImage(FIRM_KIND_UAMC, 0x500000); }, 0, 1, "2.09"},
    {"UAMC one byte over", [] { return test::BuildHeaderImage(FIRM_KIND_UAMC, 0x500001); }, -5, -1, ""},
    {"FWUP at its size limit", [] { return test::BuildHeaderImage(FIRM_KIND_FWUP, 0x80000); }, 0, 2, "2.09"},
    {"FWUP one byte over", [] { return test::BuildHeaderImage(FIRM_KIND_FWUP, 0x80001); }, -5, -1, ""},
    {"FQI at its size limit", [] { return test::BuildHeaderImage(FIRM_KIND_FQI, 0x300000); }, 0, 3, "2.09"},
    {"FQI one byte over", [] { return test::BuildHeaderImage(FIRM_KIND_FQI, 0x300001); }, -5, -1, ""},
    {"AGPF of type 2 at its size limit", [] { return test::BuildAgpfImage(0x80000, 0x12, 2); }, 0, 4, "12"},
    {"AGPF of type 1", [] { return test::BuildAgpfImage(0x400, 0x12, 1); }, -5, -1, ""},
    {"AGPF one byte over", [] { return test::BuildAgpfImage(0x80001, 0x12, 2); }, -5, -1, ""},
    {"TIPA with its record", [] { return test::BuildTipaImage({}); }, 0, 0, "0107"},
    {"TIPA anchor at the eighth position", [] { return test::BuildTipaImage({.anchorShift = 7}); }, 0, 0, "0107"},
    {"TIPA anchor beyond eight positions", [] { return test::BuildTipaImage({.anchorShift = 8}); }, -5, -1, ""},
    {"TIPA without its record", [] { return test::BuildTipaImage({.withRecord = false}); }, -5, -1, ""},
    {"TIPA record cut off by the end", TipaWithRecordCutOff, -5, -1, ""},
    {"TIPA one byte over", [] { return test::BuildTipaImage({.size = 0x80001}); }, -5, -1, ""},
    {"TIPA without its record falls through", TipaFallingThroughToUamc, 0, 1, "2.09"},
    {"no magic", [] { return Bytes(0x1000, 0); }, -5, -1, ""},
    {"a SIAM wrapper", [] { return test::BuildSiamImage(test::RandomBytes(100, 3)); }, -5, -1, ""},
};

TEST(FirmFileTest, RecognisesEachKindWithinItsLimits) {
  for (const auto& c : RECOGNITION_CASES) {
    SCOPED_TRACE(c.name);
    Bytes image = c.build();
    const Bytes before = image;
    CFirmFile f;
    ASSERT_EQ(FirmLoadNumber(f.Load(image.data(), static_cast<uint32_t>(image.size()))), c.result);
    EXPECT_EQ(image, before);
    if (c.result != 0) {
      continue;
    }
    EXPECT_EQ(f.GetKind(), c.kind);
    EXPECT_EQ(VersionOf(f), c.version);
    uint32_t size = 0;
    const uint8_t* data = f.GetData(&size);
    ASSERT_EQ(size, image.size());
    // The copy holds the bytes as stored, scrambled body included.
    EXPECT_EQ(std::memcmp(data, before.data(), size), 0);
  }
}

TEST(FirmFileTest, FreshContainerHoldsNothing) {
  CFirmFile f;
  uint32_t size = 1;
  EXPECT_EQ(f.GetData(&size), nullptr);
  EXPECT_EQ(size, 0u);
  EXPECT_EQ(f.GetKind(), FIRM_KIND_UNKNOWN);
  EXPECT_EQ(VersionOf(f), "");
}

TEST(FirmFileTest, CheckFlagZeroSkipsTheCheck) {
  Bytes image = test::BuildHeaderImage({.checkFlag = 0});
  image[image.size() - L::TRAILER_CHECK_VALUE] ^= 0xFF;
  CFirmFile f;
  EXPECT_EQ(f.Load(image.data(), static_cast<uint32_t>(image.size())), FirmLoad::Ok);
}

TEST(FirmFileTest, OnlyCheckSchemeTwoIsAccepted) {
  for (const FirmKind kind : {FIRM_KIND_UAMC, FIRM_KIND_FWUP, FIRM_KIND_FQI}) {
    for (const uint32_t scheme : {0u, 1u, 3u}) {
      Bytes image = test::BuildHeaderImage({.kind = kind, .checkScheme = scheme});
      CFirmFile f;
      EXPECT_EQ(f.Load(image.data(), static_cast<uint32_t>(image.size())), FirmLoad::Unrecognised)
          << kind << " scheme " << scheme;
    }
  }
}

TEST(FirmFileTest, ImageTooShortForItsTrailerIsRefusedOnlyWhenChecked) {
  Bytes image(L::CHECKED_MIN_SIZE - 1, 0);
  std::memcpy(image.data() + L::HEADER_MAGIC, "UAMC", 4);
  CFirmFile f;
  EXPECT_EQ(f.Load(image.data(), static_cast<uint32_t>(image.size())), FirmLoad::Ok);  // no checksum to verify
  image[image.size() - L::TRAILER_CHECK_FLAG] = 1;
  EXPECT_EQ(f.Load(image.data(), static_cast<uint32_t>(image.size())), FirmLoad::Unrecognised);
}

TEST(FirmFileTest, BodiesOfAnyLengthVerify) {
  // Body lengths that end on a partial word or a half key: the scrambling must not reach
  // outside the body, and the check must still come out right.
  // Bodies of exactly one window, one byte more, and several windows with a tail.
  for (const uint32_t size :
       {0x220u, 0x221u, 0x222u, 0x223u, 0x224u, 0x225u, 0x1004u, 0x1007u, 0x1220u, 0x1221u, 0x3223u, 289268u}) {
    Bytes image = test::BuildHeaderImage({.kind = FIRM_KIND_FWUP, .size = size});
    CFirmFile f;
    EXPECT_EQ(f.Load(image.data(), size), FirmLoad::Ok) << "size " << size;
    // One byte changed anywhere in the body, the last window included, fails the check.
    for (const uint32_t at : {L::BODY_START, L::BODY_START + 0x1000, size - L::TRAILER_CHECK_FLAG - 1}) {
      if (at >= size - L::TRAILER_CHECK_FLAG || at < L::BODY_START) {
        continue;
      }
      image[at] ^= 0x10;
      EXPECT_EQ(f.Load(image.data(), size), FirmLoad::BadChecksum) << "size " << size << ", byte " << at;
      image[at] ^= 0x10;
    }
  }
}

#ifndef _WIN32
// The check only reads: an image in read-only memory (as the executable's resource is) is
// checked where it lies, and a write would fault.
TEST(FirmFileTest, AnImageInReadOnlyMemoryIsCheckedWhereItLies) {
  const Bytes image = test::BuildHeaderImage({.kind = FIRM_KIND_UAMC, .size = 0x5000, .version = "2.09"});
  void* pages = mmap(nullptr, image.size(), PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  ASSERT_NE(pages, MAP_FAILED);
  std::memcpy(pages, image.data(), image.size());
  ASSERT_EQ(mprotect(pages, image.size(), PROT_READ), 0);
  FirmImageInfo info;
  EXPECT_EQ(CheckFirmImage(static_cast<const uint8_t*>(pages), static_cast<uint32_t>(image.size()), info),
            FirmLoad::Ok);
  EXPECT_EQ(info.kind, FIRM_KIND_UAMC);
  munmap(pages, image.size());
}
#endif

class FlippedByteTest : public ::testing::Test {
 protected:
  static constexpr uint32_t SIZE = 0x2003;
  Bytes m_image = test::BuildHeaderImage({.kind = FIRM_KIND_UAMC, .size = SIZE});

  int LoadWithFlipAt(uint32_t at) {
    Bytes image = m_image;
    image[at] ^= 0x80;  // keeps the check flag set when it lands there
    const Bytes before = image;
    CFirmFile f;
    const FirmLoad result = f.Load(image.data(), SIZE);
    EXPECT_EQ(image, before) << "buffer changed by a load that returned " << FirmLoadNumber(result);
    return FirmLoadNumber(result);
  }
};

TEST_F(FlippedByteTest, AnyByteBeforeTheTrailerRestBreaksTheCheck) {
  const uint32_t positions[] = {
      0,                                 // opaque header
      L::HEADER_VERSION + 1,             // version text
      L::HEADER_PART_LENGTH,             // part length (not read by the container, but covered)
      L::HEADER_BODY_KEY,                // key word 0
      L::HEADER_BODY_KEY + 7,            // key word 1
      0x1FF,                             // last header byte
      L::BODY_START,                     // first body byte
      0x1234,                            // inside the body
      SIZE - L::TRAILER_CHECK_FLAG - 1,  // last body byte, in a partial word
      SIZE - L::TRAILER_CHECK_FLAG,      // check flag (still set)
      SIZE - L::TRAILER_CHECK_VALUE,     // check value, high byte
      SIZE - L::TRAILER_REST - 1,        // check value, low byte
  };
  for (const uint32_t at : positions) {
    EXPECT_EQ(LoadWithFlipAt(at), -7) << "flip at 0x" << std::hex << at;
  }
}

TEST_F(FlippedByteTest, TrailerRestIsNotCovered) {
  for (uint32_t at = SIZE - L::TRAILER_REST; at < SIZE; ++at) {
    EXPECT_EQ(LoadWithFlipAt(at), 0) << "flip at 0x" << std::hex << at;
  }
}

TEST(FirmFileTest, FailedLoadKeepsThePreviousCopy) {
  Bytes first = test::BuildHeaderImage({.kind = FIRM_KIND_FWUP, .size = 0x800, .version = "1.23"});
  CFirmFile f;
  ASSERT_EQ(f.Load(first.data(), 0x800), FirmLoad::Ok);
  const uint8_t* kept = f.GetData();

  Bytes broken = test::BuildHeaderImage({.kind = FIRM_KIND_UAMC, .size = 0x900, .version = "9.99"});
  broken[0x300] ^= 0x80;
  EXPECT_EQ(f.Load(broken.data(), 0x900), FirmLoad::BadChecksum);
  EXPECT_EQ(f.GetKind(), FIRM_KIND_UAMC);  // recognised, then refused by its check
  Bytes garbage(0x900, 0x5A);
  EXPECT_EQ(f.Load(garbage.data(), 0x900), FirmLoad::Unrecognised);

  uint32_t size = 0;
  EXPECT_EQ(f.GetData(&size), kept);
  EXPECT_EQ(size, 0x800u);
  EXPECT_EQ(std::memcmp(kept, first.data(), size), 0);
  EXPECT_EQ(VersionOf(f), "1.23");

  // A later success replaces copy and version.
  Bytes agpf = test::BuildAgpfImage(0x100, 0x37);
  ASSERT_EQ(f.Load(agpf.data(), 0x100), FirmLoad::Ok);
  EXPECT_EQ(f.GetKind(), FIRM_KIND_AGPF);
  EXPECT_EQ(VersionOf(f), "37");
  f.GetData(&size);
  EXPECT_EQ(size, 0x100u);
}

struct SiamCase {
  const char* name;
  std::function<Bytes()> build;
  int result;
  uint32_t payloadSize;
};

const SiamCase SIAM_CASES[] = {
    {"largest payload", [] { return test::BuildSiamImage(test::RandomBytes(0x100000, 4)); }, 0, 0x100000},
    {"empty payload", [] { return test::BuildSiamImage({}); }, 0, 0},
    {"one byte more than the length says",
     [] {
       auto image = test::BuildSiamImage(test::RandomBytes(100, 5));
       image.push_back(0);
       return image;
     },
     -5, 0},
    {"one byte less than the length says",
     [] {
       auto image = test::BuildSiamImage(test::RandomBytes(100, 5));
       image.pop_back();
       return image;
     },
     -5, 0},
    {"payload over the limit", [] { return test::BuildSiamImage(test::RandomBytes(0x100001, 6)); }, -5, 0},
    {"wrong format text",
     [] {
       auto image = test::BuildSiamImage(test::RandomBytes(100, 7));
       image[L::SIAM_FORMAT_AT + 3] = '1';
       return image;
     },
     -5, 0},
    {"a UAMC image", [] { return test::BuildHeaderImage(FIRM_KIND_UAMC, 0x1000); }, -5, 0},
};

TEST(FirmFileTest, LoadSiamKeepsThePayload) {
  for (const auto& c : SIAM_CASES) {
    SCOPED_TRACE(c.name);
    const Bytes image = c.build();
    CFirmFile f;
    ASSERT_EQ(FirmLoadNumber(f.LoadSiam(image.data(), static_cast<uint32_t>(image.size()))), c.result);
    if (c.result != 0) {
      continue;
    }
    EXPECT_EQ(f.GetKind(), FIRM_KIND_SIAM);
    uint32_t size = 1;
    const uint8_t* data = f.GetData(&size);
    ASSERT_EQ(size, c.payloadSize);
    EXPECT_EQ(std::memcmp(data, image.data() + L::SIAM_PAYLOAD, size), 0);
  }
}

TEST(XorWordsTest, XorsExactlyTheRegionWithTheKeyBytesInStorageOrder) {
  const FirmBodyKey key = {0x04030201, 0x08070605};
  for (size_t length = 0; length <= 19; ++length) {
    // Guard bytes on both sides catch a partial last word reaching past the region.
    Bytes buffer = test::RandomBytes(length + 8, static_cast<uint32_t>(length));
    const Bytes before = buffer;
    XorWords(std::span(buffer).subspan(4, length), key);
    for (size_t i = 0; i < buffer.size(); ++i) {
      const bool inside = i >= 4 && i < 4 + length;
      const uint8_t expected = inside ? static_cast<uint8_t>(before[i] ^ ((i - 4) % 8 + 1)) : before[i];
      EXPECT_EQ(buffer[i], expected) << "length " << length << ", byte " << i;
    }
    XorWords(std::span(buffer).subspan(4, length), key);
    EXPECT_EQ(buffer, before) << "length " << length;
  }
}

TEST(FindBytesTest, FindsTheFirstMatchWhollyInside) {
  const Bytes image = {'x', 'a', 'b', 'a', 'b', 'c', 'a', 'b'};
  const Bytes ab = {'a', 'b'};
  const Bytes abc = {'a', 'b', 'c'};
  const Bytes bx = {'b', 'x'};
  EXPECT_EQ(FindBytes(image, image.size(), ab), image.data() + 1);
  EXPECT_EQ(FindBytes(image, image.size(), abc), image.data() + 3);
  // A match may extend past the last candidate position...
  EXPECT_EQ(FindBytes(image, 4, abc), image.data() + 3);
  // ...but not start beyond it, nor run past the end of the image.
  EXPECT_EQ(FindBytes(image, 3, abc), nullptr);
  EXPECT_EQ(FindBytes(std::span(image).first(5), 8, abc), nullptr);
  EXPECT_EQ(FindBytes(image, image.size(), bx), nullptr);
  EXPECT_EQ(FindBytes({}, 8, ab), nullptr);
  EXPECT_EQ(FindBytes(image, image.size(), {}), nullptr);
}

}  // namespace
}  // namespace qx80
