// Commands 0x88 and 0x9F through a real channel to the simulated QX-80 in update mode: what
// goes on the wire, the attempt counts, the progress, and every way the transfer ends.
#include "protocol/firmware_transfer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <map>
#include <memory>
#include <vector>

#include "firmware/crc16.h"
#include "firmware/file_bytes.h"
#include "protocol/parameter_block.h"
#include "sim/sim_qx80_device.h"
#include "tests/support/bound_recording_clock.h"
#include "tests/support/channel_test_support.h"
#include "tests/support/image_builder.h"

namespace qx80::test {
namespace {

using Block = std::array<uint8_t, kParameterBlockSize>;

constexpr uint32_t kCarriedUamcSize = 2721152;

Bytes LittleEndian(uint32_t value, size_t count) {
  Bytes bytes;
  for (size_t i = 0; i < count; ++i) {
    bytes.push_back(static_cast<uint8_t>(value >> (8 * i)));
  }
  return bytes;
}

// Time runs 1000 times faster. An answer that should come is waited for; the cases whose
// outcome is a time-out scale it (a 5 s time-out passes in 5 ms).
class FirmwareTransferTest : public ::testing::Test {
 protected:
  FirmwareTransferTest() : m_scopedClock(m_clock), m_backend(m_bus) {}

  // Also starts each case of a table afresh: a new device and a new channel.
  void SetUp() override {
    m_channel.reset();
    m_device.reset();
    CallbackLog::Clear();
    SimQx80Config config;
    config.productId = QX80_PRODUCT_UPDATE;
    m_device = std::make_unique<SimQx80Device>(m_bus, config);
    m_device->KeepRequests();
    m_channel = CDeviceProtocol::Create(CHANNEL_MODE_UPDATE, &CallbackLog::Notify);
    ASSERT_NE(m_channel, nullptr);
  }

  // Every way out clears the transfer flag.
  ProtocolResult Write(Bytes& image) {
    Block block{};
    SetFirmSection(block.data(), FirmSection{image.data(), static_cast<uint32_t>(image.size()), &RecordProgress, this});
    const ProtocolResult result = m_channel->Execute(CMD_WRITE_FIRMWARE, block.data(), nullptr);
    EXPECT_FALSE(m_channel->IsTransferActive());
    return result;
  }

  ProtocolResult WriteSiam(const Bytes& image, const std::vector<uint8_t>& targets) {
    SiamWriteParams params{image.data(), static_cast<uint32_t>(image.size()), {}, 0, &RecordProgress, this};
    for (const uint8_t target : targets) {
      params.targets[params.targetCount++] = target;
    }
    Block block{};
    SetSiamWriteParams(block.data(), params);
    const ProtocolResult result = m_channel->Execute(CMD_WRITE_SIAM_IMAGE, block.data(), nullptr);
    EXPECT_FALSE(m_channel->IsTransferActive());
    return result;
  }

  std::vector<Bytes> Requests(uint16_t id) const {
    std::vector<Bytes> found;
    for (const Bytes& request : m_device->Requests()) {
      if (ReadHeader(request.data()).id == id) {
        found.push_back(request);
      }
    }
    return found;
  }

  // Records the progress; from `m_scaleTimeOutsAt` on, the rest of the transfer times out
  // scaled (the steps before it were answered in their own time).
  static void RecordProgress(int percent, void* userData) {
    auto* self = static_cast<FirmwareTransferTest*>(userData);
    self->m_progress.push_back(percent);
    if (percent == self->m_scaleTimeOutsAt) {
      self->m_clock.SetBounds(Bounds::Scaled);
    }
  }

  void TearDown() override { m_clock.SetBounds(Bounds::Real); }

  int m_scaleTimeOutsAt = -1;
  ScaledClock m_clock{1000.0, Bounds::Real};
  ScopedClock m_scopedClock;
  SimHidBus m_bus;
  ScopedHidBackend m_backend;
  std::unique_ptr<SimQx80Device> m_device;
  std::unique_ptr<CDeviceProtocol> m_channel;
  std::vector<int> m_progress;
};

TEST_F(FirmwareTransferTest, BlocksOnTheWireAndProgressFollowTheImageSize) {
  struct Case {
    uint32_t size;
    std::vector<uint32_t> blocks;
    std::vector<int> progress;
  };
  const Case cases[] = {
      {4096, {4096}, {21, 98, 100}},
      {4097, {4096, 1}, {21, 97, 98, 100}},
      {1000, {1000}, {21, 98, 100}},
      {3 * 4096, {4096, 4096, 4096}, {21, 46, 72, 98, 100}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.size);
    SetUp();
    m_progress.clear();
    Bytes image = BuildHeaderImage(FIRM_KIND_FWUP, c.size);
    ASSERT_EQ(Write(image), ResultOk);
    EXPECT_EQ(m_progress, c.progress);

    const auto begins = Requests(MSG_FIRM_BEGIN);
    ASSERT_EQ(begins.size(), 1u);
    const uint16_t crc = Crc16(image);
    const Bytes expectedBegin = Hex("00 00 09 00 00 00 07 00 02") + LittleEndian(c.size, 4) + LittleEndian(crc, 2);
    EXPECT_EQ(begins[0], expectedBegin);
    const auto blocks = Requests(MSG_FIRM_BLOCK);
    ASSERT_EQ(blocks.size(), c.blocks.size());
    uint32_t offset = 0;
    for (size_t i = 0; i < blocks.size(); ++i) {
      const uint32_t n = c.blocks[i];
      const Bytes& request = blocks[i];
      ASSERT_EQ(request.size(), n + 14);
      EXPECT_EQ(ReadHeader(request.data()).length, n + 6);
      EXPECT_EQ(ReadLe32(request.data() + 8), offset);
      EXPECT_EQ(ReadLe16(request.data() + 12), Crc16(image.data() + offset, n));
      EXPECT_TRUE(std::equal(request.begin() + 14, request.end(), image.begin() + offset));
      offset += n;
    }
    EXPECT_EQ(Requests(MSG_FIRM_END), std::vector<Bytes>{Hex("00 03 09 00 00 00 00 00")});
    const auto written = m_device->Transfer().Written(FIRM_KIND_FWUP);
    ASSERT_TRUE(written.has_value());
    EXPECT_EQ(written->bytes, image);
    EXPECT_EQ(written->version, "2.09");
  }
}

TEST_F(FirmwareTransferTest, EachKindGoesToItsTargetAndItsEndWaitsItsOwnTimeOut) {
  // The waits of this thread are recorded, so that the end's time-out is seen exactly.
  BoundRecordingClock recording(m_clock);
  ScopedClock scopedRecording(recording);
  const struct {
    Bytes image;
    uint8_t targetCode;
    uint32_t endTimeoutMs;
  } kinds[] = {
      {BuildTipaImage({}), 0, 39240},
      {BuildHeaderImage(FIRM_KIND_UAMC, 0x400), 3, 391500},
      {BuildHeaderImage(FIRM_KIND_FWUP, 0x400), 2, 78480},
      {BuildHeaderImage(FIRM_KIND_FQI, 0x400), 4, 235340},
      {BuildAgpfImage(0x400), 1, 39240},
  };
  for (size_t kind = 0; kind < std::size(kinds); ++kind) {
    SCOPED_TRACE(kind);
    SetUp();
    Bytes image = kinds[kind].image;
    recording.Clear();
    ASSERT_EQ(Write(image), ResultOk);
    const auto begins = Requests(MSG_FIRM_BEGIN);
    ASSERT_EQ(begins.size(), 1u);
    ASSERT_EQ(begins[0].size(), 15u);
    EXPECT_EQ(begins[0][8], kinds[kind].targetCode);
    // The end's wait is the transfer's last.
    const auto asked = recording.Asked();
    ASSERT_FALSE(asked.empty());
    EXPECT_EQ(asked.back(), kinds[kind].endTimeoutMs);
  }
  // Nothing of the channel or the device may use the recording clock once it is gone.
  m_channel.reset();
  m_device.reset();
}

TEST_F(FirmwareTransferTest, AttemptsPerPhaseAndTheResultWhenTheyRunOut) {
  const auto reply = [](SimFaultKind kind, int32_t value = 0) { return SimFault{.kind = kind, .value = value}; };
  struct Case {
    const char* name;
    TransferFault fault;
    ProtocolResult result;
    size_t begins, blocks, ends;
    bool timesOut;  // its outcome is a time-out: scaled (a lost reply answered later waits its real 5 s)
  };
  // A three-block image; block 1 is the middle one.
  const Case cases[] = {
      {"begin unanswered 3 times",
       {TransferPhase::Begin, -1, 3, TransferFaultKind::Reply, reply(SimFaultKind::NoAnswer)},
       ResultWriteFailed,
       3,
       0,
       0,
       true},
      {"begin refused twice",
       {TransferPhase::Begin, -1, 2, TransferFaultKind::Reply, reply(SimFaultKind::StatusError, 1)},
       ResultOk,
       3,
       3,
       1,
       false},
      {"block with length 0 four times",
       {TransferPhase::Block, 1, 4, TransferFaultKind::Reply, reply(SimFaultKind::WrongLength, 0)},
       ResultOk,
       1,
       7,
       1,
       false},
      {"block with length 0 five times",
       {TransferPhase::Block, 1, 5, TransferFaultKind::Reply, reply(SimFaultKind::WrongLength, 0)},
       ResultWriteFailed,
       1,
       6,
       0,
       false},
      {"block reply with a wrong id five times",
       {TransferPhase::Block, 0, 5, TransferFaultKind::Reply, reply(SimFaultKind::WrongId, 0x0902)},
       ResultWriteFailed,
       1,
       5,
       0,
       false},
      {"block reply lost once",
       {TransferPhase::Block, 2, 1, TransferFaultKind::Reply, reply(SimFaultKind::NoAnswer)},
       ResultOk,
       1,
       4,
       1,
       false},
      {"last block status 1",
       {TransferPhase::Block, 2, 1, TransferFaultKind::BlockStatus, {}, 1},
       ResultWriteFailed,
       1,
       3,
       0,
       false},
      {"earlier block status 1 ignored",
       {TransferPhase::Block, 0, 1, TransferFaultKind::BlockStatus, {}, 1},
       ResultOk,
       1,
       3,
       1,
       false},
      {"end with a wrong type 4 times",
       {TransferPhase::End, -1, 4, TransferFaultKind::Reply, reply(SimFaultKind::WrongType, 3)},
       ResultOk,
       1,
       3,
       5,
       false},
      {"end refused 5 times",
       {TransferPhase::End, -1, 5, TransferFaultKind::Reply, reply(SimFaultKind::StatusError, 1)},
       ResultFinishFailed,
       1,
       3,
       5,
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    m_clock.SetBounds(c.timesOut ? Bounds::Scaled : Bounds::Real);
    m_device->Transfer().AddFault(c.fault);
    Bytes image = BuildHeaderImage(FIRM_KIND_UAMC, 3 * 4096);
    EXPECT_EQ(Write(image), c.result);
    EXPECT_EQ(Requests(MSG_FIRM_BEGIN).size(), c.begins);
    EXPECT_EQ(Requests(MSG_FIRM_BLOCK).size(), c.blocks);
    EXPECT_EQ(Requests(MSG_FIRM_END).size(), c.ends);
    m_device->Transfer().ClearFaults();
  }
}

TEST_F(FirmwareTransferTest, EndWaitsTheKindsFullTimeOutOnEveryAttempt) {
  m_device->Transfer().AddFault(
      {TransferPhase::End, -1, -1, TransferFaultKind::Reply, {.kind = SimFaultKind::NoAnswer}});
  Bytes image = BuildHeaderImage(FIRM_KIND_UAMC, 0x400);
  m_scaleTimeOutsAt = 98;  // the blocks are written
  const uint32_t start = GetClock().TickCount();
  EXPECT_EQ(Write(image), ResultFinishFailed);
  EXPECT_GE(TicksSince(start, GetClock().TickCount()), 5u * kFirmTargets[FIRM_KIND_UAMC].endTimeoutMs);
  EXPECT_EQ(Requests(MSG_FIRM_END).size(), 5u);
  EXPECT_EQ(m_progress, (std::vector<int>{21, 98}));
}

TEST_F(FirmwareTransferTest, ImagesTheCommandDoesNotWriteAreRefusedBeforeAnythingIsSent) {
  Bytes uamc = BuildHeaderImage(FIRM_KIND_UAMC, 0x400);
  Bytes siam = BuildSiamImage(uamc);
  Bytes broken = uamc;
  broken[0x300] ^= 0x01;
  Bytes unknown(0x400, 0x5A);
  EXPECT_EQ(Write(siam), ResultImageRejected);
  EXPECT_EQ(Write(unknown), ResultImageRejected);
  EXPECT_EQ(Write(broken), ResultImageChecksum);
  EXPECT_EQ(WriteSiam(uamc, {1}), ResultImageRejected);
  EXPECT_EQ(m_channel->Execute(CMD_WRITE_FIRMWARE, nullptr, nullptr), ResultBadParameter);
  EXPECT_EQ(m_channel->Execute(CMD_WRITE_SIAM_IMAGE, nullptr, nullptr), ResultBadParameter);
  Block block{};
  SetSiamWriteParams(block.data(), SiamWriteParams{siam.data(), static_cast<uint32_t>(siam.size()), {}, 9});
  EXPECT_EQ(m_channel->Execute(CMD_WRITE_SIAM_IMAGE, block.data(), nullptr), ResultBadParameter);
  SetFirmSection(block.data(), FirmSection{nullptr, 0x400});
  EXPECT_EQ(m_channel->Execute(CMD_WRITE_FIRMWARE, block.data(), nullptr), ResultBadParameter);
  EXPECT_TRUE(m_device->Requests().empty());
  EXPECT_TRUE(m_progress.empty());
}

TEST_F(FirmwareTransferTest, UnplugDuringTheBlocksEndsWithChannelClosedAndNoLinkLostNotice) {
  m_device->Transfer().AddFault({TransferPhase::Block, 1, 1, TransferFaultKind::Reply, {.kind = SimFaultKind::Unplug}});
  Bytes image = BuildHeaderImage(FIRM_KIND_UAMC, 3 * 4096);
  EXPECT_EQ(Write(image), ResultChannelClosed);
  EXPECT_EQ(Requests(MSG_FIRM_BLOCK).size(), 2u);
  EXPECT_TRUE(CallbackLog::Notifications().empty());
}

TEST_F(FirmwareTransferTest, LinkLostAfterATransferIsReportedAgain) {
  Bytes image = BuildHeaderImage(FIRM_KIND_UAMC, 0x400);
  ASSERT_EQ(Write(image), ResultOk);
  m_device->Unplug();
  ASSERT_TRUE(CallbackLog::WaitNotifications(1));
  EXPECT_EQ(CallbackLog::Notifications().front(), std::make_pair(NOTIFY_LINK_LOST, 0));
}

TEST_F(FirmwareTransferTest, SiamInstallAndItsCompletion) {
  struct Case {
    const char* name;
    std::vector<TransferFault> faults;
    uint32_t completionDelayMs;
    ProtocolResult result;
    std::vector<uint8_t> installed;
    size_t installs;
  };
  const Case cases[] = {
      {"completion in time", {}, 200, ResultOk, {7, 9}, 2},
      {"completion before the wait starts", {}, 0, ResultOk, {7, 9}, 2},
      {"completion too late",
       {{TransferPhase::Install, 9, 1, TransferFaultKind::LateCompletion, {}, 90000}},
       200,
       ResultTransferFailed,
       {7, 9},
       2},
      {"completion with a failure",
       {{TransferPhase::Install, 7, 1, TransferFaultKind::BadCompletion, {}, 3}},
       200,
       ResultFinishFailed,
       {7},
       1},
      {"install refused once",
       {{TransferPhase::Install, 7, 1, TransferFaultKind::Reply, {.kind = SimFaultKind::StatusError, .value = 1}}},
       200,
       ResultOk,
       {7, 9},
       3},
      {"install refused twice",
       {{TransferPhase::Install, 9, 2, TransferFaultKind::Reply, {.kind = SimFaultKind::WrongLength, .value = 2}}},
       200,
       ResultFinishFailed,
       {7},
       3},
  };
  const Bytes payload = RandomBytes(5000, 3);
  const Bytes siam = BuildSiamImage(payload);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    m_progress.clear();
    m_device->Transfer().SetTiming({.completionDelayMs = c.completionDelayMs});
    // Only the late completion's wait is the outcome: the blocks before it are answered in
    // their own time, whatever the machine's load.
    m_clock.SetBounds(Bounds::Real);
    m_scaleTimeOutsAt = c.result == ResultTransferFailed ? 98 : -1;
    for (const TransferFault& fault : c.faults) {
      m_device->Transfer().AddFault(fault);
    }
    EXPECT_EQ(WriteSiam(siam, {7, 9}), c.result);
    EXPECT_EQ(m_device->Transfer().InstalledTargets(), c.installed);
    EXPECT_EQ(Requests(MSG_SIAM_INSTALL).size(), c.installs);
    EXPECT_EQ(m_device->Transfer().SiamPayload(), payload);
    EXPECT_EQ(m_progress.back(), c.result == ResultOk ? 100 : 98);
    const auto begins = Requests(MSG_SIAM_BEGIN);
    ASSERT_EQ(begins.size(), 1u);
    const Bytes expectedBegin = Hex("00 08 0D 00 00 00 06 00 88 13 00 00") + LittleEndian(Crc16(payload), 2);
    EXPECT_EQ(begins[0], expectedBegin);
    ASSERT_TRUE(m_device->WaitIdle());
  }
}

TEST_F(FirmwareTransferTest, SiamWithoutTargetsSendsOnlyThePayload) {
  const Bytes siam = BuildSiamImage(RandomBytes(100, 4));
  EXPECT_EQ(WriteSiam(siam, {}), ResultOk);
  EXPECT_EQ(Requests(MSG_SIAM_BLOCK).size(), 1u);
  EXPECT_TRUE(Requests(MSG_SIAM_INSTALL).empty());
  EXPECT_EQ(m_progress, (std::vector<int>{21, 98, 100}));
}

TEST_F(FirmwareTransferTest, CarriedMainImageGoesThroughAndBecomesThePendingVersion) {
  auto package = ReadWholeFile(QX80_FIRMWARE_PACKAGE_PATH);
  ASSERT_TRUE(package.has_value());
  ASSERT_GT(package->size(), kCarriedUamcSize);
  Bytes image(package->begin(), package->begin() + kCarriedUamcSize);

  const auto started = std::chrono::steady_clock::now();
  ASSERT_EQ(Write(image), ResultOk);
  const auto elapsed =
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started);
  RecordProperty("transfer_ms", static_cast<int>(elapsed.count()));

  EXPECT_EQ(Requests(MSG_FIRM_BEGIN), std::vector<Bytes>{Hex("00 00 09 00 00 00 07 00 03 80 85 29 00 60 53")});
  const auto blocks = Requests(MSG_FIRM_BLOCK);
  ASSERT_EQ(blocks.size(), 665u);
  EXPECT_EQ(Bytes(blocks[0].begin(), blocks[0].begin() + 14), Hex("00 01 09 00 00 00 06 10 00 00 00 00 7A B0"));
  EXPECT_EQ(blocks.back().size(), 1408u + 14);
  EXPECT_EQ(m_progress.front(), 21);
  EXPECT_EQ(m_progress.back(), 100);
  EXPECT_EQ(m_device->Transfer().PendingVersions(), (std::map<FirmKind, std::string>{{FIRM_KIND_UAMC, "2.09"}}));
  EXPECT_EQ(m_device->Transfer().Written(FIRM_KIND_UAMC)->bytes, image);
}

// The device answers the install and sends its completion at once: the completion may reach
// the channel before the install reply has been taken, and must wait behind it.
TEST(FirmwareTransferCompletionTest, ACompletionRightBehindTheInstallReplyIsNotLost) {
  ScaledClock clock{100.0, Bounds::Real};
  ScopedClock scopedClock(clock);
  SimHidBus bus;
  ScopedHidBackend backend(bus);
  ScriptedDevice device(bus);
  device.Respond([](const Bytes& request) {
    const MessageHeader header = ReadHeader(request.data());
    if (header.id == MSG_SIAM_BLOCK) {
      return Reply(MSG_SET_REPLY, header.id, {SIM_BLOCK_OK});
    }
    std::vector<Report> reports = Reply(MSG_SET_REPLY, header.id);
    if (header.id == MSG_SIAM_INSTALL) {
      reports.push_back(FrameNotification(Bytes{NOTIFY_SUBKIND_COMPLETION, 0}));
    }
    return reports;
  });
  auto channel = CDeviceProtocol::Create(CHANNEL_MODE_NORMAL, &CallbackLog::Notify);
  ASSERT_NE(channel, nullptr);
  const Bytes siam = BuildSiamImage(RandomBytes(64, 9));
  SiamWriteParams params{siam.data(), static_cast<uint32_t>(siam.size()), {1, 2, 3, 4, 5, 6, 7, 8}, 8};
  Block block{};
  SetSiamWriteParams(block.data(), params);
  for (int run = 0; run < 20; ++run) {
    ASSERT_EQ(channel->Execute(CMD_WRITE_SIAM_IMAGE, block.data(), nullptr), ResultOk) << run;
  }
}

}  // namespace
}  // namespace qx80::test
