#include "device/bridge/bridge_wire.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "device/bridge/bridge_hid_backend.h"

namespace qx80 {
namespace {

std::vector<uint8_t> Bytes(std::initializer_list<int> values) {
  std::vector<uint8_t> bytes;
  for (int value : values) {
    bytes.push_back(static_cast<uint8_t>(value));
  }
  return bytes;
}

std::vector<uint8_t> Encode(const std::vector<BridgeFrame>& frames) {
  std::vector<uint8_t> bytes;
  for (const auto& frame : frames) {
    EXPECT_TRUE(EncodeBridgeFrame(frame.type, frame.payload, bytes));
  }
  return bytes;
}

TEST(BridgeWireTest, PresentPayloadIsLittleEndianInItsFixedOrder) {
  const HidInterfaceCaps caps{0x1F5E, 0x2A01, 65, 0x0141, 7, 5};
  const auto payload = EncodePresentPayload(caps);
  EXPECT_EQ(payload, Bytes({0x5E, 0x1F, 0x01, 0x2A, 0x41, 0x00, 0x41, 0x01, 0x05}));

  HidInterfaceCaps decoded;
  ASSERT_TRUE(DecodePresentPayload(payload, decoded));
  EXPECT_EQ(decoded.vendorId, 0x1F5E);
  EXPECT_EQ(decoded.productId, 0x2A01);
  EXPECT_EQ(decoded.inputReportLength, 65);
  EXPECT_EQ(decoded.outputReportLength, 0x0141);
  EXPECT_EQ(decoded.firstOutputReportId, 5);
  EXPECT_EQ(decoded.featureReportLength, 0);  // does not travel
  EXPECT_FALSE(DecodePresentPayload(Bytes({1, 2, 3, 4, 5, 6, 7, 8}), decoded));
}

TEST(BridgeWireTest, FramesSurviveAnySplitOfTheStream) {
  std::vector<uint8_t> report(65);
  for (size_t i = 0; i < report.size(); ++i) {
    report[i] = static_cast<uint8_t>(i * 3);
  }
  const std::vector<BridgeFrame> sent = {
      {BridgeFrameType::Present, EncodePresentPayload({0x1F5E, 0x2A01, 65, 65, 0, 0})},
      {BridgeFrameType::Input, report},
      {BridgeFrameType::Gone, {}},
      {BridgeFrameType::Output, Bytes({0})},
      {BridgeFrameType::Input, std::vector<uint8_t>(kBridgeMaxPayload, 0xA5)},
  };
  const auto bytes = Encode(sent);
  ASSERT_EQ(bytes[0], 'P');
  ASSERT_EQ(bytes[1], 9);
  ASSERT_EQ(bytes[2], 0);
  ASSERT_EQ(bytes[12], 'I');
  ASSERT_EQ(bytes[13], 65);

  for (size_t piece : {bytes.size(), size_t{1}, size_t{2}, size_t{7}, size_t{4096}}) {
    SCOPED_TRACE("pieces of " + std::to_string(piece));
    BridgeFrameParser parser;
    std::vector<BridgeFrame> received;
    for (size_t offset = 0; offset < bytes.size(); offset += piece) {
      const size_t length = std::min(piece, bytes.size() - offset);
      ASSERT_TRUE(parser.Feed(std::span<const uint8_t>(bytes).subspan(offset, length), received));
    }
    EXPECT_EQ(received, sent);
  }
}

TEST(BridgeWireTest, AnIncompleteFrameWaitsForTheRest) {
  BridgeFrameParser parser;
  std::vector<BridgeFrame> received;
  ASSERT_TRUE(parser.Feed(Bytes({'I', 3, 0, 1, 2}), received));
  EXPECT_TRUE(received.empty());
  ASSERT_TRUE(parser.Feed(Bytes({3}), received));
  ASSERT_EQ(received.size(), 1u);
  EXPECT_EQ(received[0].payload, Bytes({1, 2, 3}));
}

TEST(BridgeWireTest, BrokenFramesFailTheStreamForGood) {
  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
  };
  const std::vector<Case> cases = {
      {"unknown type", Bytes({'X', 0, 0})},
      {"lower-case type", Bytes({'p', 9, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0})},
      {"present too short", Bytes({'P', 8, 0, 0, 0, 0, 0, 0, 0, 0, 0})},
      {"present too long", Bytes({'P', 10, 0})},
      {"gone with a payload", Bytes({'G', 1, 0, 0})},
      {"busy with a payload", Bytes({'B', 1, 0, 0})},
      {"input without its report-id byte", Bytes({'I', 0, 0})},
      {"output without its report-id byte", Bytes({'O', 0, 0})},
      // Judged on the header: the parser does not wait for 65535 bytes to refuse them.
      {"bad header after a good frame", Bytes({'G', 0, 0, 'P', 0xFF, 0xFF})},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    BridgeFrameParser parser;
    std::vector<BridgeFrame> received;
    EXPECT_FALSE(parser.Feed(c.bytes, received));
    EXPECT_TRUE(parser.Failed());
    // Nothing after the fault is believed, not even a well-formed frame.
    const size_t before = received.size();
    EXPECT_FALSE(parser.Feed(Bytes({'G', 0, 0}), received));
    EXPECT_EQ(received.size(), before);
  }
}

TEST(BridgeWireTest, EncodingRefusesWhatTheParserWouldRefuse) {
  std::vector<uint8_t> out = Bytes({0xEE});
  EXPECT_FALSE(EncodeBridgeFrame(BridgeFrameType::Present, Bytes({1, 2, 3}), out));
  EXPECT_FALSE(EncodeBridgeFrame(BridgeFrameType::Gone, Bytes({1}), out));
  EXPECT_FALSE(EncodeBridgeFrame(BridgeFrameType::Output, {}, out));
  EXPECT_FALSE(EncodeBridgeFrame(BridgeFrameType::Input, std::vector<uint8_t>(kBridgeMaxPayload + 1), out));
  EXPECT_EQ(out, Bytes({0xEE}));  // untouched
}

TEST(BridgeWireTest, DeviceAddressesSplitIntoHostAndPort) {
  struct Case {
    const char* text;
    bool ok;
    const char* host;
    uint16_t port;
  };
  const Case cases[] = {
      {"127.0.0.1:5080", true, "127.0.0.1", 5080},
      {"localhost:65535", true, "localhost", 65535},
      {"127.0.0.1:0", false, "", 0},
      {"127.0.0.1:65536", false, "", 0},
      {"127.0.0.1:", false, "", 0},
      {"127.0.0.1:50x", false, "", 0},
      {"127.0.0.1:-5", false, "", 0},
      {":5080", false, "", 0},
      {"5080", false, "", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    std::string host = "unchanged";
    uint16_t port = 1;
    ASSERT_EQ(ParseBridgeAddress(c.text, host, port), c.ok);
    if (c.ok) {
      EXPECT_EQ(host, c.host);
      EXPECT_EQ(port, c.port);
    } else {
      EXPECT_EQ(host, "unchanged");
      EXPECT_EQ(port, 1);
    }
  }
}

}  // namespace
}  // namespace qx80
