// The logic of the license, progress, about and main dialogs, on in-memory dialogs made
// from the real templates.
#include <gtest/gtest.h>

#include "platform/resources/resources.h"
#include "platform/window_message.h"
#include "tests/updater/fake_dialog_host.h"
#include "updater/about_dlg.h"
#include "updater/app_exit_codes.h"
#include "updater/license_dlg.h"
#include "updater/main_dlg.h"
#include "updater/progress_dlg.h"
#include "updater/resources/resource_ids.h"

namespace qx80 {
namespace {

using test::FakeDialogHost;
using test::FakeDialogView;

struct LanguageTexts {
  int32_t language;
  const char16_t* licenseTitle;
  const char16_t* ok;
  const char16_t* cancel;
  const char16_t* accept;
  const char16_t* heading;
  const char16_t* aboutTitle;
  const char16_t* progressTitle;
  const char16_t* warning;
};

const LanguageTexts kLanguages[] = {
    {LANGUAGE_ENGLISH, u"QX-80 Licensing Agreement", u"OK", u"Cancel", u"Accept all terms of the license agreement",
     u"QX-80 Firmware will be updated.", u"About QX-80 FW-Updater", u"QX-80 Firmware updating...",
     u"!!! DON'T DISCONNECT THE QX-80 FROM THE USB PORT !!!"},
    {LANGUAGE_JAPANESE, u"QX-80 使用許諾契約", u"OK", u"キャンセル", u"使用許諾契約の全条項に同意します",
     u"QX-80のファームウエアを更新します。", u"QX-80 FW-Updaterについて", u"QX-80 ファームウェア アップデート中...",
     u"!!! USBポートからQX-80を抜かないでください !!!"},
    {LANGUAGE_CHINESE, u"QX-80 许可协议", u"确定", u"取消", u"接受许可协议的所有条款", u"QX-80 的固件将更新。",
     u"关于 QX-80 FW-Updater", u"QX-80 固件正在更新...", u"!!! 不要断开 QX-80 与 USB 端口的连接 !!!"},
    {LANGUAGE_OTHER, u"QX-80 Licensing Agreement", u"OK", u"Cancel", u"Accept all terms of the license agreement",
     u"QX-80 Firmware will be updated.", u"About QX-80 FW-Updater", u"QX-80 Firmware updating...",
     u"!!! DON'T DISCONNECT THE QX-80 FROM THE USB PORT !!!"},
};

AppInfo App(int32_t language) {
  AppInfo app;
  app.m_language = language;
  app.m_productName = u"QX-80 FW-Updater";
  app.m_versionMajor = 1;
  app.m_versionBuild = 4;
  return app;
}

TEST(LicenseDialog, StartsDeclinedInTheChosenLanguage) {
  for (const auto& lang : kLanguages) {
    const AppInfo app = App(lang.language);
    CLicenseDlg dlg(app);
    FakeDialogView view(IDD_LICENSE);
    EXPECT_TRUE(dlg.OnInitDialog(view));
    EXPECT_EQ(view.GetTitle(), lang.licenseTitle);
    EXPECT_TRUE(view.IsChecked(IDC_DECLINE));
    EXPECT_FALSE(view.IsChecked(IDC_ACCEPT));
    EXPECT_FALSE(view.IsEnabled(ID_OK));
    EXPECT_TRUE(view.IsEnabled(ID_CANCEL));
    EXPECT_EQ(view.GetText(IDC_ACCEPT), lang.accept);
    EXPECT_EQ(view.GetText(ID_OK), lang.ok);
    EXPECT_EQ(view.GetText(ID_CANCEL), lang.cancel);
    EXPECT_EQ(view.m_missingItemCalls, 0);

    // The agreement of the same language, from its first character after the mark to its
    // last, in the 11-point dialog font.
    const auto& text = view.Control(IDC_LICENSE_TEXT);
    EXPECT_EQ(text.text,
              LicenseTextFromResource(FindResourceBytes(ResourceType::Number(RESOURCE_TYPE_HTML),
                                                        static_cast<uint16_t>(LicenseResourceId(lang.language)))));
    EXPECT_EQ(text.text.substr(0, 3), u"---");
    EXPECT_EQ(text.text.back(), u'\n');
    EXPECT_EQ(text.richFace, u"MS Shell Dlg");
    EXPECT_EQ(text.richTwips, 220);
  }
}

TEST(LicenseDialog, OkFollowsTheRadioButtons) {
  const AppInfo app = App(LANGUAGE_ENGLISH);
  CLicenseDlg dlg(app);
  FakeDialogView view(IDD_LICENSE);
  dlg.OnInitDialog(view);

  const struct {
    int click;
    bool okEnabled;
  } steps[] = {{IDC_ACCEPT, true}, {IDC_DECLINE, false}, {IDC_ACCEPT, true}, {IDC_ACCEPT, true}, {IDC_DECLINE, false}};
  for (const auto& step : steps) {
    view.ClickRadio(step.click);
    EXPECT_TRUE(view.IsChecked(step.click));
    EXPECT_NE(view.IsChecked(IDC_ACCEPT), view.IsChecked(IDC_DECLINE)) << "the template's class name is BUTTON";
    EXPECT_TRUE(dlg.OnCommand(view, step.click, NOTIFY_BUTTON_CLICKED));
    EXPECT_EQ(view.IsEnabled(ID_OK), step.okEnabled) << step.click;
  }
  // Other notifications of the radio buttons change nothing.
  EXPECT_FALSE(dlg.OnCommand(view, IDC_ACCEPT, 6));
  EXPECT_FALSE(view.IsEnabled(ID_OK));

  dlg.OnCancel(view);
  EXPECT_EQ(view.m_endResult, ID_CANCEL);
  dlg.OnOK(view);
  EXPECT_EQ(view.m_endResult, ID_OK);
}

TEST(ProgressDialog, WarnsInRedBoldAndFollowsProgress) {
  for (const auto& lang : kLanguages) {
    const AppInfo app = App(lang.language);
    CFirmUpProgressDlg dlg(app);
    FakeDialogView view(IDD_PROGRESS);
    EXPECT_TRUE(dlg.OnInitDialog(view));
    EXPECT_EQ(view.GetTitle(), lang.progressTitle);
    EXPECT_EQ(view.GetText(IDC_MESSAGE), lang.warning);
    EXPECT_TRUE(view.Control(IDC_MESSAGE).emphasised);
    EXPECT_TRUE(dlg.UsesAlertColour(IDC_MESSAGE));
    EXPECT_FALSE(dlg.UsesAlertColour(IDC_PROGRESS));
    EXPECT_EQ(view.Control(IDC_PROGRESS).progressLow, 0);
    EXPECT_EQ(view.Control(IDC_PROGRESS).progressHigh, 100);
    EXPECT_EQ(view.Control(IDC_PROGRESS).progressPos, 0);
    EXPECT_EQ(view.m_missingItemCalls, 0);
  }

  const AppInfo app = App(LANGUAGE_ENGLISH);
  CFirmUpProgressDlg dlg(app);
  FakeDialogView view(IDD_PROGRESS);
  dlg.OnInitDialog(view);
  for (uintptr_t percent : {uintptr_t{50}, uintptr_t{100}, uintptr_t{0}}) {
    intptr_t result = -1;
    EXPECT_TRUE(dlg.OnAppMessage(view, WM_UPDATE_PROGRESS, percent, 0, result));
    EXPECT_EQ(result, 0);
    EXPECT_EQ(view.Control(IDC_PROGRESS).progressPos, static_cast<int>(percent));
  }
  intptr_t result = 0;
  EXPECT_FALSE(dlg.OnAppMessage(view, WM_UPDATE_FINISHED, 7, 0, result));
  EXPECT_EQ(view.Control(IDC_PROGRESS).progressPos, 0);

  // Neither Enter nor Escape closes it.
  dlg.OnOK(view);
  dlg.OnCancel(view);
  EXPECT_EQ(view.m_endResult, -1);
}

TEST(AboutDialog, ShowsIconTitleAndVersionLine) {
  for (const auto& lang : kLanguages) {
    const AppInfo app = App(lang.language);
    CAboutDlg dlg(app);
    FakeDialogView view(IDD_ABOUT);
    EXPECT_TRUE(dlg.OnInitDialog(view));
    EXPECT_EQ(view.GetTitle(), lang.aboutTitle);
    EXPECT_EQ(view.GetText(ID_OK), lang.ok);
    EXPECT_EQ(view.GetText(IDC_ABOUT_VERSION), u"QX-80 FW-Updater  Version 1.04");  // never translated
    EXPECT_EQ(view.Control(IDC_ABOUT_ICON).iconId, IDI_APP);
    EXPECT_EQ(view.Control(IDC_ABOUT_ICON).iconSize, 48);
    EXPECT_EQ(view.m_missingItemCalls, 0);
  }
}

class MainDialogTest : public ::testing::Test {
 protected:
  void AcceptLicense() {
    host.m_modalScripts[IDD_LICENSE] = [](DialogController& c, FakeDialogView& v) {
      v.ClickRadio(IDC_ACCEPT);
      c.OnCommand(v, IDC_ACCEPT, NOTIFY_BUTTON_CLICKED);
      c.OnOK(v);
    };
  }
  FakeDialogView* Open() { return host.CreateModeless(dlg, nullptr) ? host.ModelessView(dlg) : nullptr; }

  AppInfo app = App(LANGUAGE_ENGLISH);
  FakeDialogHost host;
  CUpdaterDlg dlg{app, host};
};

TEST_F(MainDialogTest, SetsUpWindowThenRunsTheLicenseFirst) {
  AcceptLicense();
  EXPECT_EQ(dlg.State(), DLG_CONSTRUCTED);
  // While the license runs, the main window is already set up, shown and disabled.
  host.m_modalScripts[IDD_LICENSE] = [this, accept = host.m_modalScripts[IDD_LICENSE]](DialogController& c,
                                                                                       FakeDialogView& v) {
    auto* main = host.ModelessView(dlg);
    ASSERT_NE(main, nullptr);
    EXPECT_EQ(dlg.State(), DLG_INITIALISING);
    EXPECT_TRUE(main->m_visible);
    EXPECT_FALSE(main->IsWindowEnabled());
    EXPECT_EQ(main->GetTitle(), u"QX-80 FW-Updater");
    accept(c, v);
  };
  auto* view = Open();
  ASSERT_NE(view, nullptr);
  ASSERT_EQ(host.m_modalRuns.size(), 1u);
  EXPECT_EQ(host.m_modalRuns[0].templateId, IDD_LICENSE);
  EXPECT_EQ(host.m_modalRuns[0].owner, nullptr);
  EXPECT_EQ(dlg.State(), DLG_READY);
  EXPECT_TRUE(view->IsWindowEnabled());
  EXPECT_TRUE(host.m_quitCodes.empty());

  EXPECT_EQ(view->GetText(IDC_HEADING), u"QX-80 Firmware will be updated.");
  EXPECT_EQ(view->GetText(IDC_CURRENT_CAPTION), u"Current version");
  EXPECT_EQ(view->GetText(IDC_UPDATED_CAPTION), u"Updated version");
  EXPECT_EQ(view->GetText(IDC_START), u"&Start");
  EXPECT_EQ(view->GetText(IDC_CANCEL_CLOSE), u"Cancel");
  EXPECT_FALSE(view->IsEnabled(IDC_START));
  EXPECT_EQ(view->m_windowIcon, IDI_APP);
  ASSERT_EQ(view->m_systemMenu.size(), 1u);
  EXPECT_EQ(view->m_systemMenu[0].first, SYSCOMMAND_ABOUT);
  EXPECT_EQ(view->m_systemMenu[0].second, u"&About QX-80 FW-Updater");
  EXPECT_EQ(view->m_missingItemCalls, 0);
}

TEST_F(MainDialogTest, DecliningTheLicenseQuitsWithTwo) {
  // The user selects decline again and cancels; or closes the dialog in either state.
  for (bool acceptFirst : {false, true}) {
    FakeDialogHost h;
    CUpdaterDlg d(app, h);
    h.m_modalScripts[IDD_LICENSE] = [acceptFirst](DialogController& c, FakeDialogView& v) {
      if (acceptFirst) {
        v.ClickRadio(IDC_ACCEPT);
        c.OnCommand(v, IDC_ACCEPT, NOTIFY_BUTTON_CLICKED);
      }
      c.OnCancel(v);
    };
    ASSERT_NE(h.CreateModeless(d, nullptr), nullptr);  // the window exists in every case
    EXPECT_EQ(h.m_quitCodes, std::vector<int>{EXIT_CODE_USER_ENDED});
    EXPECT_EQ(d.State(), DLG_CLOSING);
    EXPECT_FALSE(h.ModelessView(d)->IsWindowEnabled());
  }
}

// The main dialog with a start-up step that fails.
class FailingStartDlg : public CUpdaterDlg {
 public:
  FailingStartDlg(const AppInfo& app, DialogHost& host, bool loadFails, bool watchingFails)
      : CUpdaterDlg(app, host), m_loadFails(loadFails), m_watchingFails(watchingFails) {}

 protected:
  bool LoadCarriedPackage() override { return !m_loadFails && CUpdaterDlg::LoadCarriedPackage(); }
  bool StartWatching() override { return !m_watchingFails && CUpdaterDlg::StartWatching(); }

 private:
  bool m_loadFails;
  bool m_watchingFails;
};

TEST_F(MainDialogTest, StartUpFailuresEndWithThreeAfterTheirErrorBox) {
  AcceptLicense();
  struct Case {
    const char* what;
    bool loadFails;
    bool watchingFails;
    const char16_t* text;
  };
  const Case cases[] = {
      {"the carried package does not load", true, false, u"Failed to format the updating firmware."},
      {"watching cannot start", false, true, u"Cannot find QX-80.\r\nCheck your connection and try again."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FakeDialogHost h;
    h.m_modalScripts = host.m_modalScripts;
    FailingStartDlg d(app, h, c.loadFails, c.watchingFails);
    ASSERT_NE(h.CreateModeless(d, nullptr), nullptr);  // the window exists in every case
    FakeDialogView* view = h.ModelessView(d);
    ASSERT_EQ(h.m_messageBoxes.size(), 1u);
    EXPECT_EQ(h.m_messageBoxes[0].text, c.text);
    EXPECT_EQ(h.m_messageBoxes[0].caption, u"QX-80 FW-Updater");
    EXPECT_EQ(h.m_messageBoxes[0].flags, MESSAGE_BOX_OK | MESSAGE_BOX_ICON_ERROR);
    EXPECT_EQ(h.m_messageBoxes[0].owner, view);
    EXPECT_EQ(h.m_quitCodes, std::vector<int>{EXIT_CODE_FAILURE});
    EXPECT_EQ(d.State(), DLG_CLOSING);
    EXPECT_FALSE(view->IsWindowEnabled()) << "disabled until the quit is processed";
    EXPECT_EQ(view->GetText(IDC_MESSAGE), u"");
  }
}

TEST_F(MainDialogTest, WaysToQuit) {
  AcceptLicense();
  struct Case {
    const char* what;
    std::function<void(CMainDlg&, FakeDialogView&)> act;
    std::vector<int> quits;
  };
  const Case cases[] = {
      // Enter presses the default push button, this one: the dialog manager sends its command.
      {"Cancel button, clicked or pressed with Enter",
       [](CMainDlg& d, FakeDialogView& v) { d.OnCommand(v, IDC_CANCEL_CLOSE, NOTIFY_BUTTON_CLICKED); },
       {2}},
      {"close box", [](CMainDlg& d, FakeDialogView& v) { EXPECT_TRUE(d.OnSysCommand(v, SYSCOMMAND_CLOSE)); }, {2}},
      // WM_CLOSE arrives as the Cancel command, like Escape: the template has no Cancel button.
      {"Escape or WM_CLOSE while the button reads Cancel", [](CMainDlg& d, FakeDialogView& v) { d.OnCancel(v); }, {2}},
      {"Escape or WM_CLOSE while the button reads Close",
       [](CMainDlg& d, FakeDialogView& v) {
         v.SetText(IDC_CANCEL_CLOSE, u"Close");
         d.OnCancel(v);
       },
       {2}},
      {"Escape while the button reads something else",
       [](CMainDlg& d, FakeDialogView& v) {
         v.SetText(IDC_CANCEL_CLOSE, u"Wait");
         d.OnCancel(v);
       },
       {}},
      {"the OK command, which no button of the window sends", [](CMainDlg& d, FakeDialogView& v) { d.OnOK(v); }, {}},
      {"a system command the dialog leaves to the default",
       [](CMainDlg& d, FakeDialogView& v) { EXPECT_FALSE(d.OnSysCommand(v, 0xF020)); },
       {}},
      {"another button's notification",
       [](CMainDlg& d, FakeDialogView& v) { EXPECT_FALSE(d.OnCommand(v, IDC_CANCEL_CLOSE, 5)); },
       {}},
  };
  for (const auto& c : cases) {
    FakeDialogHost h;
    h.m_modalScripts = host.m_modalScripts;
    CUpdaterDlg d(app, h);
    ASSERT_NE(h.CreateModeless(d, nullptr), nullptr);
    c.act(d, *h.ModelessView(d));
    EXPECT_EQ(h.m_quitCodes, c.quits) << c.what;
    EXPECT_EQ(d.State(), c.quits.empty() ? DLG_READY : DLG_CLOSING) << c.what;
    EXPECT_EQ(h.ModelessView(d)->m_endResult, -1) << c.what;  // a modeless dialog never ends itself
  }
}

TEST_F(MainDialogTest, EscapeComparesWithTheTextsOfTheChosenLanguage) {
  app.m_language = LANGUAGE_JAPANESE;
  AcceptLicense();
  auto* view = Open();
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(view->GetText(IDC_CANCEL_CLOSE), u"キャンセル");
  view->SetText(IDC_CANCEL_CLOSE, u"Cancel");  // the English text is not this language's
  dlg.OnCancel(*view);
  EXPECT_TRUE(host.m_quitCodes.empty());
  view->SetText(IDC_CANCEL_CLOSE, u"閉じる");
  dlg.OnCancel(*view);
  EXPECT_EQ(host.m_quitCodes, std::vector<int>{2});
}

TEST_F(MainDialogTest, AboutItemOpensTheAboutBoxOverTheMainWindow) {
  AcceptLicense();
  auto* view = Open();
  ASSERT_NE(view, nullptr);
  host.m_modalScripts[IDD_ABOUT] = [](DialogController& c, FakeDialogView& v) { c.OnOK(v); };
  for (uint32_t command : {uint32_t{0x10}, uint32_t{0x13}}) {  // low four bits are the system's
    EXPECT_TRUE(dlg.OnSysCommand(*view, command));
  }
  ASSERT_EQ(host.m_modalRuns.size(), 3u);
  EXPECT_EQ(host.m_modalRuns[2].templateId, IDD_ABOUT);
  EXPECT_EQ(host.m_modalRuns[2].owner, view);
  EXPECT_EQ(host.m_lastModalView->GetText(IDC_ABOUT_VERSION), u"QX-80 FW-Updater  Version 1.04");
  EXPECT_TRUE(host.m_quitCodes.empty());
  EXPECT_EQ(dlg.State(), DLG_READY);
}

TEST_F(MainDialogTest, DeviceNotificationsAreIgnoredAndDestroyCloses) {
  AcceptLicense();
  auto* view = Open();
  ASSERT_NE(view, nullptr);
  intptr_t result = -1;
  EXPECT_TRUE(dlg.OnAppMessage(*view, WM_DEVICE_NOTIFY, 3, 9, result));
  EXPECT_EQ(result, 0);
  host.DestroyModeless(dlg);
  EXPECT_EQ(dlg.State(), DLG_CLOSING);
}

}  // namespace
}  // namespace qx80
