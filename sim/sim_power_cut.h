#pragma once
// Where the simulated QX-80 loses its power during an update, counted on the host's requests:
// a mode command (the switch to update mode or the closing one), or a part's begin, block or
// end. qx80-sim (--power-cut POINT) and the tests name the same points.
#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>

#include "protocol/message.h"

namespace qx80 {

struct SimCutPoint {
  uint16_t id = 0;       // the request's message id
  int part = -1;         // for a part's begin, block or end: 0 for the first part
  int index = 0;         // the block within its part, or which mode command (0 the switch, 1 the closing)
  uint32_t afterMs = 0;  // clock milliseconds from the request to the cut (0: before it is handled)
};

// The names qx80-sim takes: switch, closing, return, partP-begin, partP-block-B, partP-end
// (P from 1, B from 0). Null for another name.
std::optional<SimCutPoint> ParseSimCutPoint(std::string_view name);
// The names as qx80-sim --help lists them, one a line.
inline constexpr std::string_view kSimCutPointNames =
    "  switch: the device takes command 1 into its update mode; its acknowledgement is lost\n"
    "  partP-begin, partP-block-B, partP-end: at that request of image part P (from 1), block B\n"
    "    (from 0), before the device acts on it\n"
    "  closing: at command 1 out of the update mode, before the device acts on it\n"
    "  return: 0.5 s after that command, as the device restarts with the written firmware\n";

// Follows the requests of one run and calls `cut` once, at the point's request, with the
// point's delay. Requests arrive one at a time, on the host's writing thread.
class SimCutWatch {
 public:
  SimCutWatch(const SimCutPoint& point, std::function<void(uint32_t afterMs)> cut)
      : m_point(point), m_cut(std::move(cut)) {}

  void See(const MessageHeader& header);
  bool DidCut() const { return m_didCut; }

 private:
  SimCutPoint m_point;
  std::function<void(uint32_t)> m_cut;
  int m_modeCommands = 0;
  int m_part = -1;
  int m_blocks = 0;
  bool m_didCut = false;
};

}  // namespace qx80
