// Start-up and exit of the application object with an in-memory platform.
#include "updater/updater_app.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/window_message.h"
#include "protocol/channel_callbacks.h"
#include "tests/updater/fake_dialog_host.h"
#include "updater/app_exit_codes.h"
#include "updater/main_dlg.h"
#include "updater/resources/resource_ids.h"

namespace qx80 {
namespace {

using test::FakeDialogHost;
using test::FakeDialogView;

class FakeAppPlatform : public AppPlatform {
 public:
  void InitCommonControls() override { m_calls.push_back("controls"); }
  void LoadRichEditLibrary() override { m_calls.push_back("richedit"); }
  uint32_t UserDefaultLcid() override { return m_lcid; }
  void ReadVersionInfo(AppInfo& info) override {
    m_calls.push_back("version");
    info.m_productName = u"QX-80 FW-Updater";
    info.m_versionMajor = 1;
    info.m_versionBuild = 4;
  }
  MutexHandle CreateNamedMutex(std::u16string_view name, bool& alreadyExisted) override {
    m_calls.push_back("mutex");
    m_mutexName = name;
    alreadyExisted = m_otherInstance;
    return m_mutexFails ? nullptr : &m_mutex;
  }
  void CloseMutex(MutexHandle mutex) override {
    EXPECT_EQ(mutex, &m_mutex);
    ++m_closed;
  }

  uint32_t m_lcid = 0x0409;
  bool m_otherInstance = false;
  bool m_mutexFails = false;
  int m_mutex = 0;
  int m_closed = 0;
  std::u16string m_mutexName;
  std::vector<std::string> m_calls;
};

class UpdaterAppTest : public ::testing::Test {
 protected:
  void AcceptLicense() {
    host.m_modalScripts[IDD_LICENSE] = [](DialogController& c, FakeDialogView& v) {
      c.OnCommand(v, IDC_ACCEPT, NOTIFY_BUTTON_CLICKED);
      c.OnOK(v);
    };
  }
  FakeDialogHost host;
  FakeAppPlatform platform;
};

TEST_F(UpdaterAppTest, StartsThenRunsUntilTheUserQuits) {
  AcceptLicense();
  platform.m_lcid = 0x0411;
  {
    CUpdaterApp app(host, platform);
    EXPECT_EQ(app.m_language, LANGUAGE_NOT_CHOSEN);
    host.m_duringLoop = [&] {
      // The main dialog exists, is shown and speaks the user's language.
      ASSERT_NE(app.MainDialog(), nullptr);
      auto* view = host.ModelessView(*app.MainDialog());
      ASSERT_NE(view, nullptr);
      EXPECT_TRUE(view->m_visible);
      EXPECT_EQ(view->GetText(IDC_CANCEL_CLOSE), u"キャンセル");
      EXPECT_EQ(app.MainDialog()->State(), DLG_READY);
      // The device's notifications reach the main window with their code and value.
      std::vector<WindowMessage> posted;
      SetWindowMessagePoster([&posted](const WindowMessage& m) {
        posted.push_back(m);
        return true;
      });
      PostDeviceNotify(3, 9);
      SetWindowMessagePoster({});
      ASSERT_EQ(posted.size(), 1u);
      EXPECT_EQ(posted[0].window, view->Handle());
      EXPECT_EQ(posted[0].message, WM_DEVICE_NOTIFY);
      EXPECT_EQ(posted[0].wParam, 3u);
      EXPECT_EQ(posted[0].lParam, 9);
      app.MainDialog()->OnCommand(*view, IDC_CANCEL_CLOSE, NOTIFY_BUTTON_CLICKED);
    };
    EXPECT_EQ(app.Run(), EXIT_CODE_USER_ENDED);
    EXPECT_EQ(host.m_loopRuns, 1);
    EXPECT_EQ(app.m_language, LANGUAGE_JAPANESE);
    EXPECT_EQ(app.m_productName, u"QX-80 FW-Updater");
    EXPECT_EQ(app.MainDialog(), nullptr);  // destroyed and deleted at exit
    EXPECT_EQ(MainWindow(), nullptr);
    EXPECT_EQ(platform.m_calls, (std::vector<std::string>{"controls", "richedit", "version", "mutex"}));
    EXPECT_EQ(platform.m_mutexName, u"HUB770-FW-UPDATER-MUTEX");
    EXPECT_TRUE(host.m_messageBoxes.empty());
    EXPECT_EQ(platform.m_closed, 0);  // the name stays taken while the process lives
  }
  EXPECT_EQ(platform.m_closed, 1);
}

TEST_F(UpdaterAppTest, SecondInstanceSaysSoInItsOwnLanguageAndEnds) {
  struct Case {
    uint32_t lcid;
    std::u16string text;
  };
  const Case cases[] = {{0x0409, u"QX-80 FW-Updater is already running."},
                        {0x0411, u"QX-80 FW-Updaterは既に起動しています。"},
                        {0x0804, u"QX-80 FW-Updater 已经运行。"},
                        {0x0407, u"QX-80 FW-Updater is already running."}};
  for (const auto& c : cases) {
    FakeDialogHost h;
    FakeAppPlatform p;
    p.m_lcid = c.lcid;
    p.m_otherInstance = true;
    CUpdaterApp app(h, p);
    EXPECT_EQ(app.Run(), EXIT_CODE_NORMAL);
    EXPECT_EQ(h.m_loopRuns, 0);
    EXPECT_TRUE(h.m_modalRuns.empty());  // no license, no main dialog
    ASSERT_EQ(h.m_messageBoxes.size(), 1u);
    const auto& box = h.m_messageBoxes[0];
    EXPECT_EQ(box.owner, nullptr);
    EXPECT_EQ(box.text, c.text);
    EXPECT_EQ(box.caption, u"QX-80 FW-Updater");
    EXPECT_EQ(box.flags, MESSAGE_BOX_OK | MESSAGE_BOX_ICON_INFORMATION);
    EXPECT_EQ(p.m_closed, 1);
    EXPECT_EQ(app.m_hMutex, nullptr);
  }
}

// Another program has the device: after the single-instance check the claim says so, and
// the start ends as for a second instance, before the license; a free device starts as ever.
TEST_F(UpdaterAppTest, DeviceHeldElsewhereSaysSoAndEnds) {
  for (const bool held : {true, false}) {
    FakeDialogHost h;
    FakeAppPlatform p;
    std::vector<std::string> calls;
    CUpdaterApp app(h, p);
    app.SetDeviceClaim([&] {
      calls = p.m_calls;
      return held ? std::u16string(u"in use") : std::u16string();
    });
    EXPECT_EQ(app.Run(), held ? EXIT_CODE_NORMAL : EXIT_CODE_USER_ENDED) << held;
    EXPECT_EQ(calls, (std::vector<std::string>{"controls", "richedit", "version", "mutex"})) << held;
    EXPECT_EQ(h.m_loopRuns, held ? 0 : 1) << held;
    if (held) {
      EXPECT_TRUE(h.m_modalRuns.empty());  // no license, no main dialog
      ASSERT_EQ(h.m_messageBoxes.size(), 1u);
      EXPECT_EQ(h.m_messageBoxes[0].text, u"in use");
      EXPECT_EQ(h.m_messageBoxes[0].caption, u"QX-80 FW-Updater");
    } else {
      EXPECT_TRUE(h.m_messageBoxes.empty());
    }
  }
}

TEST_F(UpdaterAppTest, StartFailuresEndSilentlyWithZero) {
  struct Case {
    const char* what;
    bool mutexFails;
    bool windowFails;
  };
  for (const Case& c : {Case{"mutex", true, false}, Case{"main window", false, true}}) {
    FakeDialogHost h;
    FakeAppPlatform p;
    p.m_mutexFails = c.mutexFails;
    h.m_failModeless = c.windowFails;
    CUpdaterApp app(h, p);
    EXPECT_EQ(app.Run(), EXIT_CODE_NORMAL) << c.what;
    EXPECT_EQ(h.m_loopRuns, 0) << c.what;
    EXPECT_TRUE(h.m_messageBoxes.empty()) << c.what;
    EXPECT_EQ(app.MainDialog(), nullptr) << c.what;
  }
}

TEST_F(UpdaterAppTest, DeclinedLicenseEndsTheLoopWithTwo) {
  CUpdaterApp app(host, platform);  // no script: the license is cancelled
  EXPECT_EQ(app.Run(), EXIT_CODE_USER_ENDED);
  EXPECT_EQ(host.m_loopRuns, 1);
}

}  // namespace
}  // namespace qx80
