// Language choice, localised string ids and the string table built from the .rc.
#include <gtest/gtest.h>

#include <string>

#include "updater/app_info.h"
#include "updater/resources/resource_ids.h"
#include "updater/string_table.h"

namespace qx80 {
namespace {

TEST(Language, FromLocaleId) {
  struct Case {
    uint32_t lcid;
    int32_t language;
  };
  const Case cases[] = {
      {0x0409, LANGUAGE_ENGLISH},   {0x0809, LANGUAGE_ENGLISH},  // English (US, UK)
      {0x0411, LANGUAGE_JAPANESE},                               //
      {0x0804, LANGUAGE_CHINESE},                                // Chinese, People's Republic of China
      {0x0404, LANGUAGE_OTHER},     {0x0C04, LANGUAGE_OTHER},    // Taiwan, Hong Kong
      {0x1004, LANGUAGE_OTHER},     {0x0407, LANGUAGE_OTHER},    // Singapore, German
      {0x20804, LANGUAGE_CHINESE},                               // sort-order bits are ignored
      {0x20411, LANGUAGE_JAPANESE}, {0x0000, LANGUAGE_OTHER},
  };
  for (const auto& c : cases) EXPECT_EQ(LanguageFromLcid(c.lcid), c.language) << std::hex << c.lcid;
}

TEST(Language, LocalizedStringIdAddsTheLanguageOffset) {
  struct Case {
    int32_t language;
    int id;
  };
  const Case cases[] = {{LANGUAGE_NOT_CHOSEN, 604}, {LANGUAGE_ENGLISH, 604}, {LANGUAGE_JAPANESE, 10604},
                        {LANGUAGE_CHINESE, 20604},  {LANGUAGE_OTHER, 604},   {7, 604}};
  for (const auto& c : cases) {
    EXPECT_EQ(LocalizedStringId(604, c.language), c.id) << c.language;
    AppInfo app;
    app.m_language = c.language;
    EXPECT_EQ(app.LocalizedStringId(604), c.id) << c.language;
  }
}

const int kBaseIds[] = {501, 502, 503, 504,  505,  506,  507,  599,  600,  601,  602,  603,  604,
                        605, 606, 607, 4000, 4001, 4002, 4003, 4004, 4005, 4006, 5000, 5001, 5002};

TEST(StringTable, EveryTextExistsInAllThreeLanguages) {
  for (int id : kBaseIds) {
    for (int offset : {0, LANGUAGE_OFFSET_JAPANESE, LANGUAGE_OFFSET_CHINESE}) {
      EXPECT_FALSE(LoadResString(id + offset).empty()) << id + offset;
    }
  }
}

TEST(StringTable, AbsentIdsGiveEmptyTextsWithoutFallback) {
  // Neighbours of the program's ranges, in blocks that exist and blocks that don't, and ids
  // outside the table's range.
  for (int id : {500, 508, 598, 608, 3999, 4007, 4999, 5003, 10500, 10508, 20608, 30501, 0, 1, 65535, -1, 70000}) {
    EXPECT_EQ(LoadResString(id), u"") << id;
  }
}

TEST(StringTable, TextsKeepTheirExactForm) {
  struct Case {
    int id;
    std::u16string text;
  };
  const Case cases[] = {
      {501, u"&About QX-80 FW-Updater"},
      {503, u" FW-"},
      {4000, u"After closing all applications using QX-80, press the \"Start\" button."},
      {4003, u"No update needed. \r\n\r\nStart update?"},
      {5001, u"Cannot find QX-80.\r\nCheck your connection and try again."},
      {603, u"Don't accept the license agreement"},
      {10501, u"QX-80 FW-Updaterについて(&A)"},
      {10505, u"QX-80 ファームウェア アップデート中..."},
      {14000, u"QX-80を使用している全てのアプリケーションを終了してから、「開始」ボタンを押してください。"},
      {14003, u"更新の必要はありません。\r\n\r\n更新しますか？"},
      {15000, u"QX-80 FW-Updaterは既に起動しています。"},
      {20501, u"关于 QX-80 FW-Updater(&A)"},
      {20599, u"确定"},
      {24000, u"关闭使用 QX-80 的所有应用程序后，按“开始”按钮。"},
      {24003, u"无需更新。\r\n\r\n开始更新？"},
      {25001, u"找不到 QX-80。\r\n请检查连接并重试。"},
  };
  for (const auto& c : cases) EXPECT_EQ(LoadResString(c.id), c.text) << c.id;
}

TEST(StringTable, AppTitleIsTheSameInEveryLanguage) {
  for (int32_t language :
       {LANGUAGE_NOT_CHOSEN, LANGUAGE_ENGLISH, LANGUAGE_JAPANESE, LANGUAGE_CHINESE, LANGUAGE_OTHER}) {
    AppInfo app;
    app.m_language = language;
    EXPECT_EQ(app.BuildAppTitle(), u"QX-80 FW-Updater") << language;
  }
}

TEST(StringTable, LanguagesOtherThanJapaneseAndChineseReadEnglish) {
  AppInfo app;
  for (int32_t language : {LANGUAGE_NOT_CHOSEN, LANGUAGE_OTHER}) {
    app.m_language = language;
    EXPECT_EQ(app.LoadText(IDS_CANCEL), u"Cancel");
  }
  app.m_language = LANGUAGE_JAPANESE;
  EXPECT_EQ(app.LoadText(IDS_CANCEL), u"キャンセル");
  app.m_language = LANGUAGE_CHINESE;
  EXPECT_EQ(app.LoadText(IDS_CANCEL), u"取消");
}

}  // namespace
}  // namespace qx80
