#pragma once
// The command families: one handler per family, steered by the command's catalogue row.
#include "protocol/command_catalogue.h"
#include "protocol/protocol_result.h"

namespace qx80 {

class CDeviceProtocol;

ProtocolResult RunCommand(CDeviceProtocol& channel, const CommandRow& row, void* block);

}  // namespace qx80
