#pragma once
// Bounds-checked reads from a byte buffer. Every read states whether the field lies wholly
// inside the buffer, so the image formats can be parsed without ever reading past its end.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string_view>

namespace qx80 {

inline std::span<const uint8_t> AsBytes(std::string_view text) {
  return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

class ByteReader {
 public:
  explicit ByteReader(std::span<const uint8_t> bytes) : m_bytes(bytes) {}

  size_t Size() const { return m_bytes.size(); }
  bool Has(size_t offset, size_t count) const { return offset <= m_bytes.size() && count <= m_bytes.size() - offset; }

  bool ReadU8(size_t offset, uint8_t& out) const {
    if (!Has(offset, 1)) {
      return false;
    }
    out = m_bytes[offset];
    return true;
  }
  bool ReadU16LE(size_t offset, uint16_t& out) const {
    if (!Has(offset, 2)) {
      return false;
    }
    out = static_cast<uint16_t>(m_bytes[offset] | m_bytes[offset + 1] << 8);
    return true;
  }
  bool ReadU32LE(size_t offset, uint32_t& out) const {
    if (!Has(offset, 4)) {
      return false;
    }
    out = static_cast<uint32_t>(m_bytes[offset]) | static_cast<uint32_t>(m_bytes[offset + 1]) << 8 |
          static_cast<uint32_t>(m_bytes[offset + 2]) << 16 | static_cast<uint32_t>(m_bytes[offset + 3]) << 24;
    return true;
  }
  // The count bytes at offset, or false when they do not all lie inside the buffer.
  bool Slice(size_t offset, size_t count, std::span<const uint8_t>& out) const {
    if (!Has(offset, count)) {
      return false;
    }
    out = m_bytes.subspan(offset, count);
    return true;
  }
  // True when the bytes at offset equal the pattern (compared as raw bytes).
  bool Matches(size_t offset, std::span<const uint8_t> pattern) const {
    return Has(offset, pattern.size()) && std::memcmp(m_bytes.data() + offset, pattern.data(), pattern.size()) == 0;
  }
  bool Matches(size_t offset, std::string_view pattern) const { return Matches(offset, AsBytes(pattern)); }

 private:
  std::span<const uint8_t> m_bytes;
};

}  // namespace qx80
