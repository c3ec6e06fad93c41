#pragma once
// The catalogue of the 165 numbered commands, 0x00 to 0xA4, as data.
//
// Most commands are one message exchange: a set or get request whose header carries the
// message id, an `arg` byte (B0 or 0) and a `unit` byte (B184 or 0), followed by runs of
// parameter-block bytes; the reply must be of the matching type, echo the id and carry
// exactly the expected number of data bytes; then runs of reply data (Dn) are copied into
// the block (Bm), text fields get a 0 after them, and a simple get's value comes from the
// reply's `arg` byte. A few families add to that: the text switch 0x25, the transfers into
// a caller's buffer (0x68, 0x69, 0x73), the addressed transfers (0x76, 0x77, 0x7A, 0x7B),
// the raw request 0xA4, the reserved number 0x80 and the firmware transfer (0x88, 0x9F).
// Each row names its family; protocol/command_handlers.cpp runs the families.
#include <array>
#include <cstddef>
#include <cstdint>

#include "protocol/message.h"
#include "protocol/parameter_block.h"

namespace qx80 {

constexpr size_t kCommandCount = 165;
constexpr uint32_t kDefaultCommandTimeoutMs = 5000;

enum class CommandFamily : uint8_t {
  Message,         // one request and reply, values copied between block and messages
  TextSwitch,      // 0x25: installs or removes the text callback first, then a Message
  CallerBuffer,    // a Message whose reply data also goes to the caller's buffer
  Addressed,       // address, count and the caller's buffer of that many bytes
  Raw,             // the caller's buffer is the request; the reply goes back into it
  Reserved,        // 0x80: never sends anything
  WriteFirmware,   // 0x88
  WriteSiamImage,  // 0x9F
};

// What running a command does to the device. A tool may run the ones that read freely; the
// others change the device and deserve the user's consent.
enum class DeviceEffect : uint8_t {
  None,         // nothing is sent (the reserved number)
  Reads,        // a get: the device only answers
  Writes,       // a set: stores a setting, runs an action, writes memory or firmware
  ChangesMode,  // command 1: the device restarts into or out of its update mode
};

// Block bytes B`first`.. sent as request data.
struct BlockRun {
  uint8_t first = 0;
  uint8_t count = 0;
};

// Reply data D`data`.. copied to block bytes B`block`..; `terminate` writes a 0 after them.
struct ReplyCopy {
  uint16_t data = 0;
  uint8_t block = 0;
  uint16_t count = 0;
  bool terminate = false;
};

struct CommandRow {
  uint8_t number = 0;
  uint8_t handlerRow = 0;  // the row whose handler serves this number (shared handlers)
  CommandFamily family = CommandFamily::Message;
  uint8_t requestType = MSG_SET_REQUEST;
  uint16_t id = 0;
  bool sendsArg = false;  // `arg` = B0, else 0
  bool sendsUnit = true;  // `unit` = B184, else 0
  std::array<BlockRun, 2> data{};
  uint16_t replyLength = 0;
  std::array<ReplyCopy, 4> copies{};
  int8_t argTo = -1;     // block byte that receives the reply's `arg`, or none
  ReplyCopy toBuffer{};  // CallerBuffer: reply data for the caller's buffer (`block` unused)
  uint32_t timeoutMs = kDefaultCommandTimeoutMs;
  DeviceEffect effect = DeviceEffect::Writes;

  constexpr uint16_t DataLength() const { return static_cast<uint16_t>(data[0].count + data[1].count); }

  // Builders for the table below; each returns a changed copy.
  constexpr CommandRow Arg() const {
    CommandRow row = *this;
    row.sendsArg = true;
    return row;
  }
  constexpr CommandRow NoUnit() const {
    CommandRow row = *this;
    row.sendsUnit = false;
    return row;
  }
  constexpr CommandRow Send(uint8_t first, uint8_t count) const {
    CommandRow row = *this;
    row.data[row.data[0].count == 0 ? 0 : 1] = BlockRun{first, count};
    return row;
  }
  constexpr CommandRow Reply(uint16_t length) const {
    CommandRow row = *this;
    row.replyLength = length;
    return row;
  }
  constexpr CommandRow Copy(uint16_t from, uint8_t to, uint16_t count, bool terminate = false) const {
    CommandRow row = *this;
    for (ReplyCopy& copy : row.copies) {
      if (copy.count == 0) {
        copy = ReplyCopy{from, to, count, terminate};
        break;
      }
    }
    return row;
  }
  constexpr CommandRow Text(uint16_t from, uint8_t to, uint16_t count) const { return Copy(from, to, count, true); }
  constexpr CommandRow ArgTo(int8_t to) const {
    CommandRow row = *this;
    row.argTo = to;
    return row;
  }
  constexpr CommandRow ToBuffer(uint16_t from, uint16_t count) const {
    CommandRow row = *this;
    row.family = CommandFamily::CallerBuffer;
    row.toBuffer = ReplyCopy{from, 0, count, false};
    return row;
  }
  constexpr CommandRow Family(CommandFamily rowFamily) const {
    CommandRow row = *this;
    row.family = rowFamily;
    return row;
  }
  constexpr CommandRow Timeout(uint32_t ms) const {
    CommandRow row = *this;
    row.timeoutMs = ms;
    return row;
  }
  constexpr CommandRow Effect(DeviceEffect rowEffect) const {
    CommandRow row = *this;
    row.effect = rowEffect;
    return row;
  }
  // The same handler under another number.
  constexpr CommandRow As(uint8_t otherNumber) const {
    CommandRow row = *this;
    row.number = otherNumber;
    return row;
  }
};

constexpr CommandRow Set(uint8_t number, uint16_t id) {
  CommandRow row;
  row.number = row.handlerRow = number;
  row.requestType = MSG_SET_REQUEST;
  row.id = id;
  return row;
}

constexpr CommandRow Get(uint8_t number, uint16_t id) {
  CommandRow row = Set(number, id);
  row.requestType = MSG_GET_REQUEST;
  row.effect = DeviceEffect::Reads;
  return row;
}

constexpr CommandRow Special(uint8_t number, CommandFamily family) {
  return Set(number, 0).Family(family);
}

namespace catalogue_rows {
// Set and get 0x0D00 serve three numbers each with one handler.
constexpr CommandRow kSetD00 = Set(0x9D, 0x0D00).Arg().Send(1, 1);
constexpr CommandRow kGetD00 = Get(0x9E, 0x0D00).Arg().Reply(1).Copy(0, 1, 1);
}  // namespace catalogue_rows

inline constexpr std::array<CommandRow, kCommandCount> kCommandCatalogue = {
    Get(0x00, 0x0000).Arg().Send(1, 3).Reply(3).Copy(0, 4, 3),
    Set(0x01, 0x0001).Arg().Effect(DeviceEffect::ChangesMode),
    Get(0x02, 0x0001).ArgTo(0),
    Set(0x03, 0x0002).Arg(),
    Get(0x04, 0x0002).ArgTo(0),
    Set(0x05, 0x0018).Send(0, 4),
    Get(0x06, 0x0018).Reply(4).Copy(0, 0, 4),
    Set(0x07, 0x0003).Arg(),
    Set(0x08, 0x0019),
    Set(0x09, 0x0004).Arg().Timeout(60000),
    Get(0x0A, 0x0005).Reply(76).Text(0, 0, 40).Text(40, 41, 4).Text(44, 46, 16).Text(60, 63, 16),
    Get(0x0B, 0x0006).Arg().Reply(16).Text(0, 4, 16),
    Get(0x0C, 0x0007).Reply(8).Copy(0, 0, 8),
    Get(0x0D, 0x0008).Reply(1).Copy(0, 0, 1),
    Get(0x0E, 0x0009).Arg().Reply(1).Copy(0, 1, 1),
    Set(0x0F, 0x000A).Arg(),
    Get(0x10, 0x000A).ArgTo(0),
    Set(0x11, 0x000B).Arg().Send(1, 2),
    Get(0x12, 0x000B).Arg().Send(1, 1).Reply(2).Copy(0, 1, 2),
    Set(0x13, 0x000C).Arg().Send(1, 1),
    Set(0x14, 0x000D).Arg(),
    Get(0x15, 0x000D).ArgTo(0),
    Set(0x16, 0x000E).Arg().Send(1, 1),
    Set(0x17, 0x000F).Send(0, 1),
    Get(0x18, 0x000F).Reply(1).Copy(0, 0, 1),
    Set(0x19, 0x0010).Arg(),
    Get(0x1A, 0x0010).ArgTo(0),
    Set(0x1B, 0x0011).Arg(),
    Get(0x1C, 0x0011).ArgTo(0),
    Set(0x1D, 0x0012).Arg(),
    Get(0x1E, 0x0012).ArgTo(0),
    Set(0x1F, 0x0013).Arg().Send(1, 1),
    Get(0x20, 0x0013).Arg().Reply(1).Copy(0, 1, 1),
    Set(0x21, 0x0014).Arg(),
    Get(0x22, 0x0014).ArgTo(0),
    Set(0x23, 0x0015).Arg(),
    Get(0x24, 0x0015).ArgTo(0),
    Set(0x25, 0x0016).Arg().Family(CommandFamily::TextSwitch),
    Get(0x26, 0x0016).ArgTo(0),
    Set(0x27, 0x0017).Arg().Send(2, 2),
    Get(0x28, 0x0017).Arg().Reply(2).Copy(0, 2, 2),
    Set(0x29, 0x001A).Arg(),
    Get(0x2A, 0x001A).ArgTo(0),
    Set(0x2B, 0x001B).Arg().Send(1, 181),
    Get(0x2C, 0x001B).Arg().Reply(181).Copy(0, 1, 181),
    Set(0x2D, 0x001C).Send(0, 20),
    Get(0x2E, 0x001C).Reply(20).Text(0, 0, 20),
    Set(0x2F, 0x0100),
    Set(0x30, 0x0101).Arg(),
    Get(0x31, 0x0101).ArgTo(0),
    Set(0x32, 0x0102).Arg().Send(2, 2),
    Get(0x33, 0x0102).Arg().Reply(2).Copy(0, 2, 2),
    Set(0x34, 0x0103).Arg().Send(2, 2),
    Get(0x35, 0x0103).Arg().Reply(2).Copy(0, 2, 2),
    Set(0x36, 0x0104).Arg().Send(1, 1),
    Get(0x37, 0x0104).Arg().Reply(1).Copy(0, 1, 1),
    Set(0x38, 0x0105).Arg().Send(2, 2),
    Get(0x39, 0x0105).Arg().Reply(2).Copy(0, 2, 2),
    Set(0x3A, 0x0106).Arg().Send(1, 2).Send(4, 16),
    Get(0x3B, 0x0106).Arg().Send(1, 1).Reply(18).Copy(0, 1, 2).Copy(2, 4, 16),
    Set(0x3C, 0x0107).Arg().Send(1, 1),
    Get(0x3D, 0x0107).Arg().Reply(1).Copy(0, 1, 1),
    Set(0x3E, 0x0108).Arg().Send(1, 1),
    Get(0x3F, 0x0108).Arg().Reply(1).Copy(0, 1, 1),
    Set(0x40, 0x0109).Arg().Send(1, 1),
    Get(0x41, 0x0109).Arg().Reply(1).Copy(0, 1, 1),
    Set(0x42, 0x010A).Arg(),
    Get(0x43, 0x010A).ArgTo(0),
    Set(0x44, 0x0113).Arg().Send(1, 2).Send(4, 16),
    Get(0x45, 0x0113).Arg().Send(1, 1).Reply(18).Copy(0, 1, 2).Copy(2, 4, 16),
    Set(0x46, 0x010B).Arg(),
    Get(0x47, 0x010B).ArgTo(0),
    Set(0x48, 0x010C).Send(0, 2),
    Get(0x49, 0x010C).Reply(2).Copy(0, 0, 2),
    Set(0x4A, 0x010D).Arg(),
    Get(0x4B, 0x010D).ArgTo(0),
    Set(0x4C, 0x010E).Arg(),
    Get(0x4D, 0x010E).ArgTo(0),
    Set(0x4E, 0x010F).Arg(),
    Get(0x4F, 0x010F).ArgTo(0),
    Set(0x50, 0x0110).Arg(),
    Get(0x51, 0x0110).ArgTo(0),
    Set(0x52, 0x0111).Arg(),
    Get(0x53, 0x0111).ArgTo(0),
    Set(0x54, 0x0112).Arg(),
    Get(0x55, 0x0112).ArgTo(0),
    Set(0x56, 0x0114).Arg().NoUnit(),
    Get(0x57, 0x0114).ArgTo(0),
    Set(0x58, 0x0115).Arg().NoUnit(),
    Get(0x59, 0x0115).ArgTo(0),
    Set(0x5A, 0x0116).Arg().NoUnit(),
    Get(0x5B, 0x0116).ArgTo(0),
    Set(0x5C, 0x0117).Arg().NoUnit(),
    Get(0x5D, 0x0117).ArgTo(0),
    Set(0x5E, 0x0118).Arg().Send(1, 1).NoUnit(),
    Get(0x5F, 0x0118).Arg().Reply(1).Copy(0, 1, 1),
    Set(0x60, 0x0119).Arg().Send(1, 181),
    Get(0x61, 0x0119).Arg().Reply(181).Copy(0, 1, 181),
    Set(0x62, 0x011A).Arg().Send(1, 1),
    Get(0x63, 0x011A).Arg().Reply(1).Copy(0, 1, 1),
    Get(0x64, 0x0200).Arg().Reply(2).Copy(0, 2, 2),
    Get(0x65, 0x0201).Arg().Reply(2).Copy(0, 2, 2),
    Get(0x66, 0x0202).ArgTo(0),
    Get(0x67, 0x0203).Arg().Reply(1).Copy(0, 1, 1),
    Get(0x68, 0x0204).Arg().Reply(1024).ToBuffer(0, 1024),
    Get(0x69, 0x0205).Arg().Reply(1024).ToBuffer(0, 1024),
    Get(0x6A, 0x0206).Arg().Reply(2).Copy(0, 2, 2),
    Get(0x6B, 0x0207).NoUnit().Reply(5).Copy(0, 0, 5),
    Get(0x6C, 0x0300).Reply(4).Copy(0, 0, 4),
    Get(0x6D, 0x0301).Send(0, 4).Reply(180).Text(4, 4, 176),
    Set(0x6E, 0x0303).Arg().Send(1, 1),
    Get(0x6F, 0x0303).Arg().Reply(1).Copy(0, 1, 1),
    Set(0x70, 0x0302).Timeout(60000),
    Set(0x71, 0x0400).Arg(),
    Get(0x72, 0x0401).Reply(1).Copy(0, 0, 1),
    Get(0x73, 0x0402).Reply(59).Copy(0, 0, 1).ToBuffer(1, 58),
    Get(0x74, 0x0700).Reply(160).Copy(0, 0, 106).Copy(106, 108, 8),
    Set(0x75, 0x0701).Arg().Timeout(60000),
    Set(0x76, 0x0800).Arg().Family(CommandFamily::Addressed).Timeout(120000),
    Get(0x77, 0x0800).Arg().Family(CommandFamily::Addressed).Timeout(30000),
    Set(0x78, 0x0801).Arg().Send(1, 2),
    Get(0x79, 0x0801).Arg().Send(1, 1).Reply(2).Copy(1, 2, 1),
    Set(0x7A, 0x0802).Arg().Family(CommandFamily::Addressed).Timeout(120000),
    Get(0x7B, 0x0802).Arg().Family(CommandFamily::Addressed).Timeout(30000),
    Set(0x7C, 0x0803).Arg().Send(1, 2),
    Get(0x7D, 0x0803).Arg().Send(1, 1).Reply(2).Copy(1, 2, 1),
    Set(0x7E, 0x0804).Arg().Send(4, 4),
    Set(0x7F, 0x0805).Arg().Send(1, 2).Send(4, 2),
    Special(0x80, CommandFamily::Reserved).Effect(DeviceEffect::None),
    Set(0x81, 0x0807).Send(0, 16),
    Set(0x82, 0x0808).Arg().Send(2, 2),
    Get(0x83, 0x0808).Arg().Reply(2).Copy(0, 2, 2),
    Set(0x84, 0x0809).Arg().Send(2, 2),
    Get(0x85, 0x0809).Arg().Reply(2).Copy(0, 2, 2),
    Set(0x86, 0x080A).Send(0, 1),
    Get(0x87, 0x080A).Reply(1).Copy(0, 0, 1),
    Special(0x88, CommandFamily::WriteFirmware),
    Set(0x89, 0x0A00),
    Set(0x8A, 0x0A01).Arg().Send(1, 16),
    Get(0x8B, 0x0A01).Arg().Reply(16).Text(0, 1, 16),
    Set(0x8C, 0x0A02).Send(0, 4),
    Get(0x8D, 0x0A02).Reply(4).Copy(0, 0, 4),
    Set(0x8E, 0x0A03).Arg().Send(1, 3),
    Get(0x8F, 0x0A03).Arg().Send(1, 1).Reply(3).Copy(1, 2, 2),
    Set(0x90, 0x0A04).Arg().Send(2, 2),
    Get(0x91, 0x0A04).Arg().Reply(2).Copy(0, 2, 2),
    Get(0x92, 0x0A05).Reply(16).Copy(0, 0, 10).Copy(10, 11, 6),
    Set(0x93, 0x0B00).Send(0, 2),
    Set(0x94, 0x0B01).Arg().Send(1, 3),
    Set(0x95, 0x0B02).Arg().Send(1, 2).Send(4, 4),
    Set(0x96, 0x0B03).Arg().Send(1, 3),
    Get(0x97, 0x0B03).Arg().Send(1, 1).Reply(3).Copy(1, 2, 2),
    Set(0x98, 0x0B04).Arg().Reply(1).Copy(0, 1, 1).Timeout(20000),
    Set(0x99, 0x0B05).Arg().Reply(1).Copy(0, 1, 1).Timeout(20000),
    Set(0x9A, 0x0B06).Arg(),
    Get(0x9B, 0x0B06).ArgTo(1),
    Get(0x9C, 0x0B07).ArgTo(0),
    catalogue_rows::kSetD00,
    catalogue_rows::kGetD00,
    Special(0x9F, CommandFamily::WriteSiamImage),
    catalogue_rows::kSetD00.As(0xA0),
    catalogue_rows::kGetD00.As(0xA1),
    catalogue_rows::kSetD00.As(0xA2),
    catalogue_rows::kGetD00.As(0xA3),
    Special(0xA4, CommandFamily::Raw).Timeout(60000),
};

// The table's own consistency, checked when it is compiled: every number in its place,
// shared handlers served by a row that serves itself, every run inside the block and
// every copy inside the reply it reads, and only gets counted as reads.
constexpr bool CatalogueIsConsistent() {
  for (size_t i = 0; i < kCommandCatalogue.size(); ++i) {
    const CommandRow& row = kCommandCatalogue[i];
    const CommandRow& owner = kCommandCatalogue[row.handlerRow];
    if (row.number != i || owner.handlerRow != owner.number) {
      return false;
    }
    for (const BlockRun& run : row.data) {
      if (size_t{run.first} + run.count > kUnitOffset) {
        return false;
      }
    }
    for (const ReplyCopy& copy : row.copies) {
      const size_t blockEnd = size_t{copy.block} + copy.count + (copy.terminate ? 1 : 0);
      if (copy.data + copy.count > row.replyLength || blockEnd > kUnitOffset) {
        return false;
      }
    }
    if (row.toBuffer.data + row.toBuffer.count > row.replyLength) {
      return false;
    }
    if ((row.effect == DeviceEffect::Reads) != (row.requestType == MSG_GET_REQUEST)) {
      return false;
    }
  }
  return true;
}
static_assert(CatalogueIsConsistent());

}  // namespace qx80
