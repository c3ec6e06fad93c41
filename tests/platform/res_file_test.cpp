// The .res reader: crafted files with numeric and named types, padding and broken lengths.
#include "platform/resources/res_file.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qx80 {
namespace {

// Builds .res records the way the resource compiler lays them out.
class ResBuilder {
 public:
  ResBuilder() { Add(Ordinal(0), Ordinal(0), {}); }  // the empty record every .res starts with

  static std::vector<uint8_t> Ordinal(uint16_t n) {
    return {0xFF, 0xFF, static_cast<uint8_t>(n), static_cast<uint8_t>(n >> 8)};
  }
  static std::vector<uint8_t> Name(std::u16string_view s) {
    std::vector<uint8_t> b;
    for (char16_t c : s) {
      b.push_back(static_cast<uint8_t>(c));
      b.push_back(static_cast<uint8_t>(c >> 8));
    }
    b.insert(b.end(), {0, 0});
    return b;
  }

  ResBuilder& Add(const std::vector<uint8_t>& type, const std::vector<uint8_t>& name,
                  const std::vector<uint8_t>& data) {
    std::vector<uint8_t> header;
    header.insert(header.end(), type.begin(), type.end());
    header.insert(header.end(), name.begin(), name.end());
    while ((header.size() + 8) % 4 != 0) {
      header.push_back(0);
    }
    header.resize(header.size() + 16, 0);  // version, flags, language, version, characteristics
    Put32(static_cast<uint32_t>(data.size()));
    Put32(static_cast<uint32_t>(header.size() + 8));
    m_bytes.insert(m_bytes.end(), header.begin(), header.end());
    m_bytes.insert(m_bytes.end(), data.begin(), data.end());
    while (m_bytes.size() % 4 != 0) {
      m_bytes.push_back(0);
    }
    return *this;
  }

  std::vector<uint8_t> m_bytes;

 private:
  void Put32(uint32_t v) {
    for (int i = 0; i < 4; ++i) {
      m_bytes.push_back(static_cast<uint8_t>(v >> (8 * i)));
    }
  }
};

std::vector<uint8_t> Bytes(std::span<const uint8_t> s) {
  return {s.begin(), s.end()};
}

TEST(ResFile, FindsRecordsByNumericAndNamedTypeAcrossPadding) {
  ResBuilder b;
  b.Add(ResBuilder::Ordinal(23), ResBuilder::Ordinal(130), {1, 2, 3})  // odd length: padded
      .Add(ResBuilder::Name(u"BIN"), ResBuilder::Ordinal(131), {4, 5})
      .Add(ResBuilder::Ordinal(23), ResBuilder::Name(u"NAMED"), {6})
      .Add(ResBuilder::Ordinal(23), ResBuilder::Ordinal(10130), {7, 8, 9, 10, 11});
  const auto& res = b.m_bytes;

  EXPECT_EQ(Bytes(FindInResFile(res, ResourceType::Number(23), 130)), (std::vector<uint8_t>{1, 2, 3}));
  EXPECT_EQ(Bytes(FindInResFile(res, ResourceType::Named(u"BIN"), 131)), (std::vector<uint8_t>{4, 5}));
  EXPECT_EQ(Bytes(FindInResFile(res, ResourceType::Named(u"bin"), 131)), (std::vector<uint8_t>{4, 5}));
  EXPECT_EQ(Bytes(FindInResFile(res, ResourceType::Number(23), 10130)), (std::vector<uint8_t>{7, 8, 9, 10, 11}));
  // A named type never matches a number and the reverse; a named resource has no number.
  EXPECT_TRUE(FindInResFile(res, ResourceType::Number(23), 131).empty());
  EXPECT_TRUE(FindInResFile(res, ResourceType::Named(u"BI"), 131).empty());
  EXPECT_TRUE(FindInResFile(res, ResourceType::Named(u"BINX"), 131).empty());
  EXPECT_TRUE(FindInResFile(res, ResourceType::Number(6), 130).empty());
  EXPECT_TRUE(FindInResFile({}, ResourceType::Number(23), 130).empty());
}

TEST(ResFile, StopsAtBrokenLengthsWithoutReadingPastTheEnd) {
  ResBuilder b;
  b.Add(ResBuilder::Ordinal(23), ResBuilder::Ordinal(1), {1, 2, 3, 4})
      .Add(ResBuilder::Ordinal(23), ResBuilder::Ordinal(2), {5, 6, 7, 8});
  const auto good = b.m_bytes;
  const size_t second = 32 + 36;  // empty record, then the first record (32-byte header + 4 bytes of data)

  struct Case {
    const char* what;
    size_t offset;
    uint32_t value;
  };
  const Case cases[] = {
      {"data size beyond the end", second, 0x7FFFFFFF},
      {"header size beyond the end", second + 4, 0x7FFFFFFF},
      {"header size too small for its fields", second + 4, 12},
      {"header size below the two lengths", second + 4, 4},
  };
  for (const auto& c : cases) {
    auto bytes = good;
    for (int i = 0; i < 4; ++i) {
      bytes[c.offset + i] = static_cast<uint8_t>(c.value >> (8 * i));
    }
    EXPECT_EQ(Bytes(FindInResFile(bytes, ResourceType::Number(23), 1)), (std::vector<uint8_t>{1, 2, 3, 4})) << c.what;
    EXPECT_TRUE(FindInResFile(bytes, ResourceType::Number(23), 2).empty()) << c.what;
  }

  // Cut anywhere inside the second record: the first stays readable, the second is gone.
  for (size_t cut = second; cut < good.size(); ++cut) {
    const std::span<const uint8_t> truncated(good.data(), cut);
    EXPECT_TRUE(FindInResFile(truncated, ResourceType::Number(23), 2).empty()) << cut;
    EXPECT_FALSE(FindInResFile(truncated, ResourceType::Number(23), 1).empty()) << cut;
  }

  // A type name that runs to the end of the file without its terminator.
  std::vector<uint8_t> open(good.begin(), good.begin() + second);
  const uint8_t header[] = {0, 0, 0, 0, 64, 0, 0, 0, 'B', 0, 'I', 0, 'N', 0};
  open.insert(open.end(), std::begin(header), std::end(header));
  EXPECT_TRUE(FindInResFile(open, ResourceType::Named(u"BIN"), 131).empty());
}

}  // namespace
}  // namespace qx80
