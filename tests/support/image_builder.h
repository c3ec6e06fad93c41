#pragma once
// Builders of firmware images and packages for tests: valid images of every kind, of any
// size, with correct check values, which a test can then break on purpose.
#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <span>
#include <string>
#include <vector>

#include "firmware/firm_file.h"
#include "firmware/firm_kind.h"

namespace qx80::test {

using Bytes = std::vector<uint8_t>;

// Bytes fixed by the seed.
Bytes RandomBytes(size_t count, uint32_t seed);

// A kind-1, 2 or 3 image: header fields, a random body and a trailer with its check value and
// a zero-filled rest; the body is scrambled when the check flag is set. The part length field
// is the image's size.
struct HeaderImageOptions {
  FirmKind kind = FIRM_KIND_UAMC;
  uint32_t size = 0x1000;  // at least 0x220
  std::string version = "2.09";
  uint16_t checkFlag = 1;
  uint32_t checkScheme = 2;
  FirmBodyKey key = {0x6B3C9A15, 0xE2047D58};
  uint32_t seed = 1;  // body content
};
Bytes BuildHeaderImage(const HeaderImageOptions& options);
inline Bytes BuildHeaderImage(FirmKind kind, uint32_t size) {
  return BuildHeaderImage({.kind = kind, .size = size});
}

// A kind-4 image: "AGPF", version digits at byte 4, type at byte 7, and the length field set
// so that the package splitter takes all `size` bytes (at least 12).
Bytes BuildAgpfImage(uint32_t size, uint8_t versionDigits = 0x12, uint8_t type = 2);

// A kind-0 image: "TIPA", the search marker at markerAt, the anchor anchorShift bytes after it
// (up to 7 is found) and the "MON1" record with the version text, unless withRecord is false.
struct TipaImageOptions {
  uint32_t size = 0x400;
  std::string version = "0107";
  bool withRecord = true;
  uint32_t markerAt = 0x20;
  uint32_t anchorShift = 5;  // 4 to 7: the anchor follows the marker within its window
};
Bytes BuildTipaImage(const TipaImageOptions& options);

// A SIAM wrapper around payload.
Bytes BuildSiamImage(std::span<const uint8_t> payload);

// Parts laid end to end, as in a package.
Bytes Concat(std::initializer_list<std::span<const uint8_t>> parts);

// Bytes written to a file of their own in the temporary directory, removed again on destruction.
class TempImageFile {
 public:
  explicit TempImageFile(std::span<const uint8_t> bytes);
  ~TempImageFile();
  TempImageFile(const TempImageFile&) = delete;
  TempImageFile& operator=(const TempImageFile&) = delete;

  const std::filesystem::path& Path() const { return m_path; }

 private:
  std::filesystem::path m_path;
};

}  // namespace qx80::test
