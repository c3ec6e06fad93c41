#include "updater/app_info.h"

#include "updater/resources/resource_ids.h"
#include "updater/string_table.h"

namespace qx80 {

int32_t LanguageFromLcid(uint32_t lcid) {
  const uint32_t primary = lcid & 0x3FF;
  const uint32_t sublanguage = (lcid >> 10) & 0x3F;
  switch (primary) {
    case 0x09:
      return LANGUAGE_ENGLISH;
    case 0x11:
      return LANGUAGE_JAPANESE;
    case 0x04:
      return sublanguage == 2 ? LANGUAGE_CHINESE : LANGUAGE_OTHER;
    default:
      return LANGUAGE_OTHER;
  }
}

int LocalizedStringId(int baseId, int32_t language) {
  switch (language) {
    case LANGUAGE_JAPANESE:
      return baseId + LANGUAGE_OFFSET_JAPANESE;
    case LANGUAGE_CHINESE:
      return baseId + LANGUAGE_OFFSET_CHINESE;
    default:
      return baseId;
  }
}

std::u16string AppInfo::LoadText(int baseId) const {
  return LoadResString(LocalizedStringId(baseId));
}

std::u16string AppInfo::BuildAppTitle() const {
  return LoadText(IDS_TITLE_PART1) + LoadText(IDS_TITLE_PART2) + LoadText(IDS_TITLE_PART3);
}

}  // namespace qx80
