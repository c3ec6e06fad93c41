// What the device sends unasked: notifications and text messages.
#include <gtest/gtest.h>

#include <array>
#include <condition_variable>
#include <mutex>
#include <string>

#include "platform/window_message.h"
#include "protocol/device_protocol.h"
#include "protocol/parameter_block.h"
#include "tests/support/channel_test_support.h"

namespace qx80::test {
namespace {

class NotificationTest : public OpenChannelTest {
 protected:
  ProtocolResult SwitchText(uint8_t on) {
    std::array<uint8_t, kParameterBlockSize> block{};
    block[0] = on;
    SetTextCallback(block.data(), &CallbackLog::OnText);
    return m_channel->Execute(0x25, block.data(), nullptr);
  }

  // Everything sent before has been handled once this notification has arrived.
  void Sync() {
    const size_t count = CallbackLog::Notifications().size();
    m_device.Push({MakeReport(Hex("90 01 EE"))});
    ASSERT_TRUE(CallbackLog::WaitNotifications(count + 1));
  }

  ScriptedDevice m_device{m_bus};
};

TEST_F(NotificationTest, SubKindsBecomeCodesAndValues) {
  m_device.Push({
      MakeReport(Hex("90 01 11")),
      MakeReport(Hex("91 02 22")),
      MakeReport(Hex("9F 03 12 34")),  // the kind's low nibble does not matter
      MakeReport(Hex("90 05 55")),
      MakeReport(Hex("90 06 66")),  // ignored
      MakeReport(Hex("90 07 77")),
      MakeReport(Hex("90 00 01")),  // ignored
      MakeReport(Hex("90 08 01")),  // ignored
      MakeReport(Hex("90 01 EE")),
  });
  ASSERT_TRUE(CallbackLog::WaitNotifications(6));
  const std::vector<std::pair<int32_t, int32_t>> expected{{0, 0x11}, {1, 0x22}, {2, 0x1234},
                                                          {3, 0x55}, {4, 0x77}, {0, 0xEE}};
  EXPECT_EQ(CallbackLog::Notifications(), expected);
}

TEST_F(NotificationTest, ACompletionReleasesTheWaitingRequestAsItsResponse) {
  const Bytes completion = Hex("04 00 09 0B 00 00 00 00 5A");
  m_device.Respond([&](const Bytes&) { return std::vector<Report>{MakeReport(Bytes{0x90} + completion)}; });
  const Bytes request = Hex("00 0B 0D 01 00 00 00 00");
  ASSERT_EQ(m_channel->Transact(request.data(), 8, 600000), ResultOk);
  EXPECT_EQ(m_channel->ResponseLength(), kReportPayload);
  EXPECT_EQ(Bytes(m_channel->Response(), m_channel->Response() + completion.size()), completion);
  // As a command's reply it is of the wrong type.
  std::array<uint8_t, kParameterBlockSize> block{};
  EXPECT_EQ(m_channel->Execute(0x0B, block.data(), nullptr), ResultUnexpectedResponse);
  Sync();
  EXPECT_EQ(CallbackLog::Notifications().size(), 1u);  // only the sync: a completion is no notification
}

TEST_F(NotificationTest, TextMessagesReachTheInstalledCallback) {
  m_device.Respond(AcknowledgeAll);
  ASSERT_EQ(SwitchText(1), ResultOk);
  const std::string sixty(60, 'a');
  const std::string long200 = std::string(100, 'b') + std::string(100, 'c');
  const struct {
    const char* name;
    std::vector<Report> sent;
    std::vector<CallbackLog::Text> expected;
  } cases[] = {
      {"T = 61 in one report", {MakeReport(Hex("A0 3D 00 07") + Bytes(sixty.begin(), sixty.end()))}, {{7, sixty, 61}}},
      {"T = 201 in four reports", FrameText(2, long200), {{2, long200, 201}}},
      {"only the kind byte", FrameText(3, ""), {{3, "", 1}}},
      {"middles and lasts without a first are ignored", {FrameText(2, long200)[1], FrameText(2, long200)[3]}, {}},
      {"T without its kind byte is dropped", {MakeReport(Hex("A0 00 00 09 41"))}, {}},
      // T = 300, but the last fragment follows the first: 126 bytes arrived, 124 after T.
      {"T beyond what arrived is cut to it",
       {MakeReport(Hex("A0 2C 01 05") + Bytes(60, 'x')), MakeReport(Hex("A2 79"))},
       {{5, std::string(60, 'x') + "y", 124}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    CallbackLog::Clear();
    m_device.Push(c.sent);
    Sync();
    EXPECT_EQ(CallbackLog::Texts(), c.expected);
  }
}

TEST_F(NotificationTest, TheTextSwitchReplacesTheCallbackEvenWhenTheDeviceDoesNotAnswer) {
  // No answer to anything.
  const auto scaled = ScaledTimeOuts();
  EXPECT_EQ(SwitchText(1), ResultTransferFailed);
  m_device.Push(FrameText(1, "on"));
  Sync();
  EXPECT_EQ(CallbackLog::Texts(), (std::vector<CallbackLog::Text>{{1, "on", 3}}));

  EXPECT_EQ(SwitchText(0), ResultTransferFailed);
  m_device.Push(FrameText(1, "off"));
  Sync();
  EXPECT_EQ(CallbackLog::Texts().size(), 1u);
  // The switch travels as `arg`.
  const auto requests = m_device.Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0], Hex("00 16 00 01 00 00 00 00"));
  EXPECT_EQ(requests[1], Hex("00 16 00 00 00 00 00 00"));
}

// A channel opened with the application's own handler, and a main window that records what
// is posted to it.
class MainWindowNotifyTest : public ChannelEnvironment {
 protected:
  void SetUp() override {
    SetWindowMessagePoster([this](const WindowMessage& message) {
      {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_posted.push_back(message);
      }
      m_cv.notify_all();
      return true;
    });
  }
  void TearDown() override {
    SetMainWindow(nullptr);
    SetWindowMessagePoster({});
  }

  // Waits (bounded, in real time) until `count` messages have been posted.
  std::vector<WindowMessage> Posted(size_t count) {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_cv.wait_for(lock, std::chrono::seconds(20), [&] { return m_posted.size() >= count; });
    return m_posted;
  }

  std::mutex m_mutex;
  std::condition_variable m_cv;
  std::vector<WindowMessage> m_posted;
};

TEST_F(MainWindowNotifyTest, NotificationsAndTheLostLinkReachTheMainWindowWithCodeAndValue) {
  int window = 0;
  SetMainWindow(&window);
  {
    ScriptedDevice device(m_bus);
    auto channel = CDeviceProtocol::Create(CHANNEL_MODE_NORMAL);
    ASSERT_NE(channel, nullptr);
    device.Push({MakeReport(Hex("90 03 12 34")), MakeReport(Hex("90 07 77"))});
    device.Unplug();
    const auto posted = Posted(3);
    const struct {
      uintptr_t code;
      intptr_t value;
    } expected[] = {{2, 0x1234}, {4, 0x77}, {NOTIFY_LINK_LOST, 0}};
    ASSERT_EQ(posted.size(), std::size(expected));
    for (size_t i = 0; i < posted.size(); ++i) {
      SCOPED_TRACE(i);
      EXPECT_EQ(posted[i].window, &window);
      EXPECT_EQ(posted[i].message, WM_DEVICE_NOTIFY);
      EXPECT_EQ(posted[i].wParam, expected[i].code);
      EXPECT_EQ(posted[i].lParam, expected[i].value);
    }
  }
}

}  // namespace
}  // namespace qx80::test
