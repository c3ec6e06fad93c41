// The simulated device's side of the firmware transfer, request by request: what it checks,
// what it keeps, and how its faults pick their phase, block and attempt.
#include "sim/sim_firmware_transfer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "firmware/crc16.h"
#include "protocol/firmware_transfer.h"
#include "tests/support/image_builder.h"

namespace qx80::test {
namespace {

using Answer = SimFirmwareTransfer::Answer;

constexpr uint8_t kBadArgument = 0x02;

void PutLe32(Bytes& bytes, uint32_t value) {
  for (int i = 0; i < 4; ++i) {
    bytes.push_back(static_cast<uint8_t>(value >> (8 * i)));
  }
}

void PutLe16(Bytes& bytes, uint16_t value) {
  bytes.push_back(static_cast<uint8_t>(value));
  bytes.push_back(static_cast<uint8_t>(value >> 8));
}

class SimFirmwareTransferTest : public ::testing::Test {
 protected:
  Answer Send(uint16_t id, const Bytes& data, uint8_t arg = 0) {
    return m_transfer.Handle(MessageHeader{MSG_SET_REQUEST, id, arg, 0, 0, static_cast<uint16_t>(data.size())}, data,
                             true);
  }

  Answer Begin(uint8_t target, uint32_t size, uint16_t crc) {
    Bytes data{target};
    PutLe32(data, size);
    PutLe16(data, crc);
    return Send(MSG_FIRM_BEGIN, data);
  }

  Answer SiamBegin(const Bytes& payload) {
    Bytes data;
    PutLe32(data, static_cast<uint32_t>(payload.size()));
    PutLe16(data, Crc16(payload));
    return Send(MSG_SIAM_BEGIN, data);
  }

  // Block reply's status byte, or -1 when the reply is not a one-byte block reply.
  int Block(const Bytes& image, uint32_t offset, uint32_t n, uint16_t id = MSG_FIRM_BLOCK, int crcDelta = 0) {
    Bytes data;
    PutLe32(data, offset);
    PutLe16(data, static_cast<uint16_t>(Crc16(image.data() + offset, n) + crcDelta));
    data.insert(data.end(), image.begin() + offset, image.begin() + offset + n);
    const Answer answer = Send(id, data);
    return answer.header.status == STATUS_OK && answer.data.size() == 1 ? answer.data[0] : -1;
  }

  // Begin and every block, all accepted.
  void SendWhole(FirmKind kind, const Bytes& image) {
    ASSERT_EQ(Begin(kFirmTargets[kind].code, static_cast<uint32_t>(image.size()), Crc16(image)).header.status,
              STATUS_OK);
    for (uint32_t offset = 0; offset < image.size(); offset += kFirmBlockSize) {
      ASSERT_EQ(Block(image, offset, std::min<uint32_t>(kFirmBlockSize, static_cast<uint32_t>(image.size()) - offset)),
                SIM_BLOCK_OK);
    }
  }

  SimFirmwareTransfer m_transfer;
};

TEST_F(SimFirmwareTransferTest, OutsideUpdateModeTheMessagesAreUnknown) {
  Bytes data{3, 0, 1, 0, 0, 0, 0};
  const Answer answer = m_transfer.Handle(MessageHeader{MSG_SET_REQUEST, MSG_FIRM_BEGIN, 0, 0, 0, 7}, data, false);
  EXPECT_NE(answer.header.status, STATUS_OK);
  EXPECT_EQ(answer.header.type, MSG_SET_REPLY);
  EXPECT_EQ(answer.header.id, MSG_FIRM_BEGIN);
}

TEST_F(SimFirmwareTransferTest, BeginIsCheckedForTargetSizeAndLength) {
  EXPECT_EQ(Begin(5, 0x1000, 0).header.status, kBadArgument);
  EXPECT_EQ(Begin(3, 0, 0).header.status, kBadArgument);
  EXPECT_EQ(Begin(3, 0x500001, 0).header.status, kBadArgument);
  EXPECT_EQ(Send(MSG_FIRM_BEGIN, Bytes{3, 0, 1, 0, 0, 0}).header.status, kBadArgument);
  EXPECT_EQ(Begin(3, 0x500000, 0).header.status, STATUS_OK);
}

TEST_F(SimFirmwareTransferTest, BlocksMustFollowEachOtherWithTheirOwnCrc) {
  const Bytes image = RandomBytes(3 * kFirmBlockSize, 5);
  EXPECT_EQ(Block(image, 0, kFirmBlockSize), SIM_BLOCK_BAD_OFFSET) << "before any begin";
  ASSERT_EQ(Begin(3, static_cast<uint32_t>(image.size()), Crc16(image)).header.status, STATUS_OK);
  EXPECT_EQ(Block(image, kFirmBlockSize, kFirmBlockSize), SIM_BLOCK_BAD_OFFSET) << "a gap";
  EXPECT_EQ(Block(image, 0, kFirmBlockSize, MSG_FIRM_BLOCK, 1), SIM_BLOCK_BAD_CRC);
  EXPECT_EQ(Block(image, 0, kFirmBlockSize, MSG_SIAM_BLOCK), SIM_BLOCK_BAD_OFFSET) << "the other exchange's block";
  EXPECT_EQ(Block(image, 0, kFirmBlockSize), SIM_BLOCK_OK);
  EXPECT_EQ(Block(image, 0, kFirmBlockSize), SIM_BLOCK_OK) << "sent again after a lost reply";
  EXPECT_EQ(Block(image, kFirmBlockSize, kFirmBlockSize), SIM_BLOCK_OK);
  EXPECT_EQ(Block(image, 0, kFirmBlockSize), SIM_BLOCK_BAD_OFFSET) << "not the last block any more";
  EXPECT_EQ(Send(MSG_FIRM_END, {}).header.status, kBadArgument) << "a block missing";
  EXPECT_EQ(Block(image, 2 * kFirmBlockSize, kFirmBlockSize), SIM_BLOCK_OK);

  const Answer end = Send(MSG_FIRM_END, {});
  EXPECT_EQ(end.header.status, STATUS_OK);
  ASSERT_TRUE(end.fault.has_value());
  EXPECT_EQ(end.fault->kind, SimFaultKind::LateAnswer);
  EXPECT_EQ(end.fault->value, 200);
  EXPECT_EQ(end.accepted, FIRM_KIND_UAMC);
  EXPECT_EQ(m_transfer.Written(FIRM_KIND_UAMC)->bytes, image);
  EXPECT_EQ(m_transfer.Written(FIRM_KIND_UAMC)->version, "") << "not an image the container accepts";
}

TEST_F(SimFirmwareTransferTest, EndRefusesAnImageWhoseWholeCrcDiffersFromTheBegin) {
  const Bytes image = RandomBytes(100, 6);
  ASSERT_EQ(Begin(2, 100, static_cast<uint16_t>(Crc16(image) ^ 1)).header.status, STATUS_OK);
  ASSERT_EQ(Block(image, 0, 100), SIM_BLOCK_OK);
  EXPECT_EQ(Send(MSG_FIRM_END, {}).header.status, kBadArgument);
  EXPECT_FALSE(m_transfer.Written(FIRM_KIND_FWUP).has_value());
  EXPECT_TRUE(m_transfer.PendingVersions().empty());
}

TEST_F(SimFirmwareTransferTest, EachKindIsKeptAsItsComponentWithItsVersionText) {
  struct Case {
    FirmKind kind;
    Bytes image;
    std::string version;
  };
  const Case cases[] = {
      {FIRM_KIND_TIPA, BuildTipaImage({.version = "0107"}), "0107"},
      {FIRM_KIND_UAMC, BuildHeaderImage({.kind = FIRM_KIND_UAMC, .size = 0x2100, .version = "3.10"}), "3.10"},
      {FIRM_KIND_FWUP, BuildHeaderImage({.kind = FIRM_KIND_FWUP, .size = 0x400, .version = "2.11"}), "2.11"},
      {FIRM_KIND_FQI, BuildHeaderImage({.kind = FIRM_KIND_FQI, .size = 0x400, .version = "1.02"}), "1.02"},
      {FIRM_KIND_AGPF, BuildAgpfImage(0x300, 0x34), "34"},
  };
  std::map<FirmKind, std::string> expected;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.kind);
    SendWhole(c.kind, c.image);
    EXPECT_EQ(Send(MSG_FIRM_END, {}).accepted, c.kind);
    ASSERT_TRUE(m_transfer.Written(c.kind).has_value());
    EXPECT_EQ(m_transfer.Written(c.kind)->version, c.version);
    expected[c.kind] = c.version;
  }
  EXPECT_EQ(m_transfer.TakePendingVersions(), expected);
  EXPECT_TRUE(m_transfer.PendingVersions().empty());
}

TEST_F(SimFirmwareTransferTest, SiamInstallNeedsTheWholePayloadAndIsFollowedByItsCompletion) {
  const Bytes payload = RandomBytes(5000, 7);
  ASSERT_EQ(SiamBegin(payload).header.status, STATUS_OK);
  ASSERT_EQ(Block(payload, 0, kFirmBlockSize, MSG_SIAM_BLOCK), SIM_BLOCK_OK);
  EXPECT_EQ(Send(MSG_SIAM_INSTALL, {}, 4).header.status, kBadArgument);
  EXPECT_EQ(Send(MSG_FIRM_END, {}).header.status, kBadArgument) << "the SIAM exchange has no end";
  ASSERT_EQ(Block(payload, kFirmBlockSize, 5000 - kFirmBlockSize, MSG_SIAM_BLOCK), SIM_BLOCK_OK);

  m_transfer.SetTiming({.completionDelayMs = 30});
  m_transfer.AddFault({TransferPhase::Install, 6, 1, TransferFaultKind::BadCompletion, {}, 9});
  const Answer first = Send(MSG_SIAM_INSTALL, {}, 4);
  EXPECT_EQ(first.header.status, STATUS_OK);
  ASSERT_TRUE(first.followUp.has_value());
  EXPECT_EQ(first.followUp->delayMs, 30u);
  EXPECT_EQ(first.followUp->payload, (Bytes{NOTIFY_SUBKIND_COMPLETION, 0}));
  const Answer second = Send(MSG_SIAM_INSTALL, {}, 6);
  ASSERT_TRUE(second.followUp.has_value());
  EXPECT_EQ(second.followUp->payload, (Bytes{NOTIFY_SUBKIND_COMPLETION, 9}));
  EXPECT_EQ(m_transfer.InstalledTargets(), (Bytes{4, 6}));
  EXPECT_EQ(m_transfer.SiamPayload(), payload);
}

TEST_F(SimFirmwareTransferTest, FaultsPickTheirPhaseBlockAndAttempts) {
  const Bytes image = RandomBytes(3 * kFirmBlockSize, 8);
  m_transfer.AddFault({TransferPhase::Block, 1, 2, TransferFaultKind::Reply, {.kind = SimFaultKind::NoAnswer}});
  m_transfer.AddFault({TransferPhase::Block, 2, -1, TransferFaultKind::BlockStatus, {}, 7});
  m_transfer.AddFault({TransferPhase::End,
                       kAnyTransferIndex,
                       1,
                       TransferFaultKind::Reply,
                       {.kind = SimFaultKind::LateAnswer, .value = 5000}});
  ASSERT_EQ(Begin(3, static_cast<uint32_t>(image.size()), Crc16(image)).header.status, STATUS_OK);
  EXPECT_EQ(Block(image, 0, kFirmBlockSize), SIM_BLOCK_OK);
  for (int attempt = 0; attempt < 2; ++attempt) {
    Bytes data;
    PutLe32(data, kFirmBlockSize);
    const Answer dropped = Send(MSG_FIRM_BLOCK, data);
    ASSERT_TRUE(dropped.fault.has_value());
    EXPECT_EQ(dropped.fault->kind, SimFaultKind::NoAnswer);
  }
  EXPECT_EQ(Block(image, kFirmBlockSize, kFirmBlockSize), SIM_BLOCK_OK) << "a dropped block is not taken";
  EXPECT_EQ(Block(image, 2 * kFirmBlockSize, kFirmBlockSize), 7);
  EXPECT_EQ(Block(image, 2 * kFirmBlockSize, kFirmBlockSize), 7) << "for ever";
  const Answer end = Send(MSG_FIRM_END, {});
  EXPECT_EQ(end.header.status, STATUS_OK) << "block 2 was taken, only its status lied";
  ASSERT_TRUE(end.fault.has_value());
  EXPECT_EQ(end.fault->value, 5000);
  EXPECT_EQ(Send(MSG_FIRM_END, {}).fault->value, 200) << "used up: the device's own end time again";
  m_transfer.ClearFaults();
  EXPECT_EQ(Block(image, 2 * kFirmBlockSize, kFirmBlockSize), SIM_BLOCK_OK);
}

}  // namespace
}  // namespace qx80::test
