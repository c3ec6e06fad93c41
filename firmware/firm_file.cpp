#include "firmware/firm_file.h"

#include <algorithm>
#include <cstring>

#include "firmware/crc16.h"
#include "firmware/image_layout.h"
#include "platform/byte_reader.h"

namespace qx80 {
namespace {

namespace L = firm_layout;

std::span<const uint8_t> AsSpan(const uint8_t* data, uint32_t size) {
  return data != nullptr ? std::span<const uint8_t>(data, size) : std::span<const uint8_t>();
}

void CopyVersion(std::span<const uint8_t> text, FirmVersion& version) {
  std::copy(text.begin(), text.end(), version.begin());
}

FirmKind RecogniseTipa(std::span<const uint8_t> image, FirmVersion& version) {
  const ByteReader reader(image);
  if (!reader.Matches(0, L::TIPA_MAGIC) || image.size() > L::TIPA_MAX_SIZE) {
    return FIRM_KIND_UNKNOWN;
  }
  const uint8_t* marker = FindBytes(image, image.size(), AsBytes(L::TIPA_MARKER));
  if (marker == nullptr) {
    return FIRM_KIND_UNKNOWN;
  }
  const auto fromMarker = image.subspan(static_cast<size_t>(marker - image.data()));
  const uint8_t* anchor = FindBytes(fromMarker, L::TIPA_ANCHOR_WINDOW, AsBytes(L::TIPA_ANCHOR));
  if (anchor == nullptr) {
    return FIRM_KIND_UNKNOWN;
  }
  std::span<const uint8_t> record;
  if (!reader.Slice(static_cast<size_t>(anchor - image.data()), L::TIPA_RECORD_SIZE, record)) {
    return FIRM_KIND_UNKNOWN;
  }
  const ByteReader fields(record);
  if (!fields.Matches(L::TIPA_RECORD_TAG_AT, L::TIPA_RECORD_TAG) ||
      record[L::TIPA_RECORD_TYPE_AT] != L::TIPA_RECORD_TYPE_VALUE) {
    return FIRM_KIND_UNKNOWN;
  }
  CopyVersion(record.subspan(L::TIPA_RECORD_VERSION_AT, L::VERSION_LENGTH), version);
  return FIRM_KIND_TIPA;
}

FirmKind RecogniseAgpf(std::span<const uint8_t> image, FirmVersion& version) {
  const ByteReader reader(image);
  uint8_t type = 0;
  uint8_t digits = 0;
  if (!reader.Matches(0, L::AGPF_MAGIC) || !reader.ReadU8(L::AGPF_TYPE, type) || type != L::AGPF_TYPE_VALUE ||
      image.size() > L::AGPF_MAX_SIZE || !reader.ReadU8(L::AGPF_VERSION, digits)) {
    return FIRM_KIND_UNKNOWN;
  }
  version[0] = static_cast<char>('0' + (digits >> 4));
  version[1] = static_cast<char>('0' + (digits & 0x0F));
  return FIRM_KIND_AGPF;
}

FirmKind RecogniseHeaderKind(std::span<const uint8_t> image, FirmVersion& version) {
  const ByteReader reader(image);
  for (const auto& k : L::HEADER_KINDS) {
    if (!reader.Matches(L::HEADER_MAGIC, k.magic) || image.size() > k.maxSize) {
      continue;
    }
    std::span<const uint8_t> text;
    if (!reader.Slice(L::HEADER_VERSION, L::VERSION_LENGTH, text)) {
      return FIRM_KIND_UNKNOWN;
    }
    CopyVersion(text, version);
    return k.kind;
  }
  return FIRM_KIND_UNKNOWN;
}

// Verifies the checksum of a kind-1 to kind-3 image without writing it: the body is unscrambled
// a window at a time into a small buffer and fed to the checksum, so no second buffer of up to
// 5 MiB is needed, and an image in read-only memory (the executable's resource) or shared with
// another thread is checked where it lies.
FirmLoad CheckBody(std::span<const uint8_t> image) {
  const ByteReader reader(image);
  uint16_t flag = 0;
  if (!reader.ReadU16LE(image.size() - L::TRAILER_CHECK_FLAG, flag)) {
    return FirmLoad::Unrecognised;
  }
  if (flag == 0) {
    return FirmLoad::Ok;
  }
  uint32_t scheme = 0;
  FirmBodyKey key{};
  if (image.size() < L::CHECKED_MIN_SIZE || !reader.ReadU32LE(L::HEADER_CHECK_SCHEME, scheme) ||
      scheme != L::CHECK_SCHEME_SCRAMBLED || !reader.ReadU32LE(L::HEADER_BODY_KEY, key[0]) ||
      !reader.ReadU32LE(L::HEADER_BODY_KEY + 4, key[1])) {
    return FirmLoad::Unrecognised;
  }
  const size_t bodyEnd = image.size() - L::TRAILER_CHECK_FLAG;
  uint16_t crc = Crc16(image.first(L::BODY_START));
  // A whole number of key periods per window keeps every window in step with the key.
  std::array<uint8_t, 4096> window{};
  static_assert(window.size() % sizeof(FirmBodyKey) == 0);
  for (size_t at = L::BODY_START; at < bodyEnd; at += window.size()) {
    const auto scrambled = image.subspan(at, std::min(window.size(), bodyEnd - at));
    const auto plain = std::span(window).first(scrambled.size());
    std::copy(scrambled.begin(), scrambled.end(), plain.begin());
    XorWords(plain, key);
    crc = Crc16Update(plain, crc);
  }
  crc = Crc16Update(image.subspan(bodyEnd, image.size() - L::TRAILER_REST - bodyEnd), crc);
  return crc == 0 ? FirmLoad::Ok : FirmLoad::BadChecksum;
}

}  // namespace

FirmLoad CheckFirmImage(const uint8_t* data, uint32_t size, FirmImageInfo& info) {
  info = FirmImageInfo{};
  const auto image = AsSpan(data, size);
  FirmKind kind = RecogniseTipa(image, info.version);
  if (kind == FIRM_KIND_UNKNOWN) {
    kind = RecogniseAgpf(image, info.version);
  }
  if (kind == FIRM_KIND_UNKNOWN) {
    kind = RecogniseHeaderKind(image, info.version);
  }
  if (kind == FIRM_KIND_UNKNOWN) {
    return FirmLoad::Unrecognised;
  }
  info.kind = kind;
  return kind == FIRM_KIND_TIPA || kind == FIRM_KIND_AGPF ? FirmLoad::Ok : CheckBody(image);
}

FirmLoad CFirmFile::Load(const uint8_t* data, uint32_t size) {
  FirmImageInfo info;
  const FirmLoad result = CheckFirmImage(data, size, info);
  m_kind = info.kind;
  if (result != FirmLoad::Ok) {
    return result;
  }
  Keep(AsSpan(data, size));
  m_version = info.version;
  return FirmLoad::Ok;
}

FirmLoad CFirmFile::LoadSiam(const uint8_t* data, uint32_t size) {
  m_kind = FIRM_KIND_UNKNOWN;
  const auto image = AsSpan(data, size);
  const ByteReader reader(image);
  uint32_t length = 0;
  if (!reader.Matches(0, L::SIAM_MAGIC) || !reader.Matches(L::SIAM_FORMAT_AT, L::SIAM_FORMAT) ||
      !reader.ReadU32LE(L::SIAM_PAYLOAD_LENGTH, length) || length > L::SIAM_MAX_PAYLOAD ||
      image.size() - L::SIAM_PAYLOAD != length) {
    return FirmLoad::Unrecognised;
  }
  Keep(image.subspan(L::SIAM_PAYLOAD, length));
  m_kind = FIRM_KIND_SIAM;
  return FirmLoad::Ok;
}

const uint8_t* CFirmFile::GetData(uint32_t* size) const {
  if (size != nullptr) {
    *size = m_size;
  }
  return m_data.get();
}

void CFirmFile::GetVersion(std::span<char, 8> out) const {
  std::copy(m_version.begin(), m_version.end(), out.begin());
}

void CFirmFile::Keep(std::span<const uint8_t> bytes) {
  auto copy = std::make_unique_for_overwrite<uint8_t[]>(bytes.size());
  std::copy(bytes.begin(), bytes.end(), copy.get());
  m_data = std::move(copy);
  m_size = static_cast<uint32_t>(bytes.size());
}

void XorWords(std::span<uint8_t> region, FirmBodyKey key) {
  uint8_t keyBytes[8];
  WriteLe32(keyBytes, key[0]);
  WriteLe32(keyBytes + 4, key[1]);
  // Eight bytes at a time; the XOR works byte for byte, so the host's byte order does not matter.
  uint64_t keyChunk = 0;
  std::memcpy(&keyChunk, keyBytes, sizeof keyChunk);
  uint8_t* p = region.data();
  const size_t n = region.size();
  size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    uint64_t chunk = 0;
    std::memcpy(&chunk, p + i, sizeof chunk);
    chunk ^= keyChunk;
    std::memcpy(p + i, &chunk, sizeof chunk);
  }
  for (; i < n; ++i) {
    p[i] ^= keyBytes[i % 8];
  }
}

const uint8_t* FindBytes(std::span<const uint8_t> image, size_t candidates, std::span<const uint8_t> pattern) {
  if (pattern.empty() || pattern.size() > image.size()) {
    return nullptr;
  }
  const size_t last = std::min(candidates, image.size() - pattern.size() + 1);
  for (size_t i = 0; i < last; ++i) {
    if (image[i] == pattern[0] && std::memcmp(image.data() + i, pattern.data(), pattern.size()) == 0) {
      return image.data() + i;
    }
  }
  return nullptr;
}

}  // namespace qx80
