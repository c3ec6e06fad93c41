// One transaction on the channel: framing of the request, reassembly of the response,
// the reply's status, link loss and late responses.
#include <gtest/gtest.h>

#include <array>

#include "protocol/device_protocol.h"
#include "protocol/parameter_block.h"
#include "tests/support/channel_test_support.h"

namespace qx80::test {
namespace {

constexpr uint32_t kLongWaitMs = 600000;  // long enough for any machine, returns when answered

class TransactionTest : public OpenChannelTest {
 protected:
  // A request message of `length` bytes (at least a header) with a distinct byte everywhere.
  static Bytes Request(uint32_t length) {
    Bytes request = Ramp(0x10, length);
    WriteHeader(request.data(), MessageHeader{MSG_GET_REQUEST, 0x0006, 0x21, 0, 0, static_cast<uint16_t>(length - 8)});
    return request;
  }

  ProtocolResult Send(const Bytes& request, uint32_t timeoutMs = kLongWaitMs) {
    return m_channel->Transact(request.data(), static_cast<uint32_t>(request.size()), timeoutMs);
  }

  // After a transaction that timed out: once the receive thread has handled everything the
  // device sent (a notification sent last has arrived), no response may be waiting.
  void ExpectNothingDelivered(size_t notificationsBefore = 0) {
    m_device.Push({MakeReport(Hex("90 01 EE"))});
    ASSERT_TRUE(CallbackLog::WaitNotifications(notificationsBefore + 1));
    EXPECT_EQ(m_channel->WaitResponse(0), ResultTransferFailed);
  }

  ScriptedDevice m_device{m_bus};
};

TEST_F(TransactionTest, RequestsAreCutInto63ByteReportsWithTheRestZeroFilled) {
  m_device.Respond(AcknowledgeAll);
  const auto middles = [](size_t n) {
    Bytes kinds{REPORT_REQUEST_FIRST};
    kinds.insert(kinds.end(), n, REPORT_REQUEST_MIDDLE);
    kinds.push_back(REPORT_REQUEST_LAST);
    return kinds;
  };
  const struct {
    uint32_t length;
    Bytes kinds;
  } cases[] = {
      {8, {0x80}},                // one report, 55 zeros
      {63, {0x80}},               // exactly one report, no fill
      {64, {0x80, 0x82}},         // the last carries 1 byte and 62 zeros
      {126, {0x80, 0x82}},        // two full reports, no middle
      {127, {0x80, 0x81, 0x82}},  // the last carries 1 byte
      {4110, middles(64)},        // a full firmware block: 66 reports, the last with 15 bytes
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.length);
    m_device.ClearRecords();
    const Bytes request = Request(c.length);
    ASSERT_EQ(Send(request), ResultOk);
    const auto written = m_device.Written();
    ASSERT_EQ(written.size(), c.kinds.size());
    Bytes payloads;
    for (size_t i = 0; i < written.size(); ++i) {
      EXPECT_EQ(written[i][0], c.kinds[i]) << "report " << i;
      payloads.insert(payloads.end(), written[i].begin() + 1, written[i].end());
    }
    EXPECT_EQ(Bytes(payloads.begin(), payloads.begin() + c.length), request);
    EXPECT_EQ(Bytes(payloads.begin() + c.length, payloads.end()), Bytes(payloads.size() - c.length, 0));
  }
}

TEST_F(TransactionTest, NothingToSendWritesNothing) {
  const Bytes request = Request(8);
  EXPECT_EQ(m_channel->Transact(request.data(), 0, 5000), ResultNothingToSend);
  EXPECT_TRUE(m_device.Written().empty());
}

TEST_F(TransactionTest, AWriteThatStallsEndsTheTransactionAndTheRestIsNotSent) {
  m_device.Respond(AcknowledgeAll);
  m_device.StallAfter(1);
  {
    const auto scaled = ScaledTimeOuts();
    EXPECT_EQ(Send(Request(127)), ResultTransferFailed);
  }
  EXPECT_EQ(m_device.Written().size(), 1u);

  // The device sees the next request from its start, not the rest of the failed one.
  m_bus.SetStallWrites(m_device.Id(), false);
  m_device.StallAfter(0);
  ASSERT_EQ(Send(Request(20)), ResultOk);
  const auto written = m_device.Written();
  ASSERT_EQ(written.size(), 2u);
  EXPECT_EQ(written[1][0], REPORT_REQUEST_FIRST);
  EXPECT_EQ(m_device.Requests().size(), 1u);
}

TEST_F(TransactionTest, AReportTheDeviceTakesTooLongToAcceptFailsTheRequestAndNeverArrives) {
  m_device.Respond(AcknowledgeAll);
  const struct {
    uint32_t delayMs;  // how long the device takes to accept each report
    ProtocolResult result;
    uint32_t leastElapsedMs;  // clock time the request takes at least
    size_t requestsSeen;
  } cases[] = {
      {0, ResultOk, 0, 1},
      {200, ResultOk, 200, 1},
      {450, ResultOk, 450, 1},
      // Gives up after 500 ms; the device would have accepted the report only after a minute.
      {60000, ResultTransferFailed, 500, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.delayMs);
    m_device.ClearRecords();
    m_bus.SetWriteDelay(m_device.Id(), c.delayMs);
    const uint32_t start = GetClock().TickCount();
    if (c.result == ResultOk) {
      EXPECT_EQ(Send(Request(20)), c.result);
    } else {
      const auto scaled = ScaledTimeOuts();
      EXPECT_EQ(Send(Request(20)), c.result);
    }
    EXPECT_GE(GetClock().TickCount() - start, c.leastElapsedMs);
    m_bus.SetWriteDelay(m_device.Id(), 0);
    // The next request goes through on its own: the cancelled report never reaches the device.
    ASSERT_EQ(Send(Request(20)), ResultOk);
    EXPECT_EQ(m_device.Requests().size(), c.requestsSeen + 1);
  }
}

TEST_F(TransactionTest, ResponsesAreReassembledFromTheirReports) {
  const Bytes fits = EncodeMessage(MessageHeader{MSG_GET_REPLY, 0x0006}, Ramp(0x40, 55));     // 63 bytes
  const Bytes spills = EncodeMessage(MessageHeader{MSG_GET_REPLY, 0x0006}, Ramp(0x40, 56));   // 64 bytes
  const Bytes longer = EncodeMessage(MessageHeader{MSG_GET_REPLY, 0x0007}, Ramp(0x60, 140));  // 3 reports
  const Bytes restart = EncodeMessage(MessageHeader{MSG_GET_REPLY, 0x0008}, Ramp(0x90, 70));  // 78 bytes
  const auto reports = [](const Bytes& message) { return Response(message); };
  const struct {
    const char* name;
    std::vector<Report> sent;
    const Bytes* expected;  // null: no response
  } cases[] = {
      {"length 55 completes in its first report", reports(fits), &fits},
      {"length 56 waits for its last report", {reports(spills)[0]}, nullptr},
      {"length 56 with its last report", reports(spills), &spills},
      {"middle and last without a first are ignored", {reports(longer)[1], reports(spills)[1]}, nullptr},
      {"a first after stray middles and lasts starts a response",
       {reports(longer)[1], reports(longer)[2], reports(fits)[0]},
       &fits},
      {"a new first restarts",
       {reports(longer)[0], reports(longer)[1], reports(restart)[0], reports(restart)[1]},
       &restart},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    CallbackLog::Clear();
    m_device.Respond([&c](const Bytes&) { return c.sent; });
    if (c.expected == nullptr) {
      const auto scaled = ScaledTimeOuts();
      EXPECT_EQ(Send(Request(8), 1000), ResultTransferFailed);
      ExpectNothingDelivered();
    } else {
      ASSERT_EQ(Send(Request(8)), ResultOk);
      ASSERT_GE(m_channel->ResponseLength(), c.expected->size());
      EXPECT_EQ(Bytes(m_channel->Response(), m_channel->Response() + c.expected->size()), *c.expected);
    }
  }
}

TEST_F(TransactionTest, AResponseBeyondTheReassemblyLimitIsDroppedAndTheCallerTimesOut) {
  for (const size_t middles : {size_t{1039}, size_t{1040}}) {
    SCOPED_TRACE(middles);
    CallbackLog::Clear();
    // 0x83, the middles, 0x85: 1041 reports (65583 bytes) fit, one more does not.
    std::vector<Report> sent{MakeReport(Hex("83 03 06 00 00 00 00 FF FF"))};
    sent.insert(sent.end(), middles, MakeReport(Bytes{REPORT_RESPONSE_MIDDLE} + Ramp(0x01, 63)));
    sent.push_back(MakeReport(Bytes{REPORT_RESPONSE_LAST} + Ramp(0x41, 63)));
    m_device.Respond([&sent](const Bytes&) { return sent; });
    if (middles == 1039) {
      ASSERT_EQ(Send(Request(8)), ResultOk);
      EXPECT_EQ(m_channel->ResponseLength(), kReassemblyLimit);
      EXPECT_EQ(m_channel->Response()[kReassemblyLimit - 1], 0x41 + 62);
    } else {
      const auto scaled = ScaledTimeOuts();
      EXPECT_EQ(Send(Request(8), 1000), ResultTransferFailed);
      ExpectNothingDelivered();
    }
  }
  // The channel goes on as before.
  m_device.Respond(AcknowledgeAll);
  EXPECT_EQ(Send(Request(8)), ResultOk);
}

TEST_F(TransactionTest, TheReplyStatusDecidesTheResultAndThePairReachesTheCaller) {
  const struct {
    uint8_t status;
    uint8_t detail;
    ProtocolResult result;
  } cases[] = {{0x00, 0x00, ResultOk}, {0xFE, 0x03, ResultOk}, {0x01, 0x07, ResultDeviceError}};
  std::array<uint8_t, kParameterBlockSize> block{};
  for (const auto& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.status));
    m_device.Respond([&c](const Bytes&) { return Reply(MSG_SET_REPLY, 0x0001, {}, c.status, c.detail); });
    StatusPair pair{-1, -1};
    EXPECT_EQ(m_channel->Execute(0x01, block.data(), &pair), c.result);
    EXPECT_EQ(pair.status, c.status);
    EXPECT_EQ(pair.detail, c.detail);
  }
  // Unknown numbers send nothing and still hand over the last pair.
  m_device.ClearRecords();
  for (const int32_t command : {165, -1}) {
    StatusPair pair;
    EXPECT_EQ(m_channel->Execute(command, block.data(), &pair), ResultUnknownCommand);
    EXPECT_EQ(pair.status, 0x01);
    EXPECT_EQ(pair.detail, 0x07);
  }
  EXPECT_TRUE(m_device.Written().empty());
}

TEST_F(TransactionTest, LosingTheLinkWhileWaitingEndsTheWaitAndIsReportedOnce) {
  m_device.Respond([this](const Bytes&) {
    m_device.Unplug();
    return std::vector<Report>{};
  });
  std::array<uint8_t, kParameterBlockSize> block{};
  EXPECT_EQ(m_channel->Execute(0x01, block.data(), nullptr), ResultChannelClosed);
  EXPECT_TRUE(m_channel->IsClosed());
  // Nothing can be written any more, and nothing more is reported.
  EXPECT_EQ(m_channel->Execute(0x01, block.data(), nullptr), ResultTransferFailed);
  const std::vector<std::pair<int32_t, int32_t>> once{{NOTIFY_LINK_LOST, 0}};
  EXPECT_EQ(CallbackLog::Notifications(), once);
}

TEST_F(TransactionTest, AResponseThatCameBeforeTheLinkWasLostIsStillTaken) {
  m_device.Push(Reply(MSG_SET_REPLY, 0x0001));
  m_device.Unplug();
  ASSERT_TRUE(CallbackLog::WaitNotifications(1));  // the link is lost, after the response
  EXPECT_EQ(m_channel->WaitResponse(0), ResultOk);
  EXPECT_EQ(ReadHeader(m_channel->Response()).id, 0x0001);
  // The receive thread marks the channel closed just after it reported the loss: wait for it.
  EXPECT_EQ(m_channel->WaitResponse(10000), ResultChannelClosed);
}

TEST_F(TransactionTest, ALinkLostDuringAFirmwareTransferIsNotReported) {
  m_device.Respond([this](const Bytes&) {
    m_device.Unplug();
    return std::vector<Report>{};
  });
  m_channel->SetTransferActive(true);
  EXPECT_EQ(Send(Request(8)), ResultChannelClosed);
  EXPECT_TRUE(CallbackLog::Notifications().empty());
}

TEST_F(TransactionTest, ALateResponseReleasesTheNextRequestWhoseHandlerRejectsIt) {
  // The version query goes unanswered; its reply comes while command 1 waits.
  m_device.Respond([](const Bytes& request) {
    return ReadHeader(request.data()).id == 0x0001 ? Reply(MSG_GET_REPLY, 0x0006, Ramp(0x30, 16))
                                                   : std::vector<Report>{};
  });
  std::array<uint8_t, kParameterBlockSize> block{};
  {
    const auto scaled = ScaledTimeOuts();
    EXPECT_EQ(m_channel->Execute(0x0B, block.data(), nullptr), ResultTransferFailed);
  }
  const auto before = block;
  EXPECT_EQ(m_channel->Execute(0x01, block.data(), nullptr), ResultUnexpectedResponse);
  EXPECT_EQ(block, before);
}

TEST_F(TransactionTest, AChannelOpensOnlyInAKnownModeOnAMatchingDevice) {
  EXPECT_EQ(CDeviceProtocol::Create(0, &CallbackLog::Notify), nullptr);
  EXPECT_EQ(CDeviceProtocol::Create(3, &CallbackLog::Notify), nullptr);
  EXPECT_EQ(CDeviceProtocol::Create(CHANNEL_MODE_UPDATE, &CallbackLog::Notify), nullptr);  // only 0x2A01 here
  ScriptedDevice alternate(m_bus);
  m_device.Unplug();
  m_bus.Reenumerate(alternate.Id(), QX80_PRODUCT_NORMAL_ALT);
  auto normal = Open();
  ASSERT_NE(normal, nullptr);
  m_bus.Reenumerate(alternate.Id(), QX80_PRODUCT_UPDATE);
  EXPECT_NE(CDeviceProtocol::Create(CHANNEL_MODE_UPDATE, &CallbackLog::Notify), nullptr);
}

}  // namespace
}  // namespace qx80::test
