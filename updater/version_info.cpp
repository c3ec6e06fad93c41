#include "updater/version_info.h"

#include <cstddef>
#include <optional>
#include <string>

namespace qx80 {
namespace {

constexpr uint16_t kTextValue = 1;          // wType of a node whose value is text
constexpr size_t kNodeHeader = 6;           // wLength, wValueLength, wType
constexpr size_t kFixedFileInfoSize = 52;   // VS_FIXEDFILEINFO
constexpr size_t kProductVersionMsAt = 16;  // dwProductVersionMS within it
constexpr size_t kProductVersionLsAt = 20;  // dwProductVersionLS

uint16_t Word(std::span<const uint8_t> b, size_t at) {
  return static_cast<uint16_t>(b[at] | (b[at + 1] << 8));
}

uint32_t Dword(std::span<const uint8_t> b, size_t at) {
  return static_cast<uint32_t>(Word(b, at)) | (static_cast<uint32_t>(Word(b, at + 2)) << 16);
}

size_t AlignUp4(size_t n) {
  return (n + 3) & ~size_t{3};
}

char16_t AsciiLower(char16_t c) {
  return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c - u'A' + u'a') : c;
}

// One node of the block: its key, its value and the bytes of its children.
struct Node {
  std::span<const uint8_t> key;  // UTF-16LE, without the terminator
  std::span<const uint8_t> value;
  std::span<const uint8_t> children;
};

// The node that starts at the beginning of `bytes`, and its whole length.
std::optional<Node> ReadNode(std::span<const uint8_t> bytes, size_t& length) {
  if (bytes.size() < kNodeHeader) return std::nullopt;
  length = Word(bytes, 0);
  if (length < kNodeHeader || length > bytes.size()) return std::nullopt;
  const auto node = bytes.first(length);
  const size_t valueLength = Word(node, 2) * (Word(node, 4) == kTextValue ? size_t{2} : size_t{1});
  size_t at = kNodeHeader;
  while (true) {
    if (at + 2 > node.size()) return std::nullopt;
    if (Word(node, at) == 0) break;
    at += 2;
  }
  Node result;
  result.key = node.subspan(kNodeHeader, at - kNodeHeader);
  const size_t valueAt = AlignUp4(at + 2);
  if (valueAt > node.size() || valueLength > node.size() - valueAt) {
    // A node may end right after its key when it has neither value nor children.
    if (valueLength != 0) return std::nullopt;
    return result;
  }
  result.value = node.subspan(valueAt, valueLength);
  const size_t childrenAt = AlignUp4(valueAt + valueLength);
  if (childrenAt < node.size()) result.children = node.subspan(childrenAt);
  return result;
}

bool KeyEquals(std::span<const uint8_t> key, std::u16string_view name) {
  if (key.size() != name.size() * 2) return false;
  for (size_t i = 0; i < name.size(); ++i) {
    if (AsciiLower(static_cast<char16_t>(Word(key, i * 2))) != AsciiLower(name[i])) return false;
  }
  return true;
}

std::optional<Node> FindChild(std::span<const uint8_t> children, std::u16string_view name) {
  while (!children.empty()) {
    size_t length = 0;
    const auto child = ReadNode(children, length);
    if (!child) return std::nullopt;
    if (KeyEquals(child->key, name)) return child;
    const size_t next = AlignUp4(length);
    if (next >= children.size()) break;
    children = children.subspan(next);
  }
  return std::nullopt;
}

std::u16string Hex4(uint16_t v) {
  static constexpr char16_t kDigits[] = u"0123456789abcdef";
  std::u16string s(4, u'0');
  for (int i = 3; i >= 0; --i, v = static_cast<uint16_t>(v >> 4)) s[static_cast<size_t>(i)] = kDigits[v & 0xF];
  return s;
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
    while (!subBlock.empty() && subBlock.front() == u'\\') subBlock.remove_prefix(1);
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
  // A translation table shorter than one entry has no first translation to read.
  if (query(u"\\VarFileInfo\\Translation", value) && value.size() >= 4) {
    const std::u16string name = u"\\StringFileInfo\\" + Hex4(Word(value, 0)) + Hex4(Word(value, 2)) + u"\\ProductName";
    std::span<const uint8_t> text;
    if (query(name, text)) {
      std::u16string productName;
      for (size_t i = 0; i + 1 < text.size() && productName.size() < AppInfo::PRODUCT_NAME_MAX_LENGTH; i += 2) {
        const auto c = static_cast<char16_t>(Word(text, i));
        if (c == u'\0') break;
        productName.push_back(c);
      }
      info.m_productName = productName;
    }
  }
  if (query(u"\\", value) && value.size() >= kFixedFileInfoSize) {
    const uint32_t ms = Dword(value, kProductVersionMsAt);
    const uint32_t ls = Dword(value, kProductVersionLsAt);
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
