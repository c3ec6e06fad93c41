#pragma once
// Little-endian fields, read and written one way for every format: the firmware images, the
// device link's messages, the bridge's frames, the compiled resources.
//
// ByteReader checks every read against its buffer, so formats that come from outside are
// parsed without ever reading past their end. The raw-pointer forms are for buffers whose
// size their owner has already established (a report, a message header, a parameter block).
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <string_view>

namespace qx80 {

inline uint16_t ReadLe16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

inline uint32_t ReadLe32(const uint8_t* p) {
  return static_cast<uint32_t>(ReadLe16(p)) | static_cast<uint32_t>(ReadLe16(p + 2)) << 16;
}

inline void WriteLe16(uint8_t* p, uint16_t value) {
  p[0] = static_cast<uint8_t>(value);
  p[1] = static_cast<uint8_t>(value >> 8);
}

inline void WriteLe32(uint8_t* p, uint32_t value) {
  WriteLe16(p, static_cast<uint16_t>(value));
  WriteLe16(p + 2, static_cast<uint16_t>(value >> 16));
}

inline std::span<const uint8_t> AsBytes(std::string_view text) {
  return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

// Records of the platform's binary formats (compiled resources, version blocks) start on
// 4-byte boundaries.
inline size_t AlignUp4(size_t n) {
  return (n + 3) & ~size_t{3};
}

// Names in the platform's binary formats (resource types, version keys) compare without
// regard to ASCII case.
inline bool EqualsIgnoringAsciiCase(std::u16string_view a, std::u16string_view b) {
  const auto lower = [](char16_t c) { return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c - u'A' + u'a') : c; };
  if (a.size() != b.size()) {
    return false;
  }
  for (size_t i = 0; i < a.size(); ++i) {
    if (lower(a[i]) != lower(b[i])) {
      return false;
    }
  }
  return true;
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
    out = ReadLe16(m_bytes.data() + offset);
    return true;
  }
  bool ReadU32LE(size_t offset, uint32_t& out) const {
    if (!Has(offset, 4)) {
      return false;
    }
    out = ReadLe32(m_bytes.data() + offset);
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

  // `units` UTF-16LE code units at offset.
  bool ReadUtf16(size_t offset, size_t units, std::u16string& out) const {
    if (units > m_bytes.size() / 2 || !Has(offset, units * 2)) {
      return false;
    }
    out.assign(units, u'\0');
    for (size_t i = 0; i < units; ++i) {
      out[i] = static_cast<char16_t>(ReadLe16(m_bytes.data() + offset + i * 2));
    }
    return true;
  }
  // The UTF-16LE text at offset up to its zero unit, and in `next` the offset just past that
  // unit; false when no zero unit lies inside the buffer.
  bool ReadUtf16Terminated(size_t offset, std::u16string& out, size_t& next) const {
    out.clear();
    for (uint16_t unit = 0; ReadU16LE(offset, unit); offset += 2) {
      if (unit == 0) {
        next = offset + 2;
        return true;
      }
      out.push_back(static_cast<char16_t>(unit));
    }
    return false;
  }

 private:
  std::span<const uint8_t> m_bytes;
};

}  // namespace qx80
