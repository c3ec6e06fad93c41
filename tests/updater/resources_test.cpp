// The program's compiled resources: license texts, dialog templates, icon, manifest and
// the carried package, as the native build reads them from the embedded .res file.
#include "platform/resources/resources.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/byte_reader.h"
#include "tests/updater/dialog_template.h"
#include "updater/license_dlg.h"
#include "updater/resources/resource_ids.h"

namespace qx80 {
namespace {

using test::DialogTemplate;
using test::LoadDialogTemplate;

constexpr uint32_t WS_POPUP = 0x80000000, WS_VISIBLE = 0x10000000, WS_DISABLED = 0x08000000;
constexpr uint32_t WS_CAPTION = 0x00C00000, WS_SYSMENU = 0x00080000, WS_BORDER = 0x00800000;
constexpr uint32_t WS_VSCROLL = 0x00200000, WS_GROUP = 0x00020000, WS_TABSTOP = 0x00010000;
constexpr uint32_t DS_MODALFRAME = 0x80, WS_EX_APPWINDOW = 0x40000;
constexpr uint32_t SS_CENTER = 0x1, SS_ICON = 0x3, SS_NOPREFIX = 0x80, SS_SUNKEN = 0x1000;
constexpr uint32_t BS_DEFPUSHBUTTON = 0x1, BS_AUTORADIOBUTTON = 0x9;
constexpr uint32_t ES_MULTILINE = 0x4, ES_AUTOVSCROLL = 0x40, ES_READONLY = 0x800, PBS_SMOOTH = 0x1;

TEST(LicenseTexts, AreUtf16WithByteOrderMarkAndCrLf) {
  struct Case {
    int32_t language;
    int id;
    const char16_t* heading;
  };
  const Case cases[] = {
      {LANGUAGE_ENGLISH, 130, u"QX-80 FW-Updater Software License Agreement"},
      {LANGUAGE_JAPANESE, 10130, u"QX-80 FW-Updater ソフトウェア使用許諾契約書"},
      {LANGUAGE_CHINESE, 20130, u"QX-80 FW-Updater 软件许可协议"},
  };
  const std::u16string dashes(50, u'-');
  for (const auto& c : cases) {
    EXPECT_EQ(LicenseResourceId(c.language), c.id);
    const auto bytes = FindResourceBytes(ResourceType::Number(RESOURCE_TYPE_HTML), static_cast<uint16_t>(c.id));
    ASSERT_GE(bytes.size(), 2000u) << c.id;
    EXPECT_EQ(bytes[0], 0xFF);
    EXPECT_EQ(bytes[1], 0xFE);
    EXPECT_EQ(bytes.size() % 2, 0u);
    const std::u16string text = LicenseTextFromResource(bytes);
    EXPECT_EQ(text.size(), (bytes.size() - 2) / 2);
    EXPECT_EQ(text.rfind(dashes + u"\r\n" + c.heading + u"\r\n" + dashes + u"\r\n", 0), 0u) << c.id;
    EXPECT_NE(text.find(u"\r\n1. "), std::u16string::npos) << c.id;
    for (size_t i = 0; i < text.size(); ++i) {
      if (text[i] == u'\n') {
        ASSERT_TRUE(i > 0 && text[i - 1] == u'\r') << c.id << " at " << i;
      }
      ASSERT_NE(text[i], u'\xFEFF') << c.id;
    }
    EXPECT_EQ(text.substr(text.size() - 2), u"\r\n");
  }
  EXPECT_TRUE(FindResourceBytes(ResourceType::Number(RESOURCE_TYPE_HTML), 30130).empty());
}

TEST(LicenseTexts, TextIsEveryUnitAfterTheMarkAndNothingElse) {
  const uint8_t even[] = {0xFF, 0xFE, 'A', 0, 0x42, 0x30};
  EXPECT_EQ(LicenseTextFromResource(even), u"A\u3042");
  const uint8_t odd[] = {0xFF, 0xFE, 'A', 0, 'B'};  // a dangling half unit is not a character
  EXPECT_EQ(LicenseTextFromResource(odd), u"A");
  const uint8_t noMark[] = {'A', 0, 'B', 0};  // the mark is skipped without looking at it
  EXPECT_EQ(LicenseTextFromResource(noMark), u"B");
  const uint8_t tiny[] = {0xFF};
  EXPECT_EQ(LicenseTextFromResource(tiny), u"");
  EXPECT_EQ(LicenseTextFromResource({}), u"");
}

void ExpectDialog(const DialogTemplate& d, int16_t cx, int16_t cy, uint32_t style, uint32_t exStyle) {
  EXPECT_EQ(d.cx, cx);
  EXPECT_EQ(d.cy, cy);
  EXPECT_EQ(d.style & (WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME), style);
  EXPECT_EQ(d.exStyle, exStyle);
  EXPECT_EQ(d.typeface, u"MS Shell Dlg");
  EXPECT_EQ(d.pointSize, 9);
}

struct ItemCase {
  int32_t id;
  const char16_t* windowClass;
  const char16_t* text;
  uint32_t styleBits;  // bits that must be set
  int16_t x, y, cx, cy;
};

std::u16string Upper(std::u16string s) {
  for (auto& c : s) {
    c = (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - u'a' + u'A') : c;
  }
  return s;
}

void ExpectItems(const DialogTemplate& d, const std::vector<ItemCase>& items) {
  ASSERT_EQ(d.items.size(), items.size());
  for (size_t i = 0; i < items.size(); ++i) {  // template order is tab order
    const auto& want = items[i];
    const auto& got = d.items[i];
    EXPECT_EQ(got.id, want.id) << i;
    EXPECT_EQ(Upper(got.windowClass), Upper(want.windowClass)) << want.id;  // class names ignore case
    if (want.text != nullptr) {
      EXPECT_EQ(got.text, want.text) << want.id;
    }
    EXPECT_EQ(got.style & want.styleBits, want.styleBits) << want.id;
    EXPECT_EQ(got.x, want.x) << want.id;
    EXPECT_EQ(got.y, want.y) << want.id;
    EXPECT_EQ(got.cx, want.cx) << want.id;
    EXPECT_EQ(got.cy, want.cy) << want.id;
  }
}

TEST(DialogTemplates, About) {
  const auto d = LoadDialogTemplate(IDD_ABOUT);
  ASSERT_TRUE(d);
  ExpectDialog(*d, 230, 79, WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME, 0);
  ExpectItems(*d, {{IDC_ABOUT_ICON, u"Static", nullptr, SS_ICON, 14, 15, 20, 20},
                   {IDC_ABOUT_VERSION, u"Static", nullptr, SS_NOPREFIX, 55, 11, 141, 8},
                   {-1, u"Static", nullptr, 0, 55, 29, 162, 8},
                   {-1, u"Static", nullptr, 0, 55, 39, 141, 8},
                   {1, u"Button", u"OK", BS_DEFPUSHBUTTON | WS_GROUP | WS_TABSTOP, 90, 58, 50, 16}});
  EXPECT_EQ(d->items[0].textOrdinal, IDI_APP);
}

TEST(DialogTemplates, Main) {
  const auto d = LoadDialogTemplate(IDD_MAIN);
  ASSERT_TRUE(d);
  ExpectDialog(*d, 171, 131, WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME, WS_EX_APPWINDOW);
  ExpectItems(*d, {{1000, u"Static", u"Firmware will be updated", 0, 8, 7, 152, 8},
                   {1019, u"Static", u"Current version", 0, 12, 34, 57, 8},
                   {1020, u"Static", u"Updated version", 0, 12, 50, 57, 8},
                   {1010, u"Static", u"", SS_CENTER | SS_SUNKEN, 75, 49, 32, 10},
                   {1004, u"Static", u"", SS_SUNKEN, 9, 66, 153, 29},
                   {1005, u"Button", u"Start", WS_DISABLED | WS_TABSTOP, 56, 110, 50, 14},
                   {1006, u"Button", u"Cancel", BS_DEFPUSHBUTTON | WS_TABSTOP, 109, 110, 50, 14},
                   {1021, u"Static", u"(type)", 0, 75, 19, 32, 10},
                   {1009, u"Static", u"", SS_CENTER | SS_SUNKEN, 75, 33, 32, 10}});
  EXPECT_EQ(d->Item(1021)->style & WS_VISIBLE, 0u);
  EXPECT_NE(d->Item(1004)->style & WS_VISIBLE, 0u);
}

TEST(DialogTemplates, License) {
  const auto d = LoadDialogTemplate(IDD_LICENSE);
  ASSERT_TRUE(d);
  ExpectDialog(*d, 329, 198, WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME, 0);
  ExpectItems(*d, {{1, u"Button", u"OK", BS_DEFPUSHBUTTON | WS_TABSTOP, 217, 177, 50, 14},
                   {2, u"Button", u"Cancel", WS_TABSTOP, 272, 177, 50, 14},
                   {1001, u"RichEdit20W", u"",
                    ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | WS_VSCROLL | WS_BORDER | WS_TABSTOP, 7, 7, 315, 134},
                   {1002, u"Button", u"Accept all terms of the license agreement", BS_AUTORADIOBUTTON, 7, 151, 205, 10},
                   {1003, u"Button", u"Don't accept the license agreement", BS_AUTORADIOBUTTON, 7, 165, 205, 10}});
  EXPECT_EQ(d->Item(1002)->style & 0xF, BS_AUTORADIOBUTTON);
  EXPECT_EQ(d->Item(1003)->style & 0xF, BS_AUTORADIOBUTTON);
  EXPECT_EQ(d->Item(2)->style & 0xF, 0u);  // a plain push button
}

TEST(DialogTemplates, Progress) {
  const auto d = LoadDialogTemplate(IDD_PROGRESS);
  ASSERT_TRUE(d);
  ExpectDialog(*d, 275, 58, WS_POPUP | WS_CAPTION | DS_MODALFRAME, 0);  // no system menu: no close box
  EXPECT_EQ(d->title, u"");
  ExpectItems(*d, {{1004, u"Static", nullptr, SS_CENTER | WS_GROUP, 8, 9, 260, 20},
                   {1007, u"msctls_progress32", u"", PBS_SMOOTH | WS_BORDER, 8, 36, 260, 13}});
}

TEST(Icon, GroupHoldsFiveSizesOf32BitImages) {
  const auto group = FindResourceBytes(ResourceType::Number(RESOURCE_TYPE_GROUP_ICON), IDI_APP);
  ASSERT_EQ(group.size(), 6u + 5 * 14);
  EXPECT_EQ(group[2], 1);  // icons, not cursors
  const int sizes[] = {16, 24, 32, 48, 256};
  for (int i = 0; i < 5; ++i) {
    const auto entry = group.subspan(6 + 14 * i, 14);
    EXPECT_EQ(entry[0] == 0 ? 256 : entry[0], sizes[i]);
    EXPECT_EQ(ReadLe16(entry.data() + 6), 32);  // bits per pixel
    const auto image = FindResourceBytes(ResourceType::Number(RESOURCE_TYPE_ICON), ReadLe16(entry.data() + 12));
    ASSERT_EQ(image.size(), ReadLe32(entry.data() + 8)) << sizes[i];
    EXPECT_EQ(ReadLe32(image.data() + 4), static_cast<uint32_t>(sizes[i]));  // bitmap width
  }
}

TEST(Resources, ManifestAndCarriedPackage) {
  const auto manifest = FindResourceBytes(ResourceType::Number(RESOURCE_TYPE_MANIFEST), 1);
  const std::string text(manifest.begin(), manifest.end());
  for (const char* part : {"Microsoft.Windows.Common-Controls", "version=\"6.0.0.0\"", "processorArchitecture=\"x86\"",
                           "level=\"asInvoker\"", "uiAccess=\"false\"", ">true</dpiAware>"}) {
    EXPECT_NE(text.find(part), std::string::npos) << part;
  }
  EXPECT_FALSE(FindResourceBytes(ResourceType::Named(u"BIN"), IDR_FIRMWARE).empty());
}

}  // namespace
}  // namespace qx80
