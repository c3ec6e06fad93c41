// The power of the simulated QX-80 goes at one point of a whole `qx80 update` (the tool, the
// update worker, the channel), one row per point: the run is never confirmed, ends with the
// exit status and a line of what to do as documented, and leaves the device in its update
// mode; a second `qx80 update --yes` then writes it and confirms 2.09.
//
// Where the device comes back: it leaves its update mode only when the host ends it with
// command 1 and value 1, and the images written there become its running firmware only as it
// restarts after that command. So wherever the power goes, from the switch to update mode
// (the device has taken the command; only its acknowledgement is lost) to the restart after
// the closing command, it starts again in its update mode with its firmware unfinished. A cut
// before the switch or after the restart is no cut of the update: the tool has then either
// not begun or already seen the device back in normal mode.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "link/device_link.h"
#include "platform/clock.h"
#include "protocol/device_protocol.h"
#include "protocol/firmware_transfer.h"
#include "protocol/message.h"
#include "sim/sim_mode_switch.h"
#include "sim/sim_power_cut.h"
#include "tests/cli/interrupt_trigger.h"

namespace qx80::cli {
namespace {

// Blocks of the carried package's two parts (UAMC: 2,721,152 bytes; FWUP: 289,268 bytes).
constexpr int kPartBlocks[] = {665, 71};
// The power comes back a minute later (clock milliseconds): after the settling ticks and
// every answer's time-out, so that the cut is always seen as a lost device. A device back
// within the ticks is written in full, and rightly confirmed.
constexpr uint32_t kOffMs = 60000;
// Success paths run fifty times faster on real time-outs, as in the fault matrix.
constexpr double kSpeed = 50;

// Where the power goes: at a request (before the device acts on it), `afterMs` clock
// milliseconds after one, or when the tool's JSON output shows a text (the settling ticks).
struct CutPoint {
  std::string name = {};
  SimCutPoint at = {};                // its id is 0 for a cut on output
  const char* output = nullptr;       // for a cut on output
  std::vector<int32_t> results = {};  // the printed result code: one of these
  int exit = 1;
};

void PrintTo(const CutPoint& point, std::ostream* os) {
  *os << point.name;
}

// A point by the name qx80-sim --power-cut takes.
SimCutPoint Named(const std::string& name) {
  return ParseSimCutPoint(name).value();
}

std::vector<CutPoint> CutPoints() {
  std::vector<CutPoint> points;
  // The switch is never acknowledged (-7), or, where the watcher sees the device leave before
  // the worker's command gives up (seen under emulation), the channel is gone (-4); from the
  // ticks on, the writing finds the link lost (-11) and the device is never told to leave its
  // update mode.
  points.push_back({.name = "Switch", .at = Named("switch"), .results = {ResultTransferFailed, ResultNoChannel}});
  // During the ticks: whichever the worker meets first, its check after the ticks that the
  // device is still in its update mode (-2), the lost link (-11) or the begin's time-outs
  // (-15): how soon the lost device is noticed is the machine's timing.
  // Early, midway and late in the settling ticks (progress 1 to 9).
  points.push_back({.name = "TickEarly",
                    .output = "\"percent\": 1}",
                    .results = {ResultModeTimeout, ResultChannelClosed, ResultWriteFailed}});
  points.push_back({.name = "TickMidway",
                    .output = "\"percent\": 5}",
                    .results = {ResultModeTimeout, ResultChannelClosed, ResultWriteFailed}});
  points.push_back({.name = "TickLate",
                    .output = "\"percent\": 9}",
                    .results = {ResultModeTimeout, ResultChannelClosed, ResultWriteFailed}});
  for (int part = 0; part < 2; ++part) {
    const std::string partName = "Part" + std::to_string(part + 1);
    const std::string simName = "part" + std::to_string(part + 1) + "-";
    points.push_back({.name = partName + "Begin", .at = Named(simName + "begin"), .results = {ResultChannelClosed}});
    // The first, second and last block, and others spread evenly: 26 in the first part and
    // 14 in the second, 40 in all.
    const int count = part == 0 ? 26 : 14;
    const int last = kPartBlocks[part] - 1;
    std::vector<int> blocks = {0, 1, last};
    for (int i = 1; i <= count - 3; ++i) {
      blocks.push_back(1 + (last - 1) * i / (count - 2));
    }
    for (const int block : blocks) {
      points.push_back({.name = partName + "Block" + std::to_string(block),
                        .at = Named(simName + "block-" + std::to_string(block)),
                        .results = {ResultChannelClosed}});
    }
    points.push_back({.name = partName + "End", .at = Named(simName + "end"), .results = {ResultChannelClosed}});
  }
  // The closing command's answer is not waited for: the update has reported success, and
  // the device's return in normal mode is what fails (exit 3, unconfirmed).
  points.push_back({.name = "Closing", .at = Named("closing"), .results = {ResultOk}, .exit = 3});
  // During the return: still on the bus (it leaves 1 s after the closing command), then off it.
  for (const uint32_t afterMs : {500U, 2000U}) {
    points.push_back({.name = "Return" + std::to_string(afterMs) + "ms",
                      .at = {.id = SIM_MSG_DEVICE_MODE, .index = 1, .afterMs = afterMs},
                      .results = {ResultOk},
                      .exit = 3});
  }
  return points;
}

// Cuts the power at the point's request, or on output; from the cut on, every wait of the
// tool has a time-out as its outcome: the switch's acknowledgement, the device's return.
class CutWatch {
 public:
  CutWatch(const CutPoint& point, SimQx80Device& device)
      : m_device(device), m_requests(point.at, [this](uint32_t afterMs) { Cut(afterMs); }) {}

  void See(const MessageHeader& header) { m_requests.See(header); }

  void Cut(uint32_t afterMs) {
    if (m_cut) {
      return;
    }
    m_cut = true;
    dynamic_cast<ScaledClock&>(GetClock()).SetBounds(Bounds::Scaled);
    m_device.PowerCut(afterMs, QX80_PRODUCT_UPDATE, kOffMs);
  }

  bool DidCut() const { return m_cut; }

 private:
  SimQx80Device& m_device;
  SimCutWatch m_requests;
  bool m_cut = false;
};

struct UpdateRun {
  int exit = -1;
  std::string out;
  std::string said;
};

UpdateRun RunJsonUpdate(const std::string& device, OutputTrigger& outBuffer) {
  std::ostream out(&outBuffer);
  std::ostringstream err;
  const std::vector<std::string> args = {"--device", device, "--yes", "--json", "--speed", std::to_string(kSpeed)};
  UpdateRun run;
  run.exit = RunUpdate(args, out, err);
  run.out = outBuffer.str();
  run.said = run.out + err.str();
  return run;
}

std::optional<int32_t> PrintedResult(const std::string& out) {
  std::smatch match;
  if (!std::regex_search(out, match, std::regex(R"re("event": "result", "code": (-?[0-9]+))re"))) {
    return std::nullopt;
  }
  return std::stoi(match[1]);
}

// The end line's status, exit status and whether it names something to do.
struct End {
  std::string status;
  int exit = -1;
  bool remedy = false;
};

End PrintedEnd(const std::string& out) {
  std::smatch match;
  End end;
  if (std::regex_search(
          out, match,
          std::regex(R"re("event": "end", "status": "([a-z]+)", "exit": ([0-9]+), "remedy": (null|"))re"))) {
    end.status = match[1];
    end.exit = std::stoi(match[2]);
    end.remedy = match[3] != "null";
  }
  return end;
}

class UpdatePowerCutTest : public ::testing::TestWithParam<CutPoint> {
 protected:
  void TearDown() override { WatchSimRigs({}); }
};

TEST_P(UpdatePowerCutTest, NeverConfirmedAndTheNextUpdateRecovers) {
  const CutPoint& point = GetParam();
  std::optional<CutWatch> watch;
  bool plugged = false;
  uint16_t productId = 0;
  WatchSimRigs({.began =
                    [&](SimQx80Rig& rig) {
                      watch.emplace(point, rig.Device());
                      if (point.at.id != 0) {
                        rig.Device().ObserveRequests([&watch](const MessageHeader& header) { watch->See(header); });
                      }
                    },
                .ending =
                    [&](SimQx80Rig& rig) {
                      // The device's return after the cut, which the tool need not wait for.
                      EXPECT_TRUE(rig.Device().WaitIdle());
                      plugged = rig.Device().IsPlugged();
                      productId = rig.Device().ProductId();
                    }});
  OutputTrigger cutBuffer;
  if (point.output != nullptr) {
    cutBuffer.On(point.output, [&watch] { watch->Cut(0); });
  }
  const UpdateRun cut = RunJsonUpdate("sim:ok", cutBuffer);
  ASSERT_TRUE(watch.has_value() && watch->DidCut()) << cut.said;

  EXPECT_EQ(cut.exit, point.exit) << cut.said;
  const std::optional<int32_t> result = PrintedResult(cut.out);
  EXPECT_TRUE(result.has_value() && std::ranges::find(point.results, *result) != point.results.end())
      << testing::PrintToString(result) << "\n"
      << cut.said;
  const End end = PrintedEnd(cut.out);
  EXPECT_NE(end.status, "confirmed") << cut.said;
  EXPECT_EQ(end.status, point.exit == 3 ? "unconfirmed" : "failed") << cut.said;
  EXPECT_EQ(end.exit, point.exit) << cut.said;
  EXPECT_TRUE(end.remedy) << cut.said;
  EXPECT_TRUE(plugged);
  EXPECT_EQ(productId, QX80_PRODUCT_UPDATE);

  // The same device, as the cut left it: in its update mode, which is always written. The
  // link of each run builds its own simulated bus, so the second starts from that state.
  WatchSimRigs({});
  OutputTrigger recoveryBuffer;
  const UpdateRun recovery = RunJsonUpdate("sim:start-in-update-mode", recoveryBuffer);
  EXPECT_EQ(recovery.exit, 0) << recovery.said;
  EXPECT_EQ(PrintedResult(recovery.out), ResultOk) << recovery.said;
  EXPECT_EQ(PrintedEnd(recovery.out).status, "confirmed") << recovery.said;
  EXPECT_NE(recovery.out.find(R"({"name": "UAMC", "device": "2.09", "package": "2.09"})"), std::string::npos)
      << recovery.said;
}

INSTANTIATE_TEST_SUITE_P(Points, UpdatePowerCutTest, ::testing::ValuesIn(CutPoints()),
                         [](const ::testing::TestParamInfo<CutPoint>& param) { return param.param.name; });

TEST(UpdatePowerCutPoints, FiftyOrMoreWithFortyBlocks) {
  const std::vector<CutPoint> points = CutPoints();
  int blocks = 0;
  for (const CutPoint& point : points) {
    blocks += point.at.id == MSG_FIRM_BLOCK ? 1 : 0;
  }
  EXPECT_GE(points.size(), 50u);
  EXPECT_EQ(blocks, 40);
}

}  // namespace
}  // namespace qx80::cli
