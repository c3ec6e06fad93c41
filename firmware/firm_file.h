#pragma once
// CFirmFile recognises a firmware image held in memory, decides its kind, verifies its
// checksum where the kind carries one, and keeps a private copy together with the short
// version text from the image header. It is the one place that knows the image formats.
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "firmware/firm_kind.h"

namespace qx80 {

// The image container's verdict: a type of its own, because its numbers -5 and -7 mean other
// things as ProtocolResult codes. The numbers are what `qx80 inspect` shows.
enum class FirmLoad : int32_t {
  Ok = 0,
  Unrecognised = -5,  // no kind matched, a size limit or a check scheme refused
  BadChecksum = -7,
};
constexpr int32_t FirmLoadNumber(FirmLoad load) {
  return static_cast<int32_t>(load);
}

// Version text from an image header: up to 4 characters, the rest zero.
using FirmVersion = std::array<char, 8>;
// Body key: key word 0 and key word 1, as stored little-endian at the header's key field.
using FirmBodyKey = std::array<uint32_t, 2>;

// What recognising an image of kinds 0 to 4 finds out about it.
struct FirmImageInfo {
  FirmKind kind = FIRM_KIND_UNKNOWN;  // after a failed check: the kind recognised before it
  FirmVersion version{};
};

// Recognises an image of kinds 0 to 4 and verifies its checksum, without keeping anything:
// for callers that already own the bytes and need only the verdict, kind and version. The
// image is only read: a scrambled body is unscrambled a few kilobytes at a time into a buffer
// of the check's own.
FirmLoad CheckFirmImage(const uint8_t* data, uint32_t size, FirmImageInfo& info);

class CFirmFile {
 public:
  // CheckFirmImage, then a copy of the accepted image is kept. A failed load keeps the
  // previous copy and version.
  FirmLoad Load(const uint8_t* data, uint32_t size);
  // Recognises a SIAM wrapper and keeps its payload.
  FirmLoad LoadSiam(const uint8_t* data, uint32_t size);

  // After a failed load: the kind recognised before its check refused it, or -1.
  FirmKind GetKind() const { return m_kind; }
  // The kept copy (null before the first successful load); its length goes to size if given.
  const uint8_t* GetData(uint32_t* size = nullptr) const;
  void GetVersion(std::span<char, 8> out) const;

 private:
  void Keep(std::span<const uint8_t> bytes);

  FirmKind m_kind = FIRM_KIND_UNKNOWN;
  std::unique_ptr<uint8_t[]> m_data;
  uint32_t m_size = 0;
  FirmVersion m_version{};
};

// Scrambles or unscrambles (it is its own inverse) a body: byte i is XORed with byte (i mod 8)
// of the key in storage order, i.e. each little-endian 32-bit word k with key word k mod 2.
// A trailing partial word is XORed only as far as the region reaches.
void XorWords(std::span<uint8_t> region, FirmBodyKey key);

// The first of the first `candidates` positions of image where pattern starts and lies wholly
// inside image, or null. An empty pattern matches nowhere.
const uint8_t* FindBytes(std::span<const uint8_t> image, size_t candidates, std::span<const uint8_t> pattern);

}  // namespace qx80
