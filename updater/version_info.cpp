#include "updater/version_info.h"

#include <cstddef>
#include <optional>
#include <string>

#include "platform/byte_reader.h"
#include "platform/hex.h"

namespace qx80 {
namespace {

constexpr uint16_t kTextValue = 1;          // wType of a node whose value is text
constexpr size_t kNodeHeader = 6;           // wLength, wValueLength, wType
constexpr size_t kFixedFileInfoSize = 52;   // VS_FIXEDFILEINFO
constexpr size_t kProductVersionMsAt = 16;  // dwProductVersionMS within it
constexpr size_t kProductVersionLsAt = 20;  // dwProductVersionLS

// One node of the block: its key, its value and the bytes of its children.
struct Node {
  std::u16string key;
  std::span<const uint8_t> value;
  std::span<const uint8_t> children;
};

// The node that starts at the beginning of `bytes`, and its whole length.
std::optional<Node> ReadNode(std::span<const uint8_t> bytes, size_t& length) {
  const ByteReader all(bytes);
  uint16_t nodeLength = 0;
  std::span<const uint8_t> nodeBytes;
  if (!all.ReadU16LE(0, nodeLength) || nodeLength < kNodeHeader || !all.Slice(0, nodeLength, nodeBytes)) {
    return std::nullopt;
  }
  length = nodeLength;
  const ByteReader node(nodeBytes);
  uint16_t valueLength = 0;
  uint16_t type = 0;
  node.ReadU16LE(2, valueLength);  // both inside the header the length covers
  node.ReadU16LE(4, type);
  Node result;
  size_t valueAt = 0;
  if (!node.ReadUtf16Terminated(kNodeHeader, result.key, valueAt)) {
    return std::nullopt;
  }
  valueAt = AlignUp4(valueAt);
  const size_t valueSize = valueLength * (type == kTextValue ? size_t{2} : size_t{1});
  if (!node.Slice(valueAt, valueSize, result.value)) {
    // A node may end right after its key when it has neither value nor children.
    if (valueSize != 0) {
      return std::nullopt;
    }
    return result;
  }
  const size_t childrenAt = AlignUp4(valueAt + valueSize);
  if (childrenAt < nodeBytes.size()) {
    result.children = nodeBytes.subspan(childrenAt);
  }
  return result;
}

std::optional<Node> FindChild(std::span<const uint8_t> children, std::u16string_view name) {
  while (!children.empty()) {
    size_t length = 0;
    auto child = ReadNode(children, length);
    if (!child) {
      return std::nullopt;
    }
    if (EqualsIgnoringAsciiCase(child->key, name)) {
      return child;
    }
    const size_t next = AlignUp4(length);
    if (next >= children.size()) {
      break;
    }
    children = children.subspan(next);
  }
  return std::nullopt;
}

std::u16string Hex4(uint16_t v) {
  const uint8_t bytes[] = {static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v & 0xFF)};
  const std::string s = HexBytes(bytes);
  return std::u16string(s.begin(), s.end());
}

std::u16string Decimal(int32_t v) {
  const std::string s = std::to_string(v);
  return std::u16string(s.begin(), s.end());
}

}  // namespace

bool QueryVersionBlock(std::span<const uint8_t> block, std::u16string_view subBlock, std::span<const uint8_t>& value) {
  size_t length = 0;
  auto node = ReadNode(block, length);
  while (node) {
    while (!subBlock.empty() && subBlock.front() == u'\\') {
      subBlock.remove_prefix(1);
    }
    if (subBlock.empty()) {
      value = node->value;
      return true;
    }
    const size_t end = subBlock.find(u'\\');
    node = FindChild(node->children, subBlock.substr(0, end));
    subBlock = end == std::u16string_view::npos ? std::u16string_view{} : subBlock.substr(end);
  }
  return false;
}

void ApplyVersionInfo(const VersionQuery& query, AppInfo& info) {
  std::span<const uint8_t> value;
  uint16_t language = 0;
  uint16_t codePage = 0;
  // A translation table shorter than one entry has no first translation to read.
  if (query(u"\\VarFileInfo\\Translation", value) && ByteReader(value).ReadU16LE(0, language) &&
      ByteReader(value).ReadU16LE(2, codePage)) {
    const std::u16string name = u"\\StringFileInfo\\" + Hex4(language) + Hex4(codePage) + u"\\ProductName";
    std::span<const uint8_t> text;
    if (query(name, text)) {
      const ByteReader units(text);
      std::u16string productName;
      for (uint16_t c = 0; productName.size() < AppInfo::PRODUCT_NAME_MAX_LENGTH &&
                           units.ReadU16LE(productName.size() * 2, c) && c != 0;) {
        productName.push_back(static_cast<char16_t>(c));
      }
      info.m_productName = productName;
    }
  }
  // The fixed file information counts only when it is whole.
  if (query(u"\\", value) && value.size() >= kFixedFileInfoSize) {
    const uint32_t ms = ReadLe32(value.data() + kProductVersionMsAt);
    const uint32_t ls = ReadLe32(value.data() + kProductVersionLsAt);
    info.m_versionMajor = static_cast<int32_t>(ms >> 16);
    info.m_versionMinor = static_cast<int32_t>(ms & 0xFFFF);
    info.m_versionBuild = static_cast<int32_t>(ls >> 16);
  }
}

std::u16string FormatAboutVersion(const AppInfo& info) {
  return info.m_productName + u"  Version " + Decimal(info.m_versionMajor) + u"." + Decimal(info.m_versionMinor) +
         Decimal(info.m_versionBuild);
}

}  // namespace qx80
