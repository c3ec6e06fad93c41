#include "sim/sim_power_cut.h"

#include <charconv>
#include <string>

#include "platform/parse_number.h"
#include "protocol/firmware_transfer.h"
#include "sim/sim_mode_switch.h"

namespace qx80 {
namespace {

// The restart after the closing command: the device has acknowledged it and leaves the bus
// a second later.
constexpr uint32_t kDuringReturnMs = 500;

struct NamedPoint {
  std::string_view name;
  SimCutPoint point;
};
constexpr NamedPoint kModePoints[] = {
    {"switch", {.id = SIM_MSG_DEVICE_MODE, .index = 0}},
    {"closing", {.id = SIM_MSG_DEVICE_MODE, .index = 1}},
    {"return", {.id = SIM_MSG_DEVICE_MODE, .index = 1, .afterMs = kDuringReturnMs}},
};
// After "partP-"; a block takes its number after the name.
constexpr NamedPoint kPartPoints[] = {
    {"begin", {.id = MSG_FIRM_BEGIN}},
    {"block-", {.id = MSG_FIRM_BLOCK}},
    {"end", {.id = MSG_FIRM_END}},
};
constexpr int kParts = 2;

bool ParseNumber(std::string_view text, int& value) {
  return ParseWholeNumber(text, value) && value >= 0;
}

}  // namespace

std::optional<SimCutPoint> ParseSimCutPoint(std::string_view name) {
  for (const NamedPoint& named : kModePoints) {
    if (named.name == name) {
      return named.point;
    }
  }
  constexpr std::string_view kPart = "part";
  const size_t dash = name.find('-');
  int part = 0;
  if (!name.starts_with(kPart) || dash == std::string_view::npos ||
      !ParseNumber(name.substr(kPart.size(), dash - kPart.size()), part) || part < 1 || part > kParts) {
    return std::nullopt;
  }
  const std::string_view rest = name.substr(dash + 1);
  for (const NamedPoint& named : kPartPoints) {
    SimCutPoint point = named.point;
    point.part = part - 1;
    if (named.point.id == MSG_FIRM_BLOCK) {
      if (rest.starts_with(named.name) && ParseNumber(rest.substr(named.name.size()), point.index)) {
        return point;
      }
    } else if (rest == named.name) {
      return point;
    }
  }
  return std::nullopt;
}

void SimCutWatch::See(const MessageHeader& header) {
  if (m_didCut) {
    return;
  }
  bool here = false;
  if (header.id == SIM_MSG_DEVICE_MODE) {
    here = header.id == m_point.id && m_modeCommands == m_point.index;
    ++m_modeCommands;
  } else if (header.id == MSG_FIRM_BEGIN) {
    ++m_part;
    m_blocks = 0;
    here = header.id == m_point.id && m_part == m_point.part;
  } else if (header.id == MSG_FIRM_BLOCK) {
    here = header.id == m_point.id && m_part == m_point.part && m_blocks == m_point.index;
    ++m_blocks;
  } else if (header.id == MSG_FIRM_END) {
    here = header.id == m_point.id && m_part == m_point.part;
  }
  if (here) {
    m_didCut = true;
    m_cut(m_point.afterMs);
  }
}

}  // namespace qx80
