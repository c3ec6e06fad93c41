// The simulated QX-80 behind a real channel: what it remembers and answers, and each of its
// faults.
#include <gtest/gtest.h>

#include <array>
#include <optional>
#include <string>

#include "protocol/command_catalogue.h"
#include "protocol/device_protocol.h"
#include "protocol/parameter_block.h"
#include "sim/sim_qx80_device.h"
#include "tests/support/channel_test_support.h"

namespace qx80::test {
namespace {

using Block = std::array<uint8_t, kParameterBlockSize>;

class SimDeviceTest : public OpenChannelTest {
 protected:
  void SetUp() override {
    m_device.KeepRequests();
    OpenChannelTest::SetUp();
  }

  ProtocolResult Run(int32_t command, Block& block, StatusPair* status = nullptr) {
    return m_channel->Execute(command, block.data(), status);
  }

  // The version text command 11 returns for `selector`, or the failure.
  ProtocolResult Version(uint8_t selector, std::string& text) {
    Block block{};
    block[0] = selector;
    const ProtocolResult result = Run(0x0B, block);
    EXPECT_EQ(block[20], 0);
    text.assign(reinterpret_cast<const char*>(block.data() + 4));
    return result;
  }

  SimQx80Device m_device{
      m_bus, SimQx80Config{
                 QX80_PRODUCT_NORMAL,
                 {{0x00, "2.09 main"}, {0x21, "2.05"}, {0x20, "1.10 dsp"}, {0x22, "3.00"}, {0x01, "2.09 0123456789A"}},
                 SimModeSwitchConfig{}}};
};

TEST_F(SimDeviceTest, ASetIsRememberedAndReturnedByItsGet) {
  struct Range {
    size_t first;
    size_t count;
  };
  const struct {
    int32_t set;
    int32_t get;
    std::vector<Range> kept;  // block bytes the get brings back as the set sent them
  } cases[] = {
      {0x03, 0x04, {{0, 1}}},           // a value comes back in `arg`
      {0x05, 0x06, {{0, 4}}},           // data without a selector
      {0x11, 0x12, {{1, 2}}},           // data under the selector B0
      {0x2B, 0x2C, {{1, 181}}},         // a request of three reports
      {0x3A, 0x3B, {{1, 2}, {4, 16}}},  // two runs
      {0x8A, 0x8B, {{1, 16}}},          // a text field, terminated after it
      {0x8E, 0x8F, {{2, 2}}},           // the get leaves D0
      {0x9D, 0xA1, {{1, 1}}},           // shared numbers, one message
      {0x2D, 0x2E, {{0, 20}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.set);
    Block sent{};
    for (size_t i = 0; i < sent.size(); ++i) {
      sent[i] = static_cast<uint8_t>(i * 7 + c.set);
    }
    sent[0] = 0x05;  // the selector (or value)
    ASSERT_EQ(Run(c.set, sent), ResultOk);
    Block got{};
    got[0] = sent[0];
    ASSERT_EQ(Run(c.get, got), ResultOk);
    for (const Range& range : c.kept) {
      EXPECT_EQ(Bytes(got.begin() + range.first, got.begin() + range.first + range.count),
                Bytes(sent.begin() + range.first, sent.begin() + range.first + range.count))
          << "from B" << range.first;
    }
  }
  // Another selector has its own data.
  Block other{};
  other[0] = 0x06;
  ASSERT_EQ(Run(0x12, other), ResultOk);
  EXPECT_EQ(other[1], 0);
  EXPECT_EQ(other[2], 0);
  EXPECT_EQ(m_device.StoredValue(0x0002), 0x05);
}

TEST_F(SimDeviceTest, TheVersionQueryAnswersPerSelector) {
  const std::pair<uint8_t, std::string> expected[] = {
      {0x00, "2.09 main"}, {0x21, "2.05"}, {0x20, "1.10 dsp"}, {0x22, "3.00"}, {0x01, "2.09 0123456789A"},
  };
  for (const auto& [selector, version] : expected) {
    std::string text;
    EXPECT_EQ(Version(selector, text), ResultOk);
    EXPECT_EQ(text, version) << static_cast<int>(selector);
  }
  m_device.SetVersion(0x21, "2.10 and more than sixteen");
  std::string text;
  EXPECT_EQ(Version(0x21, text), ResultOk);
  EXPECT_EQ(text, "2.10 and more th");

  Block block{};
  block[0] = 0x05;
  StatusPair pair;
  EXPECT_EQ(Run(0x0B, block, &pair), ResultDeviceError);
  EXPECT_EQ(pair.status, SIM_STATUS_BAD_ARGUMENT);
}

TEST_F(SimDeviceTest, AddressedTransfersWriteAndReadAMemoryPerMessage) {
  Bytes written = Ramp(0x01, 300);
  Block block{};
  const auto address = [&block](uint32_t at, uint16_t count) {
    WriteLe16(block.data() + 4, static_cast<uint16_t>(at));
    WriteLe16(block.data() + 6, static_cast<uint16_t>(at >> 16));
    WriteLe16(block.data() + 8, count);
  };
  address(0x00011000, 300);
  SetCallerBuffer(block.data(), 0x76, written.data());
  ASSERT_EQ(Run(0x76, block), ResultOk);
  EXPECT_EQ(m_device.ReadMemory(0x0800, 0x00011000, 300), written);

  Bytes read(100, 0xEE);
  address(0x00011080, 100);
  SetCallerBuffer(block.data(), 0x77, read.data());
  ASSERT_EQ(Run(0x77, block), ResultOk);
  EXPECT_EQ(read, Bytes(written.begin() + 0x80, written.begin() + 0x80 + 100));

  // 0x7B reads the other memory, untouched so far.
  SetCallerBuffer(block.data(), 0x7B, read.data());
  ASSERT_EQ(Run(0x7B, block), ResultOk);
  EXPECT_EQ(read, Bytes(100, 0));
}

TEST_F(SimDeviceTest, EveryCommandOfTheCatalogueIsAnswered) {
  Bytes buffer(2048, 0);
  Bytes raw = Hex("02 06 00 21 00 00 00 00") + Bytes(40, 0);
  size_t sent = 0;
  for (const CommandRow& row : kCommandCatalogue) {
    if (row.family == CommandFamily::Reserved || row.family == CommandFamily::WriteFirmware ||
        row.family == CommandFamily::WriteSiamImage) {
      continue;
    }
    SCOPED_TRACE(static_cast<int>(row.number));
    Block block{};
    block[8] = 16;  // the addressed transfers move 16 bytes
    SetCallerBuffer(block.data(), row.number, buffer.data());
    if (row.family == CommandFamily::Raw) {
      SetCallerBuffer(block.data(), row.number, raw.data());
      SetRawSize(block.data(), static_cast<uint32_t>(raw.size()));
    }
    EXPECT_EQ(Run(row.number, block), ResultOk);
    ++sent;
  }
  EXPECT_EQ(m_device.Requests().size(), sent);
  EXPECT_EQ(Bytes(raw.begin() + 8, raw.begin() + 12), Hex("32 2E 30 35"));  // "2.05"
}

TEST_F(SimDeviceTest, AMessageItDoesNotKnowGetsAnErrorStatus) {
  Bytes raw = Hex("02 34 12 00 00 00 00 00") + Bytes(8, 0xEE);
  Block block{};
  SetCallerBuffer(block.data(), 0xA4, raw.data());
  SetRawSize(block.data(), static_cast<uint32_t>(raw.size()));
  StatusPair pair;
  EXPECT_EQ(Run(0xA4, block, &pair), ResultDeviceError);
  EXPECT_EQ(pair.status, SIM_STATUS_UNKNOWN_MESSAGE);
}

TEST_F(SimDeviceTest, FaultsSpoilTheAnswerOfTheRequestsTheyHit) {
  const struct {
    const char* name;
    SimFault fault;
    ProtocolResult result;
    StatusPair pair;
  } cases[] = {
      {"no answer", {.kind = SimFaultKind::NoAnswer}, ResultTransferFailed, {}},
      {"wrong type",
       {.kind = SimFaultKind::WrongType, .messageId = 0x0006, .value = MSG_SET_REPLY},
       ResultUnexpectedResponse,
       {}},
      {"wrong id", {.kind = SimFaultKind::WrongId, .messageId = 0x0006, .value = 0x0007}, ResultUnexpectedResponse, {}},
      {"wrong length", {.kind = SimFaultKind::WrongLength, .value = 15}, ResultUnexpectedResponse, {}},
      {"status error",
       {.kind = SimFaultKind::StatusError, .messageId = 0x0006, .value = 0x03, .detail = 0x09},
       ResultDeviceError,
       {0x03, 0x09}},
      {"a completion instead",
       {.kind = SimFaultKind::NotifyInstead, .messageId = 0x0006, .payload = {4, 0}},
       ResultUnexpectedResponse,
       {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    m_device.AddFault(c.fault);
    Block block{};
    block[0] = 0x21;
    const Block before = block;
    StatusPair pair{-1, -1};
    {
      std::optional<ScopedScaledBounds> scaled;
      if (c.result == ResultTransferFailed) {
        scaled.emplace(m_clock);
      }
      EXPECT_EQ(Run(0x0B, block, &pair), c.result);
    }
    EXPECT_EQ(block, before);
    if (c.result != ResultTransferFailed) {
      EXPECT_EQ(pair.status, c.pair.status);
      EXPECT_EQ(pair.detail, c.pair.detail);
    }
    // Used up: the next query is answered.
    std::string text;
    EXPECT_EQ(Version(0x21, text), ResultOk);
    EXPECT_EQ(text, "2.05");
  }
}

TEST_F(SimDeviceTest, AFaultHitsOnlyItsMessageAndAsOftenAsItSays) {
  m_device.AddFault(SimFault{.kind = SimFaultKind::StatusError, .messageId = 0x0001, .times = 2, .value = 0x01});
  std::string text;
  EXPECT_EQ(Version(0x21, text), ResultOk);
  Block block{};
  EXPECT_EQ(Run(0x01, block), ResultDeviceError);
  EXPECT_EQ(Run(0x01, block), ResultDeviceError);
  EXPECT_EQ(Run(0x01, block), ResultOk);

  m_device.AddFault(SimFault{.kind = SimFaultKind::NoAnswer, .messageId = 0x0002, .times = -1});
  {
    const auto scaled = ScaledTimeOuts();
    EXPECT_EQ(Run(0x03, block), ResultTransferFailed);
    EXPECT_EQ(Run(0x04, block), ResultTransferFailed);
  }
  m_device.ClearFaults();
  EXPECT_EQ(Run(0x04, block), ResultOk);
}

TEST_F(SimDeviceTest, UnplugOnARequestLeavesTheBusAndTheChannelReportsIt) {
  m_device.AddFault(SimFault{.kind = SimFaultKind::Unplug, .messageId = 0x0001});
  Block block{};
  EXPECT_EQ(Run(0x01, block), ResultChannelClosed);
  EXPECT_FALSE(m_device.IsPlugged());
  const std::vector<std::pair<int32_t, int32_t>> linkLost{{NOTIFY_LINK_LOST, 0}};
  EXPECT_EQ(CallbackLog::Notifications(), linkLost);

  m_device.Plug();
  m_channel = Open();
  ASSERT_NE(m_channel, nullptr);
  EXPECT_EQ(Run(0x01, block), ResultOk);
}

TEST_F(SimDeviceTest, ALateAnswerArrivesWithinALongTimeOutOnly) {
  // The answer's delay against the command's time-out is the point here, so both are
  // scaled, but only tenfold: each answer comes just past the next shorter time-out and stays
  // at least 9 clock seconds (900 ms) short of its own, a margin a busy machine keeps (at
  // fiftyfold, 180 ms was once missed while several builds ran).
  ScaledClock slower(10.0, Bounds::Scaled);
  ScopedClock scoped(slower);
  const struct {
    int32_t command;
    uint16_t id;
    uint32_t delayMs;
    ProtocolResult result;
  } cases[] = {
      {0x07, 0x0003, 15000, ResultTransferFailed},  // 5 s
      {0x98, 0x0B04, 6000, ResultOk},               // 20 s
      {0x77, 0x0800, 21000, ResultOk},              // 30 s
      {0x09, 0x0004, 31000, ResultOk},              // 60 s
      {0x76, 0x0800, 61000, ResultOk},              // 120 s
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.command);
    m_device.AddFault(
        SimFault{.kind = SimFaultKind::LateAnswer, .messageId = c.id, .value = static_cast<int32_t>(c.delayMs)});
    Block block{};
    EXPECT_EQ(Run(c.command, block), c.result);
    // A reply that came too late must have been handled before the next request goes out.
    ASSERT_TRUE(m_device.WaitIdle());
    const size_t notifications = CallbackLog::Notifications().size();
    m_device.SendNotification(Hex("01 00"));
    ASSERT_TRUE(CallbackLog::WaitNotifications(notifications + 1));
  }
}

TEST_F(SimDeviceTest, NotificationsAndTextMessagesGoOutOnDemand) {
  m_device.SendNotification(Hex("03 12 34"));
  ASSERT_TRUE(CallbackLog::WaitNotifications(1));
  EXPECT_EQ(CallbackLog::Notifications()[0], std::make_pair(2, 0x1234));

  Block block{};
  block[0] = 1;
  SetTextCallback(block.data(), &CallbackLog::OnText);
  ASSERT_EQ(Run(0x25, block), ResultOk);
  EXPECT_TRUE(m_device.TextEnabled());
  const std::string longText(150, 't');
  m_device.SendText(6, longText);
  m_device.SendNotification(Hex("01 00"));  // arrives after the text
  ASSERT_TRUE(CallbackLog::WaitNotifications(2));
  EXPECT_EQ(CallbackLog::Texts(), (std::vector<CallbackLog::Text>{{6, longText, 151}}));

  block[0] = 0;
  ASSERT_EQ(Run(0x25, block), ResultOk);
  EXPECT_FALSE(m_device.TextEnabled());
}

TEST_F(SimDeviceTest, TextMessagesGoOutOnlyWhileSwitchedOn) {
  // A second handle on the device sees every report it sends, whatever the channel makes of it.
  std::vector<std::string> paths;
  ASSERT_TRUE(m_bus.Enumerate(paths));
  ASSERT_EQ(paths.size(), 1u);
  const auto listener = m_bus.Open(paths[0]);
  ASSERT_NE(listener, nullptr);
  // Whether a text report came before the notification that follows it.
  auto textSent = [&] {
    m_device.SendText(6, "hello");
    m_device.SendNotification(Hex("01 00"));
    bool text = false;
    std::array<uint8_t, kReportSize + 1> report{};
    for (;;) {
      HidIo io = listener->StartRead(report.data());
      if (io == HidIo::Pending) {
        io = listener->WaitRead(5000);
      }
      if (io != HidIo::Done) {
        ADD_FAILURE() << "the notification never came";
        return text;
      }
      const uint8_t kind = report[1] & 0xF0;
      text = text || kind == 0xA0;
      if (kind == 0x90) {
        return text;
      }
    }
  };
  const struct {
    const char* name;
    std::optional<uint8_t> textSwitch;  // value sent with command 0x25 first
    bool sent;
  } cases[] = {
      {"never switched on", std::nullopt, false},
      {"switched on", 1, true},
      {"switched off again", 0, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.textSwitch.has_value()) {
      Block block{};
      block[0] = *c.textSwitch;
      SetTextCallback(block.data(), &CallbackLog::OnText);
      ASSERT_EQ(Run(0x25, block), ResultOk);
    }
    EXPECT_EQ(textSent(), c.sent);
  }
}

}  // namespace
}  // namespace qx80::test
