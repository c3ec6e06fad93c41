#pragma once
// Reads an extended dialog template (DLGTEMPLATEEX) as the resource compiler writes it, so
// tests can check the layouts and build in-memory dialogs from the real templates.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace qx80::test {

struct DialogItemTemplate {
  uint32_t exStyle = 0;
  uint32_t style = 0;
  int16_t x = 0, y = 0, cx = 0, cy = 0;
  int32_t id = 0;
  std::u16string windowClass;  // predefined classes by name: "Button", "Edit", "Static", ...
  std::u16string text;
  uint16_t textOrdinal = 0;  // an ordinal instead of a text (icon id of an icon static)
};

struct DialogTemplate {
  uint32_t exStyle = 0;
  uint32_t style = 0;
  int16_t x = 0, y = 0, cx = 0, cy = 0;
  std::u16string title;
  uint16_t pointSize = 0;
  std::u16string typeface;
  std::vector<DialogItemTemplate> items;

  const DialogItemTemplate* Item(int32_t id) const;
};

// Nullopt when the bytes are not a complete extended template.
std::optional<DialogTemplate> ParseDialogTemplate(std::span<const uint8_t> bytes);
// The template resource `id` of this program.
std::optional<DialogTemplate> LoadDialogTemplate(int id);

}  // namespace qx80::test
