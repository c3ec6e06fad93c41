// The numbered commands: a sample of every family checked byte for byte on the wire and in
// the parameter block, the reply checks, and the limits of the families.
//
// The block starts as B[n] = n + 0x40, so the unit byte B184 is 0xF8 and every byte sent
// from the block shows where it came from.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <fstream>
#include <optional>
#include <set>
#include <sstream>

#include "protocol/command_catalogue.h"
#include "protocol/command_table.h"
#include "protocol/device_protocol.h"
#include "protocol/firmware_transfer.h"
#include "protocol/parameter_block.h"
#include "tests/support/bound_recording_clock.h"
#include "tests/support/channel_test_support.h"

namespace qx80::test {
namespace {

using Block = std::array<uint8_t, kParameterBlockSize>;

struct Change {
  size_t offset;
  Bytes bytes;
};

Block PatternBlock() {
  Block block{};
  for (size_t i = 0; i < block.size(); ++i) {
    block[i] = static_cast<uint8_t>(i + 0x40);
  }
  return block;
}

void Apply(Block& block, const std::vector<Change>& changes) {
  for (const Change& change : changes) {
    std::copy(change.bytes.begin(), change.bytes.end(), block.begin() + static_cast<std::ptrdiff_t>(change.offset));
  }
}

class CatalogueTest : public OpenChannelTest {
 protected:
  // The block for `command`: the pattern, `setup` over it, and `buffer` in its pointer slot.
  static Block Prepare(int32_t command, const std::vector<Change>& setup, Bytes* buffer) {
    Block block = PatternBlock();
    Apply(block, setup);
    if (buffer != nullptr) {
      SetCallerBuffer(block.data(), command, buffer->data());
    }
    return block;
  }

  ScriptedDevice m_device{m_bus};
};

struct RowCase {
  const char* name;
  int32_t command;
  std::vector<Change> setup;         // over the pattern, before the call
  Bytes request;                     // the message the device receives
  Bytes reply;                       // the message it answers
  std::vector<Change> changes = {};  // where the block differs afterwards
  Bytes buffer = {};                 // a caller's buffer, when the command takes one
  Bytes bufferAfter = {};
};

TEST_F(CatalogueTest, EveryFamilySendsAndCopiesTheListedBytes) {
  const RowCase cases[] = {
      {"set with value", 0x01, {}, Hex("00 01 00 40 F8 00 00 00"), Hex("01 01 00 00 00 00 00 00")},
      {"set with value, unit 0", 0x56, {}, Hex("00 14 01 40 00 00 00 00"), Hex("01 14 01 00 00 00 00 00")},
      {"set with data, arg 0", 0x05, {}, Hex("00 18 00 00 F8 00 04 00 40 41 42 43"), Hex("01 18 00 00 00 00 00 00")},
      {"set with two runs",
       0x3A,
       {},
       Hex("00 06 01 40 F8 00 12 00 41 42") + Ramp(0x44, 16),
       Hex("01 06 01 00 00 00 00 00")},
      {"set with 181 data bytes",
       0x2B,
       {},
       Hex("00 1B 00 40 F8 00 B5 00") + Ramp(0x41, 181),
       Hex("01 1B 00 00 00 00 00 00")},
      {"action", 0x08, {}, Hex("00 19 00 00 F8 00 00 00"), Hex("01 19 00 00 00 00 00 00")},
      {"get of a byte value",
       0x02,
       {},
       Hex("02 01 00 00 F8 00 00 00"),
       Hex("03 01 00 5A 00 00 00 00"),
       {{0, Hex("5A")}}},
      {"get of a byte value into B1",
       0x9B,
       {},
       Hex("02 06 0B 00 F8 00 00 00"),
       Hex("03 06 0B 5A 00 00 00 00"),
       {{1, Hex("5A")}}},
      {"version query",
       0x0B,
       {{0, Hex("21")}, {184, Hex("00")}},
       Hex("02 06 00 21 00 00 00 00"),
       Hex("03 06 00 00 00 00 10 00") + Ramp(0x30, 16),
       {{4, Ramp(0x30, 16) + Hex("00")}}},
      {"get with a selector byte",
       0x12,
       {},
       Hex("02 0B 00 40 F8 00 01 00 41"),
       Hex("03 0B 00 00 00 00 02 00 80 81"),
       {{1, Hex("80 81")}}},
      {"get that leaves D0",
       0x79,
       {},
       Hex("02 01 08 40 F8 00 01 00 41"),
       Hex("03 01 08 00 00 00 02 00 80 81"),
       {{2, Hex("81")}}},
      {"get with unit 0",
       0x6B,
       {},
       Hex("02 07 02 00 00 00 00 00"),
       Hex("03 07 02 00 00 00 05 00 80 81 82 83 84"),
       {{0, Hex("80 81 82 83 84")}}},
      {"get with three selector bytes",
       0x00,
       {},
       Hex("02 00 00 40 F8 00 03 00 41 42 43"),
       Hex("03 00 00 00 00 00 03 00 80 81 82"),
       {{4, Hex("80 81 82")}}},
      {"record with four text fields",
       0x0A,
       {},
       Hex("02 05 00 00 F8 00 00 00"),
       Hex("03 05 00 00 00 00 4C 00") + Ramp(0x80, 76),
       {{0, Ramp(0x80, 40) + Hex("00")},
        {41, Hex("A8 A9 AA AB 00")},
        {46, Ramp(0xAC, 16) + Hex("00")},
        {63, Ramp(0xBC, 16) + Hex("00")}}},
      {"record with a gap",
       0x74,
       {},
       Hex("02 00 07 00 F8 00 00 00"),
       Hex("03 00 07 00 00 00 A0 00") + Ramp(0x80, 160),
       {{0, Ramp(0x80, 106)}, {108, Ramp(0xEA, 8)}}},
      {"record asked with data",
       0x6D,
       {},
       Hex("02 01 03 00 F8 00 04 00 40 41 42 43"),
       Hex("03 01 03 00 00 00 B4 00") + Ramp(0x80, 180),
       {{4, Ramp(0x84, 176) + Hex("00")}}},
      {"record in two pieces",
       0x92,
       {},
       Hex("02 05 0A 00 F8 00 00 00"),
       Hex("03 05 0A 00 00 00 10 00") + Ramp(0x80, 16),
       {{0, Ramp(0x80, 10)}, {11, Ramp(0x8A, 6)}}},
      {"set with result",
       0x98,
       {},
       Hex("00 04 0B 40 F8 00 00 00"),
       Hex("01 04 0B 00 00 00 01 00 5A"),
       {{1, Hex("5A")}}},
      {"text switch", 0x25, {{0, Hex("00")}}, Hex("00 16 00 00 F8 00 00 00"), Hex("01 16 00 00 00 00 00 00")},
      {"to a caller buffer",
       0x68,
       {},
       Hex("02 04 02 40 F8 00 00 00"),
       Hex("03 04 02 00 00 00 00 04") + Ramp(0, 1024),
       {},
       Bytes(1024, 0xEE),
       Ramp(0, 1024)},
      {"to B0 and a caller buffer",
       0x73,
       {},
       Hex("02 02 04 00 F8 00 00 00"),
       Hex("03 02 04 00 00 00 3B 00") + Ramp(0x80, 59),
       {{0, Hex("80")}},
       Bytes(60, 0xEE),
       Ramp(0x81, 58) + Hex("EE EE")},
      {"addressed set",
       0x76,
       {{8, Hex("05 00")}},
       Hex("00 00 08 40 F8 00 0B 00 44 45 46 47 05 00 11 22 33 44 55"),
       Hex("01 00 08 00 00 00 00 00"),
       {},
       Hex("11 22 33 44 55"),
       Hex("11 22 33 44 55")},
      {"addressed get",
       0x77,
       {{8, Hex("05 00")}},
       Hex("02 00 08 40 F8 00 06 00 44 45 46 47 05 00"),
       Hex("03 00 08 00 00 00 0B 00 44 45 46 47 05 00 A1 A2 A3 A4 A5"),
       {},
       Bytes(6, 0xEE),
       Hex("A1 A2 A3 A4 A5 EE")},
      {"addressed get of nothing",
       0x77,
       {{8, Hex("00 00")}},
       Hex("02 00 08 40 F8 00 06 00 44 45 46 47 00 00"),
       Hex("03 00 08 00 00 00 06 00 44 45 46 47 00 00"),
       {},
       Bytes(4, 0xEE),
       Bytes(4, 0xEE)},
      {"addressed get, second space",
       0x7B,
       {{8, Hex("02 00")}},
       Hex("02 02 08 40 F8 00 06 00 44 45 46 47 02 00"),
       Hex("03 02 08 00 00 00 08 00 00 00 00 00 02 00 B1 B2"),
       {},
       Bytes(2, 0xEE),
       Hex("B1 B2")},
      {"shared set 0x9D", 0x9D, {}, Hex("00 00 0D 40 F8 00 01 00 41"), Hex("01 00 0D 00 00 00 00 00")},
      {"shared set 0xA0", 0xA0, {}, Hex("00 00 0D 40 F8 00 01 00 41"), Hex("01 00 0D 00 00 00 00 00")},
      {"shared set 0xA2", 0xA2, {}, Hex("00 00 0D 40 F8 00 01 00 41"), Hex("01 00 0D 00 00 00 00 00")},
      {"shared get 0x9E",
       0x9E,
       {},
       Hex("02 00 0D 40 F8 00 00 00"),
       Hex("03 00 0D 00 00 00 01 00 5A"),
       {{1, Hex("5A")}}},
      {"shared get 0xA1",
       0xA1,
       {},
       Hex("02 00 0D 40 F8 00 00 00"),
       Hex("03 00 0D 00 00 00 01 00 5A"),
       {{1, Hex("5A")}}},
      {"shared get 0xA3",
       0xA3,
       {},
       Hex("02 00 0D 40 F8 00 00 00"),
       Hex("03 00 0D 00 00 00 01 00 5A"),
       {{1, Hex("5A")}}},
  };
  for (const RowCase& c : cases) {
    SCOPED_TRACE(c.name);
    m_device.ClearRecords();
    m_device.Respond([&c](const Bytes&) { return Response(c.reply); });
    Bytes buffer = c.buffer;
    Block block = Prepare(c.command, c.setup, buffer.empty() ? nullptr : &buffer);
    Block expected = block;
    Apply(expected, c.changes);

    ASSERT_EQ(m_channel->Execute(c.command, block.data(), nullptr), ResultOk);
    EXPECT_EQ(m_device.Requests(), std::vector<Bytes>{c.request});
    EXPECT_EQ(block, expected);
    EXPECT_EQ(buffer, c.bufferAfter);
  }
}

// One command of tests/protocol/catalogue_rows.txt.
struct LiteralRow {
  int32_t command = -1;
  std::vector<Change> setup;
  Bytes buffer;
  uint32_t timeoutMs = 0;
  std::optional<Bytes> request;
  Bytes reply;
  ProtocolResult result = ResultOk;
  std::vector<Change> changes;
  Bytes bufferAfter;
};

// "OFFSET: BYTES"
Change ParseChange(const std::string& text) {
  const size_t colon = text.find(':');
  return Change{std::stoul(text.substr(0, colon)), Hex(text.substr(colon + 1))};
}

std::vector<LiteralRow> LoadLiteralRows() {
  std::ifstream file(QX80_CATALOGUE_ROWS_PATH);
  EXPECT_TRUE(file.is_open()) << QX80_CATALOGUE_ROWS_PATH;
  std::vector<LiteralRow> rows;
  std::string line;
  while (std::getline(file, line)) {
    std::istringstream in(line);
    std::string key;
    in >> key;
    std::string rest;
    std::getline(in, rest);
    if (key.empty() || key[0] == '#') {
      continue;
    }
    if (key == "command") {
      rows.emplace_back().command = static_cast<int32_t>(std::stoul(rest, nullptr, 16));
      continue;
    }
    if (rows.empty()) {
      ADD_FAILURE() << "a field before the first command: " << line;
      continue;
    }
    LiteralRow& row = rows.back();
    if (key == "setup") {
      row.setup.push_back(ParseChange(rest));
    } else if (key == "buffer") {
      row.buffer = Hex(rest);
    } else if (key == "timeout") {
      row.timeoutMs = static_cast<uint32_t>(std::stoul(rest));
    } else if (key == "request") {
      row.request = Hex(rest);
    } else if (key == "reply") {
      row.reply = Hex(rest);
    } else if (key == "result") {
      row.result = std::stoi(rest);
    } else if (key == "block") {
      row.changes.push_back(ParseChange(rest));
    } else if (key == "buffer-after") {
      row.bufferAfter = Hex(rest);
    } else {
      ADD_FAILURE() << "unknown field: " << line;
    }
  }
  return rows;
}

// The channel's waits are recorded, so that each command's time-out is seen exactly.
class CatalogueLiteralTest : public OpenChannelTest {
 protected:
  BoundRecordingClock m_recording{m_clock};
  ScopedClock m_scopedRecording{m_recording};
  ScriptedDevice m_device{m_bus};
};

TEST_F(CatalogueLiteralTest, EveryCommandSendsAndCopiesItsLiteralBytesAndWaitsItsTimeOut) {
  const std::vector<LiteralRow> rows = LoadLiteralRows();
  std::set<int32_t> covered;
  for (const LiteralRow& row : rows) {
    SCOPED_TRACE(testing::Message() << "command 0x" << std::hex << row.command);
    covered.insert(row.command);
    m_device.ClearRecords();
    m_device.Respond([&row](const Bytes&) { return Response(row.reply); });
    Bytes buffer = row.buffer;
    Block block = PatternBlock();
    Apply(block, row.setup);
    if (!buffer.empty()) {
      ASSERT_TRUE(SetCallerBuffer(block.data(), row.command, buffer.data()));
      if (row.command == 0xA4) {
        SetRawSize(block.data(), static_cast<uint32_t>(buffer.size()));
      }
    }
    Block expected = block;
    Apply(expected, row.changes);
    m_recording.Clear();

    ASSERT_EQ(m_channel->Execute(row.command, block.data(), nullptr), row.result);
    EXPECT_EQ(m_device.Requests(), row.request.has_value() ? std::vector<Bytes>{*row.request} : std::vector<Bytes>{});
    EXPECT_EQ(block, expected);
    EXPECT_EQ(buffer, row.bufferAfter);
    if (row.timeoutMs != 0) {
      // The wait for the reply is the command's last.
      const auto asked = m_recording.Asked();
      ASSERT_FALSE(asked.empty());
      EXPECT_EQ(asked.back(), row.timeoutMs);
    }
  }
  std::set<int32_t> expectedCommands;
  for (int32_t command = 0; command < static_cast<int32_t>(kCommandCount); ++command) {
    if (command != CMD_WRITE_FIRMWARE && command != CMD_WRITE_SIAM_IMAGE) {
      expectedCommands.insert(command);
    }
  }
  EXPECT_EQ(covered, expectedCommands);
}

TEST_F(CatalogueTest, SharedNumbersUseOneHandler) {
  const auto table = CommandTable();
  EXPECT_EQ(table[0xA0].handler, table[0x9D].handler);
  EXPECT_EQ(table[0xA2].handler, table[0x9D].handler);
  EXPECT_EQ(table[0xA1].handler, table[0x9E].handler);
  EXPECT_EQ(table[0xA3].handler, table[0x9E].handler);
  EXPECT_NE(table[0x9D].handler, table[0x9E].handler);
}

TEST_F(CatalogueTest, AReplyOfAnotherTypeIdOrLengthIsRejectedAndTheBlockKept) {
  const Bytes version = Ramp(0x30, 16);
  // 0x2C expects 181 bytes; this reply declares them but its last report follows its first.
  const auto cutShort = [] {
    auto reports = Reply(MSG_GET_REPLY, 0x001B, Ramp(0x80, 181));
    return std::vector<Report>{reports.front(), reports.back()};
  };
  const struct {
    const char* name;
    int32_t command;
    std::vector<Change> setup;
    std::vector<Report> reply;
    size_t bufferSize = 0;
  } cases[] = {
      {"version query answered as a set", 0x0B, {}, Reply(MSG_SET_REPLY, 0x0006, version)},
      {"version query answered with another id", 0x0B, {}, Reply(MSG_GET_REPLY, 0x0007, version)},
      {"version query with 15 bytes", 0x0B, {}, Reply(MSG_GET_REPLY, 0x0006, Ramp(0x30, 15))},
      {"version query with 17 bytes", 0x0B, {}, Reply(MSG_GET_REPLY, 0x0006, Ramp(0x30, 17))},
      {"command 1 answered with data", 0x01, {}, Reply(MSG_SET_REPLY, 0x0001, Hex("00"))},
      {"byte value answered with data", 0x02, {}, Reply(MSG_GET_REPLY, 0x0001, Hex("77"), 0, 0, 0x5A)},
      {"set with result without it", 0x98, {}, Reply(MSG_SET_REPLY, 0x0B04)},
      {"more declared than arrived", 0x2C, {}, cutShort()},
      {"caller buffer reply one short", 0x73, {}, Reply(MSG_GET_REPLY, 0x0402, Ramp(0, 58)), 58},
      {"addressed get of 5 with 4", 0x77, {{8, Hex("05 00")}}, Reply(MSG_GET_REPLY, 0x0800, Ramp(0, 10)), 5},
      {"addressed set answered with data", 0x7A, {{8, Hex("01 00")}}, Reply(MSG_SET_REPLY, 0x0802, Hex("00")), 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    m_device.Respond([&c](const Bytes&) { return c.reply; });
    Bytes buffer(c.bufferSize, 0xEE);
    Block block = Prepare(c.command, c.setup, c.bufferSize > 0 ? &buffer : nullptr);
    const Block before = block;
    EXPECT_EQ(m_channel->Execute(c.command, block.data(), nullptr), ResultUnexpectedResponse);
    EXPECT_EQ(block, before);
    EXPECT_EQ(buffer, Bytes(c.bufferSize, 0xEE));
  }
}

TEST_F(CatalogueTest, ReservedAndUnknownNumbersAndMissingBlocksSendNothing) {
  m_device.Respond(AcknowledgeAll);
  Block block = PatternBlock();
  for (const int32_t command : {0x80, 0xA5, 0xFF, 1000, -1}) {
    EXPECT_EQ(m_channel->Execute(command, block.data(), nullptr), ResultUnknownCommand) << command;
  }
  EXPECT_EQ(m_channel->Execute(0x80, nullptr, nullptr), ResultUnknownCommand);
  for (int32_t command = 0; command <= 0xA4; ++command) {
    if (command != 0x80) {
      EXPECT_EQ(m_channel->Execute(command, nullptr, nullptr), ResultBadParameter) << command;
    }
  }
  EXPECT_EQ(block, PatternBlock());
  EXPECT_TRUE(m_device.Written().empty());
}

TEST_F(CatalogueTest, ABufferCommandWithoutItsBufferOrWithAnImpossibleCountSendsNothing) {
  m_device.Respond(AcknowledgeAll);
  Bytes buffer(16, 0);
  const struct {
    int32_t command;
    Bytes count;  // B8..9
    bool withBuffer;
  } cases[] = {
      {0x68, {}, false},
      {0x69, {}, false},
      {0x73, {}, false},
      {0x76, Hex("05 00"), false},
      {0x77, Hex("05 00"), false},
      {0x7A, Hex("05 00"), false},
      {0x7B, Hex("05 00"), false},
      // N + 6 would not fit the 16-bit length.
      {0x76, Hex("FA FF"), true},
      {0x77, Hex("FA FF"), true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.command);
    Block block{};
    std::copy(c.count.begin(), c.count.end(), block.begin() + 8);
    SetCallerBuffer(block.data(), c.command, c.withBuffer ? buffer.data() : nullptr);
    EXPECT_EQ(m_channel->Execute(c.command, block.data(), nullptr), ResultBadParameter);
  }
  EXPECT_TRUE(m_device.Written().empty());
}

TEST_F(CatalogueTest, TheRawRequestSendsWhatItsHeaderDeclaresAndReturnsAtMostItsSize) {
  m_device.Respond([](const Bytes&) { return Reply(MSG_GET_REPLY, 0x0006, Ramp(0x30, 16)); });
  Block block{};
  // A header declaring 100 data bytes in a buffer of 20: 108 bytes go out.
  Bytes buffer = Hex("02 06 00 21 00 00 64 00") + Ramp(0x50, 12) + Bytes(20, 0xEE);
  const Bytes sent(buffer.begin(), buffer.begin() + 20);
  SetCallerBuffer(block.data(), 0xA4, buffer.data());
  SetRawSize(block.data(), 20);
  ASSERT_EQ(m_channel->Execute(0xA4, block.data(), nullptr), ResultOk);
  const auto requests = m_device.Requests();
  ASSERT_EQ(requests.size(), 1u);
  ASSERT_EQ(requests[0].size(), 108u);
  EXPECT_EQ(Bytes(requests[0].begin(), requests[0].begin() + 20), sent);
  // The 24-byte reply comes back cut to the 20 bytes of the caller's size.
  EXPECT_EQ(buffer, Hex("03 06 00 00 00 00 10 00") + Ramp(0x30, 12) + Bytes(20, 0xEE));

  // The reply is not checked; a failed exchange leaves the buffer alone.
  m_device.Respond([](const Bytes&) { return Reply(9, 0x7777, Hex("01 02")); });
  buffer = Hex("00 77 77 00 00 00 00 00") + Bytes(32, 0xEE);
  SetRawSize(block.data(), static_cast<uint32_t>(buffer.size()));
  SetCallerBuffer(block.data(), 0xA4, buffer.data());
  ASSERT_EQ(m_channel->Execute(0xA4, block.data(), nullptr), ResultOk);
  EXPECT_EQ(buffer, Hex("09 77 77 00 00 00 02 00 01 02") + Bytes(30, 0xEE));
  m_device.Respond([](const Bytes&) { return Reply(1, 0x7777, {}, 0x05, 0x06); });
  const Bytes before = buffer;
  StatusPair pair;
  EXPECT_EQ(m_channel->Execute(0xA4, block.data(), &pair), ResultDeviceError);
  EXPECT_EQ(buffer, before);
  EXPECT_EQ(pair.status, 0x05);
  EXPECT_EQ(pair.detail, 0x06);
}

TEST_F(CatalogueTest, TheRawRequestRefusesSizesItCannotSend) {
  Bytes buffer(70000, 0);
  WriteHeader(buffer.data(), MessageHeader{MSG_GET_REQUEST, 0x0006, 0, 0, 0, 0});
  const struct {
    uint32_t size;
    bool withBuffer;
  } cases[] = {
      {65544, true},  // more than a header and 65535 data bytes
      {7, true},      // less than a header
      {20, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.size);
    Block block{};
    SetCallerBuffer(block.data(), 0xA4, c.withBuffer ? buffer.data() : nullptr);
    SetRawSize(block.data(), c.size);
    EXPECT_EQ(m_channel->Execute(0xA4, block.data(), nullptr), ResultBadParameter);
  }
  EXPECT_TRUE(m_device.Written().empty());
}

TEST(ParameterBlockTest, AddressesSitInTheirSlots) {
  // A 32-bit build uses the block's 4-byte slots as they stand; a 64-bit build widens each
  // slot to 8 bytes from the same offset and moves the raw request's size behind its pointer.
  const struct {
    int32_t command;
    size_t offset;
  } slots[] = {{0x68, 4}, {0x69, 4}, {0x73, 4}, {0x76, 12}, {0x77, 12}, {0x7A, 12}, {0x7B, 12}, {0xA4, 0}};
  int marker = 0;
  void* const pointer = &marker;
  for (const auto& slot : slots) {
    SCOPED_TRACE(slot.command);
    Block block{};
    ASSERT_TRUE(SetCallerBuffer(block.data(), slot.command, pointer));
    Block expected{};
    std::memcpy(expected.data() + slot.offset, &pointer, sizeof pointer);
    EXPECT_EQ(block, expected);
    EXPECT_EQ(GetCallerBuffer(block.data(), slot.command), pointer);
  }
  Block block{};
  EXPECT_FALSE(SetCallerBuffer(block.data(), 0x0B, pointer));
  EXPECT_FALSE(SetCallerBuffer(block.data(), 0x25, pointer));  // 0x25 holds a callback
  SetTextCallback(block.data(), &CallbackLog::OnText);
  const TextCallback callback = &CallbackLog::OnText;
  EXPECT_EQ(std::memcmp(block.data() + 4, &callback, sizeof callback), 0);
  EXPECT_EQ(GetTextCallback(block.data()), callback);

  block.fill(0);
  SetRawSize(block.data(), 0x12345678);
  const size_t sizeOffset = sizeof(void*) == 4 ? 4 : 8;
  EXPECT_EQ(Bytes(block.begin() + sizeOffset, block.begin() + sizeOffset + 4), Hex("78 56 34 12"));
  EXPECT_EQ(GetRawSize(block.data()), 0x12345678u);
}

}  // namespace
}  // namespace qx80::test
