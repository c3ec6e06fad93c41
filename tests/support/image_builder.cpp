#include "tests/support/image_builder.h"

#include <algorithm>
#include <atomic>
#include <fstream>
#include <random>
#include <stdexcept>
#include <string_view>

#include "firmware/image_layout.h"
#include "firmware/image_writer.h"
#include "platform/byte_reader.h"

namespace qx80::test {
namespace {

namespace L = firm_layout;

// A test that asks for an image its own fields do not fit in is itself wrong: say so loudly.
void Require(bool condition, const char* what) {
  if (!condition) {
    throw std::invalid_argument(what);
  }
}

void PutText(Bytes& image, size_t at, std::string_view text) {
  Require(at + text.size() <= image.size(), "image too short for its fields");
  std::copy(text.begin(), text.end(), image.begin() + at);
}

void PutU32LE(Bytes& image, size_t at, uint32_t v) {
  Require(at + 4 <= image.size(), "image too short for its fields");
  WriteLe32(image.data() + at, v);
}

}  // namespace

Bytes RandomBytes(size_t count, uint32_t seed) {
  std::mt19937 random(seed);
  Bytes bytes(count);
  for (auto& b : bytes) {
    b = static_cast<uint8_t>(random());
  }
  return bytes;
}

Bytes BuildHeaderImage(const HeaderImageOptions& o) {
  Require(o.size >= L::CHECKED_MIN_SIZE, "image too short for its fields");
  Bytes image(o.size, 0);
  const Bytes body = RandomBytes(o.size - L::CHECKED_MIN_SIZE, o.seed);
  std::copy(body.begin(), body.end(), image.begin() + L::BODY_START);
  const FirmImageFields fields{o.kind, o.version, o.checkScheme, o.key, o.checkFlag};
  Require(WriteFirmImageHeader(image, fields) && SealFirmImage(image), "header fields refused");
  return image;
}

Bytes BuildAgpfImage(uint32_t size, uint8_t versionDigits, uint8_t type) {
  Require(size >= L::AGPF_PACKAGE_MIN_SIZE, "image too short for its fields");
  Bytes image = RandomBytes(size, size);
  PutText(image, 0, L::AGPF_MAGIC);
  image[L::AGPF_VERSION] = versionDigits;
  image[L::AGPF_TYPE] = type;
  PutU32LE(image, L::AGPF_LENGTH, size - L::AGPF_LENGTH_EXTRA);
  return image;
}

Bytes BuildTipaImage(const TipaImageOptions& o) {
  Bytes image(o.size, 0);
  PutText(image, 0, L::TIPA_MAGIC);
  PutText(image, o.markerAt, L::TIPA_MARKER);
  const size_t anchor = o.markerAt + o.anchorShift;
  PutText(image, anchor, L::TIPA_ANCHOR);
  if (o.withRecord) {
    PutText(image, anchor + L::TIPA_RECORD_TAG_AT, L::TIPA_RECORD_TAG);
    PutText(image, anchor + L::TIPA_RECORD_VERSION_AT, o.version);
    PutText(image, anchor + L::TIPA_RECORD_TYPE_AT, std::string(1, static_cast<char>(L::TIPA_RECORD_TYPE_VALUE)));
  }
  return image;
}

Bytes BuildSiamImage(std::span<const uint8_t> payload) {
  Bytes image(L::SIAM_PAYLOAD + payload.size(), 0);
  PutText(image, 0, L::SIAM_MAGIC);
  PutText(image, L::SIAM_FORMAT_AT, L::SIAM_FORMAT);
  PutU32LE(image, L::SIAM_PAYLOAD_LENGTH, static_cast<uint32_t>(payload.size()));
  std::copy(payload.begin(), payload.end(), image.begin() + L::SIAM_PAYLOAD);
  return image;
}

Bytes Concat(std::initializer_list<std::span<const uint8_t>> parts) {
  Bytes all;
  for (const auto& p : parts) {
    all.insert(all.end(), p.begin(), p.end());
  }
  return all;
}

TempImageFile::TempImageFile(std::span<const uint8_t> bytes) {
  static std::atomic<unsigned> counter{0};
  const std::string name = "qx80-test-" + std::to_string(std::random_device{}()) + "-" + std::to_string(counter++);
  m_path = std::filesystem::temp_directory_path() / name;
  std::ofstream out(m_path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  Require(static_cast<bool>(out), "cannot write a temporary file");
}

TempImageFile::~TempImageFile() {
  std::error_code ignored;
  std::filesystem::remove(m_path, ignored);
}

}  // namespace qx80::test
