// The main window over a simulated QX-80: the device's reports, Start, the update run and its
// result, driven through the dialog's handlers by a message loop of the test's own.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "device/hid_backend.h"
#include "device/transcript.h"
#include "platform/clock.h"
#include "platform/window_message.h"
#include "protocol/message.h"
#include "session/message_queue.h"
#include "sim/sim_power_cut.h"
#include "sim/sim_scenarios.h"
#include "tests/support/image_builder.h"
#include "tests/support/test_temp_path.h"
#include "tests/updater/fake_dialog_host.h"
#include "updater/app_exit_codes.h"
#include "updater/main_dlg.h"
#include "updater/resources/resource_ids.h"
#include "workers/device_mode.h"

namespace qx80 {
namespace {

using test::FakeControl;
using test::FakeDialogHost;
using test::FakeDialogView;

constexpr uint8_t kUamc = 0x21;
constexpr uint8_t kFwup = 0x20;
constexpr uint16_t kVersionQuery = 0x0006;

constexpr uint32_t kBoundMs = 400000;  // clock ms, beyond any wait of a whole update

// One main window with its host, and the message loop: each posted message goes to the
// dialog whose window it names.
class TestWindow {
 public:
  TestWindow(const AppInfo& app, WindowMessageQueue& queue, std::filesystem::path package = {})
      : m_queue(queue), dlg(app, host, std::move(package)) {
    host.m_modalScripts[IDD_LICENSE] = [](DialogController& c, FakeDialogView& v) {
      v.ClickRadio(IDC_ACCEPT);
      c.OnCommand(v, IDC_ACCEPT, NOTIFY_BUTTON_CLICKED);
      c.OnOK(v);
    };
  }
  ~TestWindow() { host.DestroyModeless(dlg); }
  TestWindow(const TestWindow&) = delete;
  TestWindow& operator=(const TestWindow&) = delete;

  // Creates the window: the license is accepted, the carried package loads, watching starts.
  // What earlier windows posted is dropped first: this window may take a gone one's address.
  FakeDialogView& Open() {
    WindowMessage stale;
    while (m_queue.Wait(stale, 0)) {
    }
    view = host.CreateModeless(dlg, nullptr) != nullptr ? host.ModelessView(dlg) : nullptr;
    EXPECT_NE(view, nullptr);
    return *view;
  }
  bool RunUntil(const std::function<bool()>& done) {
    const uint32_t start = GetClock().TickCount();
    while (!done()) {
      if (TicksSince(start, GetClock().TickCount()) > kBoundMs) {
        return false;
      }
      WindowMessage message;
      if (m_queue.Wait(message, 100)) {
        Dispatch(message);
      }
    }
    return true;
  }
  bool WaitForMessage(int id) {
    return RunUntil([&] { return dlg.MessageId() == id; });
  }
  FakeDialogView* ProgressView() { return host.ModelessView(dlg.ProgressDialog()); }
  const FakeControl& CurrentLabel() const { return view->Created()[0]; }
  const FakeControl& UpdatedLabel() const { return view->Created()[kVersionLabelCount]; }
  bool MessageIsEmphasised() const { return view->IsHeavierFont(view->Control(IDC_MESSAGE).font); }

 private:
  void Dispatch(const WindowMessage& message) {
    intptr_t result = 0;
    if (view != nullptr && message.window == view->Handle()) {
      dlg.OnAppMessage(*view, message.message, message.wParam, message.lParam, result);
    } else if (FakeDialogView* progress = ProgressView(); progress != nullptr && message.window == progress->Handle()) {
      dlg.ProgressDialog().OnAppMessage(*progress, message.message, message.wParam, message.lParam, result);
      maxProgress = std::max(maxProgress, progress->Control(IDC_PROGRESS).progressPos);
    }
    if (afterDispatch) {
      afterDispatch(message);
    }
  }

  WindowMessageQueue& m_queue;

 public:
  FakeDialogHost host;
  CUpdaterDlg dlg;
  FakeDialogView* view = nullptr;
  int maxProgress = 0;                                      // the highest position the progress bar reached
  std::function<void(const WindowMessage&)> afterDispatch;  // told of every message handled
};

// A simulated QX-80 on the process's bus, the clock sped up, the posted messages queued.
class MainWindowTest : public ::testing::Test {
 protected:
  explicit MainWindowTest(const char* scenario = "ok")
      : m_scopedClock(m_clock), m_rig(*FindSimScenario(scenario)), m_backend(m_rig.Bus()) {
    SetWindowMessagePoster(WindowMessageQueue::PosterFor(m_queue));
    m_rig.Device().KeepRequests();  // the version queries are counted
    m_app.m_language = LANGUAGE_ENGLISH;
  }
  ~MainWindowTest() override {
    m_window.reset();  // its threads stop before nothing takes their messages any more
    SetWindowMessagePoster({});
  }

  size_t VersionQueries() {
    size_t count = 0;
    for (const std::vector<uint8_t>& request : m_rig.Device().Requests()) {
      count += ReadHeader(request.data()).id == kVersionQuery ? 1 : 0;
    }
    return count;
  }

  ScaledClock m_clock{50, Bounds::Real};
  ScopedClock m_scopedClock;
  SimQx80Rig m_rig;
  ScopedHidBackend m_backend;
  std::shared_ptr<WindowMessageQueue> m_queue = std::make_shared<WindowMessageQueue>();
  AppInfo m_app;
  std::optional<TestWindow> m_window{std::in_place, m_app, *m_queue};
  TestWindow& m_win = *m_window;
};

TEST_F(MainWindowTest, ClonesTheVersionRowsAndShowsTheCarriedVersion) {
  FakeDialogView& view = m_win.Open();
  ASSERT_EQ(m_win.dlg.State(), DLG_READY);
  EXPECT_TRUE(view.IsWindowEnabled());
  EXPECT_TRUE(view.m_acceptsFiles);
  EXPECT_EQ(view.m_missingItemCalls, 0);
  // Until the watcher's first report the message is empty and Start disabled.
  EXPECT_EQ(m_win.dlg.MessageId(), 0);
  EXPECT_FALSE(view.IsEnabled(IDC_START));

  // Five labels per row from the hidden template statics, each shifted by width + 10.
  const std::deque<FakeControl>& labels = view.Created();
  ASSERT_EQ(labels.size(), 2 * kVersionLabelCount);
  const int expectedIds[] = {1011, 1012, 1015, 1017, 0, 1013, 1014, 1016, 1018, 0};
  for (size_t i = 0; i < labels.size(); ++i) {
    const FakeControl& templ =
        view.Control(i < kVersionLabelCount ? IDC_CURRENT_VERSION_TEMPLATE : IDC_UPDATED_VERSION_TEMPLATE);
    const int shift = static_cast<int>(i % kVersionLabelCount) * (templ.rect.Width() + 10);
    EXPECT_EQ(labels[i].id, expectedIds[i]) << i;
    EXPECT_EQ(labels[i].style, templ.style) << i;
    EXPECT_EQ(labels[i].rect.left, templ.rect.left + shift) << i;
    EXPECT_EQ(labels[i].rect.right, templ.rect.right + shift) << i;
    EXPECT_EQ(labels[i].rect.top, templ.rect.top) << i;
    EXPECT_EQ(labels[i].visible, i % kVersionLabelCount == 0) << i;
  }
  EXPECT_FALSE(view.Control(IDC_CURRENT_VERSION_TEMPLATE).visible);
  EXPECT_FALSE(view.Control(IDC_UPDATED_VERSION_TEMPLATE).visible);
  // The carried package's first part (UAMC), then its second.
  EXPECT_EQ(labels[kVersionLabelCount].text, u"2.09");
  EXPECT_EQ(labels[kVersionLabelCount + 1].text, u"2.09");
  EXPECT_EQ(m_win.CurrentLabel().text, u"");
  EXPECT_GT(m_win.host.m_waitCursorShown, 0);
  EXPECT_EQ(m_win.host.m_waitCursorDepth, 0);
}

TEST_F(MainWindowTest, DeviceReportsSetMessageStartAndCurrentVersion) {
  struct Case {
    const char* what;
    bool plugged;
    const char* uamc;
    const char* fwup;
    int message;
    const char16_t* current;
  };
  const Case cases[] = {
      {"no device", false, "2.05", "2.05", IDS_MSG_CONNECT, u""},
      {"older firmware", true, "2.05", "2.05", IDS_MSG_PRESS_START, u"2.05"},
      {"main part current, second part older: the older shows", true, "2.09", "2.05", IDS_MSG_PRESS_START, u"2.05"},
      {"leading zero before a digit goes", true, "0209", "0209", IDS_MSG_PRESS_START, u"209"},
      {"a longer text is cut to four characters", true, "2.091", "2.091", IDS_MSG_PRESS_START, u"2.09"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SimQx80Device& device = m_rig.Device();
    device.SetVersion(kUamc, c.uamc);
    device.SetVersion(kFwup, c.fwup);
    if (!c.plugged) {
      device.Unplug();
    }
    TestWindow win(m_app, *m_queue);
    win.Open();
    ASSERT_TRUE(win.RunUntil([&] { return win.dlg.MessageId() != 0; }));
    CUpdaterDlg& dlg = win.dlg;
    FakeDialogView* view = win.view;
    EXPECT_EQ(dlg.MessageId(), c.message);
    EXPECT_EQ(view->GetText(IDC_MESSAGE), m_app.LoadText(c.message));
    EXPECT_TRUE(dlg.UsesAlertColour(IDC_MESSAGE)) << "both texts are alerts: red";
    EXPECT_TRUE(view->IsHeavierFont(view->Control(IDC_MESSAGE).font));
    EXPECT_EQ(view->IsEnabled(IDC_START), c.plugged);
    EXPECT_EQ(view->Created()[0].text, c.current);
    EXPECT_EQ(view->m_missingItemCalls, 0);
    if (!c.plugged) {
      device.Plug();
    }
  }
}

TEST_F(MainWindowTest, FollowsTheDeviceAsItComesAndGoes) {
  SimQx80Device& device = m_rig.Device();
  device.Unplug();
  FakeDialogView& view = m_win.Open();
  ASSERT_TRUE(m_win.WaitForMessage(IDS_MSG_CONNECT));
  EXPECT_EQ(view.m_focus, IDC_CANCEL_CLOSE) << "a report moves the focus to the Cancel button";

  device.Plug();
  ASSERT_TRUE(m_win.WaitForMessage(IDS_MSG_PRESS_START));
  EXPECT_TRUE(view.IsEnabled(IDC_START));
  EXPECT_EQ(m_win.CurrentLabel().text, u"2.05");
  EXPECT_EQ(VersionQueries(), kComponentSlots);

  // Another report of the same mode while the channel is open reads nothing again.
  view.m_threadHasFocus = false;
  view.m_focus = 0;
  intptr_t result = -1;
  EXPECT_TRUE(m_win.dlg.OnAppMessage(view, WM_DEVICE_MODE_CHANGED, DEVICE_MODE_NORMAL, 0, result));
  EXPECT_EQ(result, 0);
  EXPECT_EQ(VersionQueries(), kComponentSlots);
  // Without the focus in this program the button takes it at the next activation only.
  EXPECT_EQ(view.m_focus, 0);
  m_win.dlg.OnActivate(view, false);
  EXPECT_EQ(view.m_focus, 0);
  EXPECT_TRUE(m_win.dlg.OnAppMessage(view, WM_DEVICE_MODE_CHANGED, DEVICE_MODE_NORMAL, 0, result));
  m_win.dlg.OnActivate(view, true);
  EXPECT_EQ(view.m_focus, IDC_CANCEL_CLOSE);
  view.m_focus = 0;
  m_win.dlg.OnActivate(view, true);
  EXPECT_EQ(view.m_focus, 0) << "the pending focus is used once";

  device.Unplug();
  ASSERT_TRUE(m_win.WaitForMessage(IDS_MSG_CONNECT));
  EXPECT_FALSE(view.IsEnabled(IDC_START));
  EXPECT_EQ(m_win.CurrentLabel().text, u"");
  EXPECT_EQ(m_rig.Bus().OpenHandleCount(), 0u);
}

// What happens while the question before an unneeded update is open.
enum class QuestionEvent { None, Unplug, Quit };

TEST_F(MainWindowTest, StartAsksFirstOnlyWhenNoUpdateIsNeeded) {
  struct Case {
    const char* what;
    const char* version;  // every component's
    int answer;
    QuestionEvent during;
    bool asks;
    MainDlgState state;
    std::vector<int> quits;
  };
  const Case cases[] = {
      {"older firmware: no question", "2.05", ID_OK, QuestionEvent::None, false, DLG_UPDATING, {}},
      {"up to date, Cancel", "2.09", ID_CANCEL, QuestionEvent::None, true, DLG_READY, {}},
      {"up to date, OK", "2.09", ID_OK, QuestionEvent::None, true, DLG_UPDATING, {}},
      {"up to date, OK after the device left", "2.09", ID_OK, QuestionEvent::Unplug, true, DLG_READY, {}},
      {"up to date, OK after a quit was requested", "2.09", ID_OK, QuestionEvent::Quit, true, DLG_CLOSING, {2}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SimQx80Rig rig(*FindSimScenario("ok"), c.version);
    ScopedHidBackend backend(rig.Bus());
    TestWindow win(m_app, *m_queue);
    FakeDialogHost& host = win.host;
    CUpdaterDlg& dlg = win.dlg;
    host.m_messageBoxAnswer = c.answer;
    if (c.during == QuestionEvent::Unplug) {
      host.m_duringMessageBox = [&] {
        rig.Device().Unplug();
        const uint32_t start = GetClock().TickCount();
        while (g_deviceMode.load() != DEVICE_MODE_ABSENT && TicksSince(start, GetClock().TickCount()) < kBoundMs) {
          GetClock().Sleep(50);
        }
      };
    } else if (c.during == QuestionEvent::Quit) {
      // The close box of the main window, from the taskbar, while the question is open.
      host.m_duringMessageBox = [&] { EXPECT_TRUE(dlg.OnSysCommand(*win.view, SYSCOMMAND_CLOSE)); };
    }
    FakeDialogView* view = &win.Open();
    ASSERT_TRUE(win.WaitForMessage(IDS_MSG_PRESS_START));

    EXPECT_TRUE(dlg.OnCommand(*view, IDC_START, NOTIFY_BUTTON_CLICKED));
    ASSERT_EQ(host.m_messageBoxes.size(), c.asks ? 1u : 0u);
    if (c.asks) {
      EXPECT_EQ(host.m_messageBoxes[0].text, u"No update needed. \r\n\r\nStart update?");
      EXPECT_EQ(host.m_messageBoxes[0].caption, u"QX-80 FW-Updater");
      EXPECT_EQ(host.m_messageBoxes[0].flags, MESSAGE_BOX_OK_CANCEL | MESSAGE_BOX_ICON_INFORMATION);
      EXPECT_EQ(host.m_messageBoxes[0].owner, view);
    }
    EXPECT_EQ(dlg.State(), c.state);
    FakeDialogView* progress = host.ModelessView(dlg.ProgressDialog());
    if (c.state == DLG_UPDATING) {
      ASSERT_NE(progress, nullptr);
      EXPECT_EQ(progress->m_centredOver, view);
      EXPECT_FALSE(view->IsWindowEnabled());
      EXPECT_FALSE(view->IsEnabled(IDC_START));
      EXPECT_FALSE(view->IsEnabled(IDC_CANCEL_CLOSE));
      EXPECT_EQ(view->GetText(IDC_MESSAGE), u"Updating...");
      EXPECT_FALSE(dlg.UsesAlertColour(IDC_MESSAGE));
      EXPECT_FALSE(view->IsHeavierFont(view->Control(IDC_MESSAGE).font)) << "the label's own font again";
      // Closing from the system menu is refused while the update runs.
      EXPECT_TRUE(dlg.OnSysCommand(*view, SYSCOMMAND_CLOSE));
      EXPECT_TRUE(host.m_quitCodes.empty());
      EXPECT_EQ(dlg.State(), DLG_UPDATING);
      // The update ends before the window goes, so that no worker outlives the test's clock.
      ASSERT_TRUE(win.RunUntil([&] { return dlg.State() == DLG_FINISHED; }));
    } else {
      EXPECT_EQ(progress, nullptr);
      EXPECT_TRUE(view->IsWindowEnabled());
      EXPECT_EQ(host.m_quitCodes, c.quits);
      EXPECT_FALSE(dlg.Session()->Updater()->HasThread()) << "no update was started";
    }
  }
}

struct RunCase {
  const char* scenario;
  int result;  // 0 or any failure
  int message;
  bool red;
  const char16_t* currentAfterReturn;
};

void PrintTo(const RunCase& c, std::ostream* os) {
  *os << c.scenario;
}

class UpdateRunTest : public MainWindowTest, public ::testing::WithParamInterface<RunCase> {
 protected:
  UpdateRunTest() : MainWindowTest(GetParam().scenario) {}
};

// A whole update through the window: Start, the progress dialog following the worker, the
// result, and the device's new version once it is back.
TEST_P(UpdateRunTest, ShowsTheResult) {
  const RunCase& c = GetParam();
  FakeDialogView& view = m_win.Open();
  ASSERT_TRUE(m_win.WaitForMessage(IDS_MSG_PRESS_START));
  m_win.dlg.OnCommand(view, IDC_START, NOTIFY_BUTTON_CLICKED);
  ASSERT_EQ(m_win.dlg.State(), DLG_UPDATING);
  // The device's reports during the update leave the focus to the next activation.
  view.m_threadHasFocus = false;
  view.m_focus = 0;

  ASSERT_TRUE(m_win.RunUntil([&] { return m_win.dlg.State() == DLG_FINISHED; }));
  EXPECT_EQ(m_win.dlg.MessageId(), c.message);
  EXPECT_EQ(m_win.dlg.UsesAlertColour(IDC_MESSAGE), c.red);
  EXPECT_EQ(m_win.MessageIsEmphasised(), c.red);
  EXPECT_EQ(m_win.ProgressView(), nullptr);
  if (c.result == 0) {
    EXPECT_EQ(m_win.maxProgress, 100);
  } else {
    EXPECT_GT(m_win.maxProgress, 0) << "the ticks before the write moved the bar";
  }
  EXPECT_TRUE(view.IsWindowEnabled());
  EXPECT_EQ(view.m_broughtToTop, 1);
  EXPECT_FALSE(view.IsEnabled(IDC_START));
  EXPECT_TRUE(view.IsEnabled(IDC_CANCEL_CLOSE));
  EXPECT_EQ(view.GetText(IDC_CANCEL_CLOSE), u"Close");
  EXPECT_EQ(view.m_focus, IDC_CANCEL_CLOSE);
  EXPECT_FALSE(m_win.UpdatedLabel().enabled);
  EXPECT_FALSE(view.Created()[kVersionLabelCount + 1].enabled);
  EXPECT_TRUE(view.Created()[kVersionLabelCount + 2].enabled) << "one label per loaded part";
  EXPECT_EQ(m_win.CurrentLabel().text, u"");

  if (c.currentAfterReturn != nullptr) {
    // The device returns: its version shows, while Start stays disabled for good.
    ASSERT_TRUE(m_win.RunUntil([&] { return !m_win.CurrentLabel().text.empty(); }));
    EXPECT_EQ(m_win.CurrentLabel().text, c.currentAfterReturn);
  } else {
    // The device is gone for good: the result stays, not the request to connect it.
    ASSERT_TRUE(m_win.RunUntil([&] { return m_win.dlg.Session()->ReportedMode() == DEVICE_MODE_ABSENT; }));
    EXPECT_EQ(m_win.CurrentLabel().text, u"");
  }
  EXPECT_FALSE(view.IsEnabled(IDC_START));
  EXPECT_EQ(m_win.dlg.MessageId(), c.message);

  // Closing works again, and Escape follows the button's new text.
  m_win.dlg.OnCancel(view);
  EXPECT_EQ(m_win.host.m_quitCodes, std::vector<int>{EXIT_CODE_USER_ENDED});
  EXPECT_EQ(m_win.dlg.State(), DLG_CLOSING);
}

INSTANTIATE_TEST_SUITE_P(Scenarios, UpdateRunTest,
                         ::testing::Values(RunCase{"ok", 0, IDS_MSG_UPDATED, false, u"2.09"},
                                           RunCase{"refuse-block-3", -1, IDS_MSG_UPDATE_FAILED, true, u"2.05"},
                                           RunCase{"unplug-mid-transfer", -1, IDS_MSG_UPDATE_FAILED, true, nullptr}),
                         [](const ::testing::TestParamInfo<RunCase>& param) {
                           std::string name = param.param.scenario;
                           std::replace(name.begin(), name.end(), '-', '_');
                           return name;
                         });

// The device's power goes at one point of the update, as qx80-sim --power-cut names it: the
// window ends with the failure in red, and a second run on the same device, which came back in
// its update mode, writes it. At the return the worker has already reported success: the
// device back in its update mode is what withdraws it.
class PowerCutRunTest : public MainWindowTest, public ::testing::WithParamInterface<const char*> {
 protected:
  // The power comes back a minute later (clock milliseconds), after every answer's time-out.
  static constexpr uint32_t kOffMs = 60000;
};

TEST_P(PowerCutRunTest, FailsInRedAndTheNextRunUpdates) {
  SimQx80Device& device = m_rig.Device();
  // From the cut on, the waits of the application have a time-out as their outcome.
  SimCutWatch watch(ParseSimCutPoint(GetParam()).value(), [&](uint32_t afterMs) {
    m_clock.SetBounds(Bounds::Scaled);
    device.PowerCut(afterMs, QX80_PRODUCT_UPDATE, kOffMs);
  });
  device.ObserveRequests([&watch](const MessageHeader& header) { watch.See(header); });
  {
    FakeDialogView& view = m_win.Open();
    ASSERT_TRUE(m_win.WaitForMessage(IDS_MSG_PRESS_START));
    m_win.dlg.OnCommand(view, IDC_START, NOTIFY_BUTTON_CLICKED);
    ASSERT_TRUE(m_win.RunUntil([&] {
      return m_win.dlg.State() == DLG_FINISHED && m_win.dlg.MessageId() == IDS_MSG_UPDATE_FAILED;
    })) << "message "
        << m_win.dlg.MessageId();
    EXPECT_TRUE(watch.DidCut());
    EXPECT_TRUE(m_win.dlg.UsesAlertColour(IDC_MESSAGE));
    ASSERT_TRUE(device.WaitIdle());  // back on the bus
    ASSERT_TRUE(m_win.RunUntil([&] { return m_win.dlg.Session()->ReportedMode() == DEVICE_MODE_UPDATE; }));
    EXPECT_EQ(m_win.dlg.MessageId(), IDS_MSG_UPDATE_FAILED);
    m_win.dlg.OnCommand(view, IDC_CANCEL_CLOSE, NOTIFY_BUTTON_CLICKED);
    EXPECT_EQ(m_win.host.m_quitCodes, std::vector<int>{EXIT_CODE_USER_ENDED});
  }

  m_clock.SetBounds(Bounds::Real);
  TestWindow& second = m_window.emplace(m_app, *m_queue);
  FakeDialogView& view = second.Open();
  ASSERT_TRUE(second.WaitForMessage(IDS_MSG_PRESS_START));
  second.dlg.OnCommand(view, IDC_START, NOTIFY_BUTTON_CLICKED);
  EXPECT_TRUE(second.host.m_messageBoxes.empty()) << "the written firmware was lost: an update is needed";
  ASSERT_TRUE(second.RunUntil([&] { return second.dlg.State() == DLG_FINISHED; }));
  EXPECT_EQ(second.dlg.MessageId(), IDS_MSG_UPDATED);
  ASSERT_TRUE(second.RunUntil([&] { return !second.CurrentLabel().text.empty(); }));
  EXPECT_EQ(second.CurrentLabel().text, u"2.09");
  EXPECT_EQ(second.dlg.MessageId(), IDS_MSG_UPDATED);
}

INSTANTIATE_TEST_SUITE_P(Points, PowerCutRunTest,
                         ::testing::Values("switch", "part1-block-0", "part1-block-332", "part1-end", "return"),
                         [](const ::testing::TestParamInfo<const char*>& param) {
                           std::string name = param.param;
                           std::replace(name.begin(), name.end(), '-', '_');
                           return name;
                         });

// While the device is written nothing ends the program: Escape, WM_CLOSE (which the dialog
// manager turns into the Cancel command), the button's command sent by another program, the
// close box, and Windows' question before a shutdown or log-off, answered no with the reason
// shown until the update ends. The message and Start stay as they are whatever the watcher
// reports meanwhile (the device leaves and comes back in its update mode).
TEST_F(MainWindowTest, NothingEndsTheProgramWhileTheDeviceIsWritten) {
  FakeDialogView& view = m_win.Open();
  ASSERT_TRUE(m_win.WaitForMessage(IDS_MSG_PRESS_START));
  EXPECT_TRUE(m_win.dlg.OnQueryEndSession(view));
  EXPECT_FALSE(view.m_shutdownBlockReason.has_value());
  int reportsWhileUpdating = 0;
  int reportsThatChangedTheWindow = 0;
  m_win.afterDispatch = [&](const WindowMessage& message) {
    if (message.message != WM_DEVICE_MODE_CHANGED || m_win.dlg.State() != DLG_UPDATING) {
      return;
    }
    ++reportsWhileUpdating;
    if (m_win.dlg.MessageId() != IDS_MSG_UPDATING || view.IsEnabled(IDC_START)) {
      ++reportsThatChangedTheWindow;
    }
  };
  m_win.dlg.OnCommand(view, IDC_START, NOTIFY_BUTTON_CLICKED);
  ASSERT_EQ(m_win.dlg.State(), DLG_UPDATING);
  EXPECT_EQ(view.m_shutdownBlockReason, u"QX-80 Firmware updating...");

  // The ticks before the write fill the bar to 10; beyond that the blocks are being written.
  ASSERT_TRUE(m_win.RunUntil([&] { return m_win.maxProgress > 10; }));
  ASSERT_EQ(m_win.dlg.State(), DLG_UPDATING);
  m_win.dlg.OnCancel(view);
  m_win.dlg.OnCommand(view, IDC_CANCEL_CLOSE, NOTIFY_BUTTON_CLICKED);
  EXPECT_TRUE(m_win.dlg.OnSysCommand(view, SYSCOMMAND_CLOSE));
  EXPECT_FALSE(m_win.dlg.OnQueryEndSession(view));
  EXPECT_TRUE(m_win.host.m_quitCodes.empty());
  EXPECT_EQ(m_win.dlg.State(), DLG_UPDATING);
  EXPECT_EQ(view.GetText(IDC_MESSAGE), u"Updating...");
  EXPECT_FALSE(view.IsEnabled(IDC_START));
  EXPECT_GE(reportsWhileUpdating, 2) << "the device left for its update mode and came back";
  EXPECT_EQ(reportsThatChangedTheWindow, 0);

  ASSERT_TRUE(m_win.RunUntil([&] { return m_win.dlg.State() == DLG_FINISHED; }));
  EXPECT_EQ(m_win.dlg.MessageId(), IDS_MSG_UPDATED);
  EXPECT_FALSE(view.m_shutdownBlockReason.has_value());
  EXPECT_TRUE(m_win.dlg.OnQueryEndSession(view));
  m_win.dlg.OnCancel(view);
  EXPECT_EQ(m_win.host.m_quitCodes, std::vector<int>{EXIT_CODE_USER_ENDED});
}

// The application's transcript (--log) tells what the tool's tells: every report of the
// device's mode, the start of the update, each of its phases and its result, in order, and
// nothing for the window's own end.
TEST_F(MainWindowTest, TheTranscriptNotesTheReportsTheUpdateAndItsResult) {
  const std::filesystem::path path = TestTempPath(".transcript");
  TranscriptWriter writer;
  std::string error;
  ASSERT_TRUE(writer.Open(path, "qx80-updater.exe --log main-window.transcript", {}, error)) << error;
  SetCurrentTranscript(&writer);
  {
    TestWindow win(m_app, *m_queue);
    FakeDialogView& view = win.Open();
    ASSERT_TRUE(win.WaitForMessage(IDS_MSG_PRESS_START));
    win.dlg.OnCommand(view, IDC_START, NOTIFY_BUTTON_CLICKED);
    ASSERT_TRUE(win.RunUntil([&] { return win.dlg.State() == DLG_FINISHED; }));
    ASSERT_TRUE(win.RunUntil([&] { return !win.CurrentLabel().text.empty(); }));  // the device is back
    win.dlg.OnCommand(view, IDC_CANCEL_CLOSE, NOTIFY_BUTTON_CLICKED);
  }
  SetCurrentTranscript(nullptr);

  std::vector<TranscriptEvent> events;
  ASSERT_TRUE(ReadTranscript(path, events, error)) << error;
  // The update worker's phases come from its own thread, so they stand apart from the session's
  // notes, in their own order.
  std::vector<std::string> noted;
  std::vector<std::string> phases;
  for (const TranscriptEvent& event : events) {
    (event.text.starts_with("update: ") ? phases : noted).push_back(event.kind + " " + event.text);
  }
  EXPECT_EQ(phases, (std::vector<std::string>{
                        "phase update: switching", "phase update: settling", "phase update: writing UAMC 1 of 2",
                        "phase update: finishing UAMC 1 of 2", "phase update: writing FWUP 2 of 2",
                        "phase update: finishing FWUP 2 of 2", "phase update: closing"}));
  // The device's restart after the closing command may be reported before or after the result.
  ASSERT_EQ(noted.size(), 7u);
  EXPECT_EQ(std::vector<std::string>(noted.begin(), noted.begin() + 4),
            (std::vector<std::string>{"phase device: normal mode", "phase update started", "phase device: absent",
                                      "phase device: update mode"}));
  std::vector<std::string> after(noted.begin() + 4, noted.end());
  EXPECT_EQ(after.back(), "phase device: normal mode");
  std::sort(after.begin(), after.end());
  EXPECT_EQ(after,
            (std::vector<std::string>{"phase device: absent", "phase device: normal mode", "result 0 ResultOk"}));
  std::filesystem::remove(path);
}

TEST_F(MainWindowTest, AProgressDialogThatCannotOpenEndsWithThree) {
  FakeDialogView& view = m_win.Open();
  ASSERT_TRUE(m_win.WaitForMessage(IDS_MSG_PRESS_START));
  m_win.host.m_failModelessTemplate = IDD_PROGRESS;
  m_win.dlg.OnCommand(view, IDC_START, NOTIFY_BUTTON_CLICKED);
  ASSERT_EQ(m_win.host.m_messageBoxes.size(), 1u);
  EXPECT_EQ(m_win.host.m_messageBoxes[0].text, u"Failed to update firmware.");
  EXPECT_EQ(m_win.host.m_messageBoxes[0].flags, MESSAGE_BOX_OK | MESSAGE_BOX_ICON_ERROR);
  EXPECT_EQ(m_win.host.m_quitCodes, std::vector<int>{EXIT_CODE_FAILURE});
  EXPECT_EQ(m_win.dlg.State(), DLG_CLOSING);
}

// A worker that refuses to start (here it is busy with a run begun beside the window) ends the
// program: error box 4006, the progress dialog closed again, exit code 3.
TEST_F(MainWindowTest, AWorkerThatRefusesToStartEndsWithThree) {
  FakeDialogView& view = m_win.Open();
  ASSERT_TRUE(m_win.WaitForMessage(IDS_MSG_PRESS_START));
  ASSERT_GE(m_win.dlg.Session()->StartUpdate(m_win.dlg.Slots(), nullptr), 0);
  m_win.dlg.OnCommand(view, IDC_START, NOTIFY_BUTTON_CLICKED);
  ASSERT_EQ(m_win.host.m_messageBoxes.size(), 1u);
  EXPECT_EQ(m_win.host.m_messageBoxes[0].text, u"Failed to update firmware.");
  EXPECT_EQ(m_win.host.m_messageBoxes[0].flags, MESSAGE_BOX_OK | MESSAGE_BOX_ICON_ERROR);
  EXPECT_EQ(m_win.host.m_quitCodes, std::vector<int>{EXIT_CODE_FAILURE});
  EXPECT_EQ(m_win.dlg.State(), DLG_CLOSING);
  EXPECT_EQ(m_win.ProgressView(), nullptr);
  EXPECT_TRUE(view.IsWindowEnabled());
  EXPECT_FALSE(view.m_shutdownBlockReason.has_value());
  // The other run ends before the window goes.
  ASSERT_TRUE(m_win.RunUntil([&] { return m_win.dlg.State() == DLG_FINISHED; }));
}

TEST_F(MainWindowTest, ADroppedPackageReplacesTheCarriedOneOnlyWhenItLoads) {
  FakeDialogView& view = m_win.Open();
  const test::Bytes newer = test::BuildHeaderImage({.kind = FIRM_KIND_UAMC, .size = 0x3000, .version = "3.01"});
  const test::TempImageFile good(newer);
  const test::TempImageFile garbage(test::RandomBytes(0x400, 7));

  m_win.dlg.OnDropFiles(view, good.Path().u16string());
  EXPECT_TRUE(m_win.host.m_messageBoxes.empty());
  EXPECT_EQ(m_win.UpdatedLabel().text, u"3.01");
  EXPECT_EQ(m_win.dlg.Slots().Data(FIRM_KIND_FWUP), nullptr);

  // A file that is not a package, one that does not exist, and a path cut by the shell's
  // buffer: each is refused with 5002 and the loaded part stays.
  const std::u16string cut = u"/" + std::u16string(DialogController::kDroppedPathBufferUnits - 2, u'x');
  for (const std::u16string& path : {garbage.Path().u16string(), std::u16string(u"/no/such/package.bin"), cut}) {
    m_win.host.m_messageBoxes.clear();
    m_win.dlg.OnDropFiles(view, path);
    ASSERT_EQ(m_win.host.m_messageBoxes.size(), 1u);
    EXPECT_EQ(m_win.host.m_messageBoxes[0].text, u"Failed to format the updating firmware.");
    EXPECT_EQ(m_win.host.m_messageBoxes[0].flags, MESSAGE_BOX_OK | MESSAGE_BOX_ICON_ERROR);
    EXPECT_EQ(m_win.UpdatedLabel().text, u"3.01");
    EXPECT_NE(m_win.dlg.Slots().Data(FIRM_KIND_UAMC), nullptr);
  }
  EXPECT_EQ(m_win.dlg.State(), DLG_READY);
}

// A package named on the command line (Explorer's drop on the program's icon) is loaded as a
// dropped one, before the device is watched: shown when it loads; refused with 5002, the
// carried package kept, when it does not.
TEST_F(MainWindowTest, APackageGivenAtStartIsLoadedAsADroppedOne) {
  const test::TempImageFile good(test::BuildHeaderImage({.kind = FIRM_KIND_UAMC, .size = 0x3000, .version = "3.01"}));
  const test::TempImageFile garbage(test::RandomBytes(0x400, 7));
  struct Case {
    const char* what;
    std::filesystem::path path;
    const char16_t* shown;
    bool refused;
  };
  const Case cases[] = {
      {"a package", good.Path(), u"3.01", false},
      {"not a package", garbage.Path(), u"2.09", true},
      {"no such file", "/no/such/package.bin", u"2.09", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TestWindow win(m_app, *m_queue, c.path);
    FakeDialogView& view = win.Open();
    EXPECT_EQ(win.dlg.State(), DLG_READY);
    EXPECT_EQ(win.UpdatedLabel().text, c.shown);
    ASSERT_EQ(win.host.m_messageBoxes.size(), c.refused ? 1u : 0u);
    if (c.refused) {
      EXPECT_EQ(win.host.m_messageBoxes[0].text, u"Failed to format the updating firmware.");
      EXPECT_EQ(win.host.m_messageBoxes[0].flags, MESSAGE_BOX_OK | MESSAGE_BOX_ICON_ERROR);
      EXPECT_EQ(win.host.m_messageBoxes[0].owner, &view);
    }
    EXPECT_TRUE(win.host.m_quitCodes.empty());
    ASSERT_TRUE(win.WaitForMessage(IDS_MSG_PRESS_START));
  }
}

TEST_F(MainWindowTest, MinimisedWindowPaintsAndDragsTheAppIcon) {
  FakeDialogView& view = m_win.Open();
  EXPECT_FALSE(m_win.dlg.OnPaint(view));
  view.m_minimised = true;
  // The icon is loaded once, whatever the number of paints and drags.
  for (int paint = 0; paint < 3; ++paint) {
    EXPECT_TRUE(m_win.dlg.OnPaint(view));
    EXPECT_NE(m_win.dlg.DragIcon(), nullptr);
    EXPECT_EQ(view.m_paintedIcon, m_win.dlg.DragIcon());
  }
  EXPECT_EQ(view.m_loadedIcons, std::deque<int>{IDI_APP});
  // Centred with the spare pixel rounded up: (client - icon + 1) / 2.
  EXPECT_EQ(CentredIconOffset(100, 32), 34);
  EXPECT_EQ(CentredIconOffset(33, 32), 1);
  EXPECT_EQ(CentredIconOffset(32, 32), 0);
}

}  // namespace
}  // namespace qx80
