#pragma once
// What start-up learns once and every dialog reads afterwards: the user-interface language
// and the program's own product name and version. Texts are fetched through it, so that
// each lookup adds the language's offset to the base id.
#include <cstdint>
#include <string>

namespace qx80 {

// Language index.
constexpr int32_t LANGUAGE_NOT_CHOSEN = -1;  // only before start-up; English texts
constexpr int32_t LANGUAGE_ENGLISH = 0;
constexpr int32_t LANGUAGE_JAPANESE = 1;
constexpr int32_t LANGUAGE_CHINESE = 2;  // Simplified Chinese (People's Republic of China)
constexpr int32_t LANGUAGE_OTHER = 3;    // English texts

// The language index for a locale id. Only the low 16 bits (the language id) count: primary
// language 0x09 is English, 0x11 Japanese, 0x04 with sublanguage 2 Simplified Chinese; other
// Chinese sublanguages and every other language give LANGUAGE_OTHER.
int32_t LanguageFromLcid(uint32_t lcid);

// The string id for `baseId` in `language`: +10000 for Japanese, +20000 for Simplified
// Chinese, the base id otherwise.
int LocalizedStringId(int baseId, int32_t language);

struct AppInfo {
  int32_t m_language = LANGUAGE_NOT_CHOSEN;
  int32_t m_versionMajor = 0;
  int32_t m_versionMinor = 0;
  int32_t m_versionBuild = 0;
  std::u16string m_productName;  // at most PRODUCT_NAME_MAX_LENGTH characters

  static constexpr size_t PRODUCT_NAME_MAX_LENGTH = 64;

  int LocalizedStringId(int baseId) const { return qx80::LocalizedStringId(baseId, m_language); }
  // The text of `baseId` in the chosen language; empty when the table lacks it.
  std::u16string LoadText(int baseId) const;
  // The application title: texts 502, 503 and 504 joined ("QX-80 FW-Updater").
  std::u16string BuildAppTitle() const;
};

}  // namespace qx80
