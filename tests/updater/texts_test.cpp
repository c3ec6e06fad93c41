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
  for (const auto& c : cases) {
    EXPECT_EQ(LanguageFromLcid(c.lcid), c.language) << std::hex << c.lcid;
  }
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

// Every text of the program in its three languages, byte for byte, written out here rather
// than taken from the resource script under test.
TEST(StringTable, EveryTextKeepsItsExactFormInEachLanguage) {
  struct Case {
    int id;
    std::u16string english, japanese, chinese;
  };
  const Case cases[] = {
      {501, u"&About QX-80 FW-Updater", u"QX-80 FW-Updaterについて(&A)", u"关于 QX-80 FW-Updater(&A)"},
      {502, u"QX-80", u"QX-80", u"QX-80"},
      {503, u" FW-", u" FW-", u" FW-"},
      {504, u"Updater", u"Updater", u"Updater"},
      {505, u"QX-80 Firmware updating...", u"QX-80 ファームウェア アップデート中...", u"QX-80 固件正在更新..."},
      {506, u"QX-80 Licensing Agreement", u"QX-80 使用許諾契約", u"QX-80 许可协议"},
      {507, u"About QX-80 FW-Updater", u"QX-80 FW-Updaterについて", u"关于 QX-80 FW-Updater"},
      {599, u"OK", u"OK", u"确定"},
      {600, u"Close", u"閉じる", u"关闭"},
      {601, u"Cancel", u"キャンセル", u"取消"},
      {602, u"Accept all terms of the license agreement", u"使用許諾契約の全条項に同意します",
       u"接受许可协议的所有条款"},
      {603, u"Don't accept the license agreement", u"使用許諾契約の条項に同意しません", u"不接受许可协议"},
      {604, u"QX-80 Firmware will be updated.", u"QX-80のファームウエアを更新します。", u"QX-80 的固件将更新。"},
      {605, u"Current version", u"現在のバージョン", u"当前版本"},
      {606, u"Updated version", u"更新後のバージョン", u"更新后的版本"},
      {607, u"&Start", u"開始(&S)", u"开始(&S)"},
      {4000, u"After closing all applications using QX-80, press the \"Start\" button.",
       u"QX-80を使用している全てのアプリケーションを終了してから、「開始」ボタンを押してください。",
       u"关闭使用 QX-80 的所有应用程序后，按“开始”按钮。"},
      {4001, u"Connect QX-80 to USB port.", u"USBポートにQX-80を接続してください。", u"将 QX-80 连接到 USB 端口。"},
      {4002, u"!!! DON'T DISCONNECT THE QX-80 FROM THE USB PORT !!!", u"!!! USBポートからQX-80を抜かないでください !!!",
       u"!!! 不要断开 QX-80 与 USB 端口的连接 !!!"},
      {4003, u"No update needed. \r\n\r\nStart update?", u"更新の必要はありません。\r\n\r\n更新しますか？",
       u"无需更新。\r\n\r\n开始更新？"},
      {4004, u"Updating...", u"書き込み中...", u"正在更新..."},
      {4005, u"Firmware has been updated.", u"ファームウェアの書き込みが正常に終了しました。", u"固件已更新。"},
      {4006, u"Failed to update firmware.", u"ファームウェアの書き込みに失敗しました。", u"固件更新失败。"},
      {5000, u"QX-80 FW-Updater is already running.", u"QX-80 FW-Updaterは既に起動しています。",
       u"QX-80 FW-Updater 已经运行。"},
      {5001, u"Cannot find QX-80.\r\nCheck your connection and try again.",
       u"QX-80が見つかりません。\r\n接続を確認してから再度実行してください。", u"找不到 QX-80。\r\n请检查连接并重试。"},
      {5002, u"Failed to format the updating firmware.", u"アップデートするファームウェアの初期化に失敗しました。",
       u"无法格式化更新固件。"},
  };
  ASSERT_EQ(std::size(cases), std::size(kBaseIds));
  for (const auto& c : cases) {
    EXPECT_EQ(LoadResString(c.id), c.english) << c.id;
    EXPECT_EQ(LoadResString(c.id + LANGUAGE_OFFSET_JAPANESE), c.japanese) << c.id;
    EXPECT_EQ(LoadResString(c.id + LANGUAGE_OFFSET_CHINESE), c.chinese) << c.id;
  }
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
