// The Win32 layer under Wine: the module's resources against the compiled .res file, the
// version record through the platform's version API, the rich edit class, and real dialog
// windows made from the templates.
// clang-format off
#include <windows.h>  // windows.h first: the others build on its types
#include <commctrl.h>
#include <richedit.h>
// clang-format on
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/resources/embedded_res.h"
#include "platform/resources/res_file.h"
#include "platform/resources/resources.h"
#include "platform/window_message.h"
#include "updater/license_dlg.h"
#include "updater/progress_dlg.h"
#include "updater/resources/resource_ids.h"
#include "updater/win32/win32_app_platform.h"
#include "updater/win32/win32_dialog_host.h"

namespace qx80 {
namespace {

std::vector<uint8_t> Bytes(std::span<const uint8_t> s) {
  return {s.begin(), s.end()};
}

void PumpMessages() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

TEST(Win32Resources, ModuleResourcesAreTheBytesOfTheResFile) {
  struct Case {
    ResourceType type;
    uint16_t id;
  };
  const Case cases[] = {
      {ResourceType::Number(RESOURCE_TYPE_HTML), 130},
      {ResourceType::Number(RESOURCE_TYPE_HTML), 10130},
      {ResourceType::Number(RESOURCE_TYPE_HTML), 20130},
      {ResourceType::Number(RESOURCE_TYPE_STRING), 501 / 16 + 1},
      {ResourceType::Number(RESOURCE_TYPE_STRING), 20601 / 16 + 1},
      {ResourceType::Number(RESOURCE_TYPE_DIALOG), IDD_LICENSE},
      {ResourceType::Number(RESOURCE_TYPE_GROUP_ICON), IDI_APP},
      {ResourceType::Number(RESOURCE_TYPE_VERSION), 1},
      {ResourceType::Named(u"BIN"), IDR_FIRMWARE},
  };
  for (const auto& c : cases) {
    const auto module = FindResourceBytes(c.type, c.id);
    ASSERT_FALSE(module.empty()) << c.id;
    EXPECT_EQ(Bytes(module), Bytes(FindInResFile(EmbeddedResFile(), c.type, c.id))) << c.id;
  }
  const auto license = FindResourceBytes(ResourceType::Number(RESOURCE_TYPE_HTML), 130);
  EXPECT_EQ(license[0], 0xFF);
  EXPECT_EQ(license[1], 0xFE);
  EXPECT_TRUE(FindResourceBytes(ResourceType::Number(RESOURCE_TYPE_HTML), 131).empty());
}

TEST(Win32AppPlatform, ReadsTheProgramsVersionRecordAndLoadsRichEdit) {
  Win32AppPlatform platform;
  AppInfo info;
  platform.ReadVersionInfo(info);
  EXPECT_EQ(info.m_productName, u"QX-80 FW-Updater");
  EXPECT_EQ(info.m_versionMajor, 1);
  EXPECT_EQ(info.m_versionMinor, 0);
  EXPECT_EQ(info.m_versionBuild, 4);

  platform.InitCommonControls();
  platform.LoadRichEditLibrary();
  for (const wchar_t* name : {L"RichEdit20W", PROGRESS_CLASSW}) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    EXPECT_TRUE(GetClassInfoExW(nullptr, name, &windowClass));
  }
}

TEST(Win32AppPlatform, SecondMutexOfTheSameNameReportsTheFirst) {
  Win32AppPlatform platform;
  bool existed = true;
  MutexHandle first = platform.CreateNamedMutex(u"QX80-TEST-MUTEX-WIN32-UI", existed);
  ASSERT_NE(first, nullptr);
  EXPECT_FALSE(existed);
  MutexHandle second = platform.CreateNamedMutex(u"QX80-TEST-MUTEX-WIN32-UI", existed);
  ASSERT_NE(second, nullptr);
  EXPECT_TRUE(existed);
  platform.CloseMutex(second);
  platform.CloseMutex(first);
  MutexHandle third = platform.CreateNamedMutex(u"QX80-TEST-MUTEX-WIN32-UI", existed);
  EXPECT_FALSE(existed);  // the name is free again once every handle is closed
  platform.CloseMutex(third);
}

class Win32DialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Win32AppPlatform platform;
    platform.InitCommonControls();
    platform.LoadRichEditLibrary();
  }
  Win32DialogHost host{GetModuleHandleW(nullptr)};
};

TEST_F(Win32DialogTest, ProgressDialogWarnsInRedBoldAndFollowsPostedProgress) {
  AppInfo app;
  CFirmUpProgressDlg progress(app);
  DialogView* view = host.CreateModeless(progress, nullptr);
  ASSERT_NE(view, nullptr);
  const auto dialog = static_cast<HWND>(view->Handle());
  HWND warning = GetDlgItem(dialog, IDC_MESSAGE);
  HWND bar = GetDlgItem(dialog, IDC_PROGRESS);

  LOGFONTW dialogFont{};
  LOGFONTW warningFont{};
  ASSERT_NE(
      GetObjectW(reinterpret_cast<HFONT>(SendMessageW(dialog, WM_GETFONT, 0, 0)), sizeof(dialogFont), &dialogFont), 0);
  ASSERT_NE(
      GetObjectW(reinterpret_cast<HFONT>(SendMessageW(warning, WM_GETFONT, 0, 0)), sizeof(warningFont), &warningFont),
      0);
  EXPECT_EQ(warningFont.lfWeight, dialogFont.lfWeight + 300);
  EXPECT_EQ(std::wstring(warningFont.lfFaceName), std::wstring(dialogFont.lfFaceName));

  // Red text for the warning only; the background stays the default.
  HDC dc = CreateCompatibleDC(nullptr);
  const auto brush =
      SendMessageW(dialog, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(warning));
  EXPECT_NE(brush, 0);
  EXPECT_EQ(GetTextColor(dc), RGB(255, 0, 0));
  SetTextColor(dc, RGB(1, 2, 3));
  SendMessageW(dialog, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(bar));
  EXPECT_NE(GetTextColor(dc), RGB(255, 0, 0));
  DeleteDC(dc);

  EXPECT_EQ(SendMessageW(bar, PBM_GETRANGE, TRUE, 0), 0);
  EXPECT_EQ(SendMessageW(bar, PBM_GETRANGE, FALSE, 0), 100);
  for (int percent : {50, 100, 7}) {
    ASSERT_TRUE(PostWindowMessage(dialog, WM_UPDATE_PROGRESS, static_cast<uintptr_t>(percent), 0));
    PumpMessages();
    EXPECT_EQ(SendMessageW(bar, PBM_GETPOS, 0, 0), percent);
  }

  // Enter and Escape leave it open.
  SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
  PumpMessages();
  EXPECT_TRUE(IsWindow(dialog));
  host.DestroyModeless(progress);
  EXPECT_FALSE(IsWindow(dialog));
}

TEST_F(Win32DialogTest, LicenseTextShownFromTheTopInTheDialogFont) {
  for (int32_t language : {LANGUAGE_ENGLISH, LANGUAGE_JAPANESE, LANGUAGE_CHINESE}) {
    AppInfo app;
    app.m_language = language;
    CLicenseDlg license(app);
    DialogView* view = host.CreateModeless(license, nullptr);
    ASSERT_NE(view, nullptr);
    const auto dialog = static_cast<HWND>(view->Handle());
    HWND edit = GetDlgItem(dialog, IDC_LICENSE_TEXT);
    ASSERT_NE(edit, nullptr);

    // The control's text is the resource's, CR LF and all, without the mark.
    const std::u16string want = LicenseTextFromResource(FindResourceBytes(
        ResourceType::Number(RESOURCE_TYPE_HTML), static_cast<uint16_t>(LicenseResourceId(language))));
    GETTEXTLENGTHEX lengthHow{GTL_USECRLF | GTL_NUMCHARS, 1200};
    const auto length = SendMessageW(edit, EM_GETTEXTLENGTHEX, reinterpret_cast<WPARAM>(&lengthHow), 0);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    GETTEXTEX textHow{static_cast<DWORD>(text.size() * sizeof(wchar_t)), GT_USECRLF, 1200, nullptr, nullptr};
    text.resize(static_cast<size_t>(
        SendMessageW(edit, EM_GETTEXTEX, reinterpret_cast<WPARAM>(&textHow), reinterpret_cast<LPARAM>(text.data()))));
    EXPECT_EQ(std::u16string(text.begin(), text.end()), want) << language;

    CHARRANGE selection{-1, -1};
    SendMessageW(edit, EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&selection));
    EXPECT_EQ(selection.cpMin, 0);
    EXPECT_EQ(selection.cpMax, 0);
    EXPECT_EQ(SendMessageW(edit, EM_GETFIRSTVISIBLELINE, 0, 0), 0);
    CHARFORMAT2W format{};
    format.cbSize = sizeof(format);
    SendMessageW(edit, EM_GETCHARFORMAT, SCF_DEFAULT, reinterpret_cast<LPARAM>(&format));
    EXPECT_EQ(format.yHeight, 220);
    EXPECT_EQ(std::wstring(format.szFaceName), L"MS Shell Dlg");

    EXPECT_EQ(IsDlgButtonChecked(dialog, IDC_DECLINE), BST_CHECKED);
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, IDOK)));
    host.DestroyModeless(license);
  }
}

}  // namespace
}  // namespace qx80
