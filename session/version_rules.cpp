#include "session/version_rules.h"

namespace qx80 {
namespace {

constexpr size_t kSlotUamc = 1;
constexpr size_t kSlotFwup = 2;

bool IsDigit(char16_t c) {
  return c >= u'0' && c <= u'9';
}
bool IsUpper(uint32_t c) {
  return c >= 'A' && c <= 'Z';
}
bool IsLower(uint32_t c) {
  return c >= 'a' && c <= 'z';
}

// 2 for an upper-case trailing letter, 1 for a lower-case one, 0 for the dotted form.
int LetterClass(int32_t number) {
  const uint32_t low = static_cast<uint32_t>(number) & 0xFF;
  return IsUpper(low) ? 2 : (IsLower(low) ? 1 : 0);
}

int32_t Digits(int d0, int d1, int d2, uint32_t low) {
  return static_cast<int32_t>((static_cast<uint32_t>(d0) << 24) | (static_cast<uint32_t>(d1) << 16) |
                              (static_cast<uint32_t>(d2) << 8) | low);
}

}  // namespace

int32_t VersionTextToNumber(std::u16string_view text) {
  if (text.size() != 4) {
    return 0;
  }
  if (text[1] == u'.') {
    if (!IsDigit(text[0]) || !IsDigit(text[2]) || !IsDigit(text[3])) {
      return 0;
    }
    return Digits(text[0] - u'0', text[2] - u'0', text[3] - u'0', 0);
  }
  if (!IsDigit(text[0]) || !IsDigit(text[1]) || !IsDigit(text[2]) || !(IsUpper(text[3]) || IsLower(text[3]))) {
    return 0;
  }
  return Digits(text[0] - u'0', text[1] - u'0', text[2] - u'0', text[3]);
}

bool IsUpdateNeeded(const VersionSlots& slots) {
  for (size_t i = 0; i < kComponentSlots; ++i) {
    if (!slots.loaded[i]) {
      continue;
    }
    const int32_t device = VersionTextToNumber(slots.device[i]);
    const int32_t image = VersionTextToNumber(slots.image[i]);
    const int deviceClass = LetterClass(device);
    if (deviceClass != LetterClass(image)) {
      return true;
    }
    // A different lettered version counts in either direction; a dotted one only when older.
    if (deviceClass != 0 ? device != image : device < image) {
      return true;
    }
  }
  return false;
}

bool AreVersionsInstalled(const VersionSlots& slots) {
  for (size_t i = 0; i < kComponentSlots; ++i) {
    if (!slots.loaded[i]) {
      continue;
    }
    const int32_t device = VersionTextToNumber(slots.device[i]);
    if (device == 0 || device != VersionTextToNumber(slots.image[i])) {
      return false;
    }
  }
  return true;
}

CurrentVersionSlot SelectCurrentVersion(const VersionSlots& slots) {
  if (!slots.loaded[kSlotUamc]) {
    return CurrentVersionSlot::None;
  }
  if (slots.loaded[kSlotFwup] &&
      VersionTextToNumber(slots.device[kSlotUamc]) == VersionTextToNumber(slots.image[kSlotUamc]) &&
      VersionTextToNumber(slots.device[kSlotFwup]) != VersionTextToNumber(slots.image[kSlotFwup])) {
    return CurrentVersionSlot::Fwup;
  }
  return CurrentVersionSlot::Uamc;
}

}  // namespace qx80
