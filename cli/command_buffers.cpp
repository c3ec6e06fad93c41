#include "cli/command_buffers.h"

#include "protocol/command_catalogue.h"
#include "protocol/parameter_block.h"

namespace qx80::cli {
namespace {

// Where an addressed transfer's byte count sits in the block.
constexpr size_t kAddressedCountOffset = 8;

enum class Supply : uint8_t {
  Nothing,      // no address in the block
  NoHandler,    // the text switch: the tool installs no handler, texts are dropped
  ReplyBuffer,  // the tool's buffer takes the reply data, and the tool prints it
  Refused,      // the command needs what the tool cannot supply
};

struct FamilySupply {
  CommandFamily family;
  uint8_t requestType;  // MSG_SET_REQUEST or MSG_GET_REQUEST; 0: either
  Supply supply;
  const char* refusal;
};

// Every family whose block holds an address; the catalogue gives each command its family.
constexpr FamilySupply kFamilySupplies[] = {
    {CommandFamily::TextSwitch, 0, Supply::NoHandler, nullptr},
    {CommandFamily::CallerBuffer, 0, Supply::ReplyBuffer, nullptr},
    {CommandFamily::Addressed, MSG_GET_REQUEST, Supply::ReplyBuffer, nullptr},
    {CommandFamily::Addressed, MSG_SET_REQUEST, Supply::Refused,
     "writes device memory from a caller's buffer, which the tool has nothing to fill with"},
    {CommandFamily::Raw, 0, Supply::Refused, "sends a raw request from a caller's buffer"},
    {CommandFamily::WriteFirmware, 0, Supply::Refused, "writes a firmware image from memory; use qx80 update"},
    {CommandFamily::WriteSiamImage, 0, Supply::Refused, "writes a firmware image from memory; use qx80 update"},
};

const FamilySupply* SupplyFor(const CommandRow& row) {
  for (const FamilySupply& entry : kFamilySupplies) {
    if (entry.family == row.family && (entry.requestType == 0 || entry.requestType == row.requestType)) {
      return &entry;
    }
  }
  return nullptr;
}

}  // namespace

bool CommandBuffers::Prepare(int32_t command, uint8_t* block, std::string& refusal) {
  m_buffer.clear();
  m_filled = 0;
  if (command < 0 || static_cast<size_t>(command) >= kCommandCatalogue.size()) {
    return true;  // unknown to the channel, which sends nothing
  }
  const CommandRow& row = kCommandCatalogue[static_cast<size_t>(command)];
  const FamilySupply* entry = SupplyFor(row);
  const Supply supply = entry != nullptr ? entry->supply : Supply::Nothing;
  switch (supply) {
    case Supply::Nothing:
      return true;
    case Supply::NoHandler:
      SetTextCallback(block, nullptr);
      return true;
    case Supply::Refused:
      refusal = entry->refusal;
      return false;
    case Supply::ReplyBuffer:
      break;
  }
  m_filled = row.family == CommandFamily::Addressed ? ReadLe16(block + kAddressedCountOffset) : row.toBuffer.count;
  m_buffer.assign(m_filled, 0);
  SetCallerBuffer(block, command, m_buffer.data());
  return true;
}

}  // namespace qx80::cli
