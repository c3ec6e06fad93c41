#include "protocol/command_table.h"

#include <array>
#include <utility>

#include "protocol/command_catalogue.h"
#include "protocol/command_handlers.h"

namespace qx80 {
namespace {

// One handler per catalogue row that serves itself; numbers that share a handler get the
// very same function.
template <size_t Row>
ProtocolResult CatalogueHandler(CDeviceProtocol& channel, void* block) {
  return RunCommand(channel, kCommandCatalogue[Row], block);
}

template <size_t... Number>
constexpr std::array<CommandEntry, sizeof...(Number)> MakeCommandTable(std::index_sequence<Number...>) {
  return {CommandEntry{static_cast<int32_t>(Number), &CatalogueHandler<kCommandCatalogue[Number].handlerRow>}...};
}

constexpr std::array<CommandEntry, kCommandCount> kCommandTable =
    MakeCommandTable(std::make_index_sequence<kCommandCount>{});

}  // namespace

std::span<const CommandEntry> CommandTable() {
  return kCommandTable;
}

}  // namespace qx80
