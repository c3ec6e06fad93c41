#pragma once
// The executable's own resources: the one source of every text, dialog layout, license
// text, version record and the carried firmware package.
//
// On Windows these are the module's resources (FindResourceW/LoadResource). Native builds
// embed the very .res file that windres compiles from the same .rc and read it here, so
// both builds see the same bytes.
#include <cstdint>
#include <span>
#include <string_view>

namespace qx80 {

// A resource type: a number (RT_STRING, RT_HTML, ...) or a name such as u"BIN".
struct ResourceType {
  uint16_t number = 0;
  std::u16string_view name;

  static constexpr ResourceType Number(uint16_t n) { return ResourceType{n, {}}; }
  static constexpr ResourceType Named(std::u16string_view s) { return ResourceType{0, s}; }
};

constexpr uint16_t RESOURCE_TYPE_ICON = 3;
constexpr uint16_t RESOURCE_TYPE_DIALOG = 5;
constexpr uint16_t RESOURCE_TYPE_STRING = 6;
constexpr uint16_t RESOURCE_TYPE_GROUP_ICON = 14;
constexpr uint16_t RESOURCE_TYPE_VERSION = 16;
constexpr uint16_t RESOURCE_TYPE_HTML = 23;
constexpr uint16_t RESOURCE_TYPE_MANIFEST = 24;

// The bytes of resource (type, id) of this executable, read-only; empty when absent.
std::span<const uint8_t> FindResourceBytes(ResourceType type, uint16_t id);

}  // namespace qx80
