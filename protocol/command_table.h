#pragma once
// The command table: one row per command number 0 to 164, each with the handler Execute
// calls for it.
#include <cstdint>
#include <span>

#include "protocol/protocol_result.h"

namespace qx80 {

class CDeviceProtocol;

// Runs one command on the caller's parameter block; only ever called by Execute, under the
// channel's lock.
using CommandHandler = ProtocolResult (*)(CDeviceProtocol& channel, void* block);

struct CommandEntry {
  int32_t number;
  CommandHandler handler;
};

std::span<const CommandEntry> CommandTable();

}  // namespace qx80
