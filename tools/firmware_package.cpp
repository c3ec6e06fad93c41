#include "tools/firmware_package.h"

#include <span>
#include <string_view>

#include "firmware/crc16.h"
#include "firmware/firm_file.h"
#include "firmware/image_layout.h"
#include "firmware/image_writer.h"
#include "platform/byte_reader.h"
#include "tools/gf2_solver.h"

namespace qx80 {
namespace {

namespace L = firm_layout;

constexpr std::string_view CARRIED_VERSION = "2.09.0000";
constexpr uint32_t BLOCK_SIZE = 4096;
// Two opaque header bytes inside the first block, set to give that block its wanted CRC.
constexpr uint32_t FIRST_BLOCK_ADJUST_AT = 0x1F0;

// SplitMix64: a small generator whose output is fixed by its seed on every platform.
class SplitMix64 {
 public:
  explicit SplitMix64(uint64_t seed) : m_state(seed) {}
  uint64_t Next() {
    uint64_t z = (m_state += 0x9E3779B97F4A7C15);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EB;
    return z ^ (z >> 31);
  }
  void Fill(std::span<uint8_t> bytes) {
    uint64_t word = 0;
    for (size_t i = 0; i < bytes.size(); ++i) {
      if (i % 8 == 0) {
        word = Next();
      }
      bytes[i] = static_cast<uint8_t>(word >> (8 * (i % 8)));
    }
  }

 private:
  uint64_t m_state;
};

FirmBodyKey KeyOf(uint64_t bits) {
  return {static_cast<uint32_t>(bits), static_cast<uint32_t>(bits >> 32)};
}

struct PartPlan {
  FirmKind kind;
  uint32_t size;
  uint64_t seed;
  std::optional<uint16_t> firstBlockCrc;
};

std::optional<std::vector<uint8_t>> MakePart(const PartPlan& plan) {
  std::vector<uint8_t> image(plan.size);
  const std::span<uint8_t> all(image);
  SplitMix64 random(plan.seed);
  random.Fill(all.first(plan.size - L::TRAILER_CHECK_FLAG));  // opaque header bytes and the clear body
  FirmImageFields fields{plan.kind, CARRIED_VERSION, L::CHECK_SCHEME_SCRAMBLED, {}, 1};
  if (!WriteFirmImageHeader(all, fields)) {
    return std::nullopt;
  }

  // The body key: scrambling must leave the CRC of the stored bytes up to the trailer rest as
  // it is in the clear (0 once sealed), so the whole part's CRC is that of 28 zero bytes. The
  // scrambling's effect on the CRC is linear in the 64 key bits and does not depend on the
  // content, so any key in the kernel of that 64-to-16-bit map will do.
  const auto body = all.subspan(L::BODY_START, plan.size - L::CHECKED_MIN_SIZE);
  const auto covered = all.first(plan.size - L::TRAILER_REST);
  const auto storedCrc = [&](uint64_t keyBits) {
    XorWords(body, KeyOf(keyBits));
    const uint16_t crc = Crc16(covered);
    XorWords(body, KeyOf(keyBits));
    return crc;
  };
  const auto key = SolveAffine16(64, storedCrc, storedCrc(0), random.Next());
  if (!key || *key == 0) {
    return std::nullopt;
  }
  fields.key = KeyOf(*key);
  WriteFirmImageHeader(all, fields);

  if (plan.firstBlockCrc) {
    // The first block as stored: clear header, then the start of the scrambled body.
    const auto storedFirstBlock = [&](uint64_t adjust) {
      std::vector<uint8_t> block(image.begin(), image.begin() + BLOCK_SIZE);
      WriteLe16(block.data() + FIRST_BLOCK_ADJUST_AT, static_cast<uint16_t>(adjust));
      XorWords(std::span(block).subspan(L::BODY_START), fields.key);
      return Crc16(block);
    };
    const uint64_t current = ReadLe16(image.data() + FIRST_BLOCK_ADJUST_AT);
    const auto adjust = SolveAffine16(16, storedFirstBlock, *plan.firstBlockCrc, current);
    if (!adjust) {
      return std::nullopt;
    }
    WriteLe16(image.data() + FIRST_BLOCK_ADJUST_AT, static_cast<uint16_t>(*adjust));
  }

  if (!SealFirmImage(all)) {
    return std::nullopt;
  }
  return image;
}

}  // namespace

std::optional<std::vector<uint8_t>> MakeFirmwarePackage() {
  const PartPlan plans[] = {
      {FIRM_KIND_UAMC, CARRIED_UAMC_SIZE, 0x5158'3830'5541'4D43, CARRIED_UAMC_FIRST_BLOCK_CRC},
      {FIRM_KIND_FWUP, CARRIED_FWUP_SIZE, 0x5158'3830'4657'5550, std::nullopt},
  };
  std::vector<uint8_t> package;
  for (const auto& plan : plans) {
    const auto part = MakePart(plan);
    if (!part) {
      return std::nullopt;
    }
    package.insert(package.end(), part->begin(), part->end());
  }
  return package;
}

}  // namespace qx80
