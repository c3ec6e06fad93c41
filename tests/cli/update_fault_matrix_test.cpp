// Every named situation of the simulated QX-80 through the whole of `qx80 update` (the tool,
// the update worker, the channel), one row each: what the tool printed and returned, whether
// the device was told to leave its update mode, where the device is afterwards and how much
// clock time the run took at most. The interrupt rows stop the run through the tool's own
// seam when its output shows a given text.
#include <gtest/gtest.h>

#include <chrono>
#include <iostream>
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
#include "tests/cli/interrupt_trigger.h"
#include "tests/support/image_builder.h"

namespace qx80::cli {
namespace {

enum class Mode { Normal, Update, Absent };

const char* ModeName(Mode mode) {
  switch (mode) {
    case Mode::Normal:
      return "normal";
    case Mode::Update:
      return "update";
    default:
      return "absent";
  }
}

// What one simulated device went through, read as the tool's link ends.
struct DeviceSeen {
  int modeCommands = 0;      // command 1, either way
  int closingCommands = 0;   // command 1 with 1: leave the update mode
  int firmwareRequests = 0;  // begin, block and end of a transfer
  Mode mode = Mode::Absent;
};

// Longer than any legal run of the carried package: the tool's own wait for the result (every
// request of the update waiting out its time-out on every attempt, plus a minute) and its wait
// for the device's return. Rows on a path that should succeed take their waits for answers in
// real time, so they are held only to this.
constexpr double kAtMostTheToolsGuardS = 21200;

struct MatrixRow {
  const char* name;
  const char* device;
  std::vector<std::string> options;  // besides --device, --yes and --speed
  double speed;
  std::optional<int32_t> result;  // the printed result; none when the tool refuses first
  int exit;
  bool closing;  // the device was told to leave its update mode
  Mode after;
  double boundS;  // clock seconds the whole run took at most
  const char* trigger = nullptr;
  int interrupts = 0;
  bool smallPackage = false;  // one two-block TIPA part instead of the carried package
  // The output from which on the time-outs are scaled: what comes before should succeed and
  // runs on real time-outs, what comes after has a time-out as its outcome.
  const char* scaleFrom = nullptr;
  // Time-outs scaled only while the transfer ends: from the device's first end request until
  // the closing command, so that the switch, the blocks and the restart run on real ones.
  bool scaleEnds = false;
};

void PrintTo(const MatrixRow& row, std::ostream* os) {
  *os << row.name;
}

// Rows whose outcome is a time-out (of a reply, of the device's return) scale the time-outs
// from the step whose time-out it is (the whole run for no-ack-switch, whose first step is
// it) and run slower, so that the bound holds on a busy machine; their bounds are three
// times the longest the path may take:
//   no-ack-switch: four attempts of command 1 at 5 s, the device never left: about 25 s;
//   never-returns: 601 pauses of 200 ms, then 15 s for the device's return (scaled from the
//   tool's wait for it): about 140 s;
//   leaves-during-ticks: the switch, 20 ticks of 500 ms, 26 pauses of 200 ms, 15 s (scaled as
//   in never-returns): about 35 s,
//   but a busy machine may let its 4 s stay pass unseen, and the run is then never-returns';
//   end-timeout: the switch and ticks, five ends of 39.24 s (only these on scaled time-outs),
//   the closing command and the restart: about 230 s;
//   gone-after-update: the whole update on real time-outs (about 19 s), then, scaled from the
//   moment the tool waits for the device's return, 130 s for it: about 150 s.
constexpr const char* kScaled = "--scale-time-outs";
constexpr const char* kReturnWait = "to restart in normal mode...";

// clang-format off
const MatrixRow kRows[] = {
    // name                             device                       options            speed  result                 exit  closing after         bound (clock s)
    {"Ok",                              "sim:ok",                    {},                50,    ResultOk,              0,    true,   Mode::Normal, kAtMostTheToolsGuardS},
    {"UpToDate",                        "sim:up-to-date",            {},                50,    ResultOk,              0,    true,   Mode::Normal, kAtMostTheToolsGuardS},
    {"StartInUpdateMode",               "sim:start-in-update-mode",  {},                50,    ResultOk,              0,    true,   Mode::Normal, kAtMostTheToolsGuardS},
    {"NoAckSwitch",                     "sim:no-ack-switch",         {kScaled},         20,    ResultTransferFailed,  1,    false,  Mode::Normal, 75},
    {"NeverReturns",                    "sim:never-returns",         {},                20,    ResultModeTimeout,     1,    false,  Mode::Absent, 420, nullptr, 0, false, kReturnWait},
    {"ReturnsLate",                     "sim:returns-late",          {},                50,    ResultOk,              0,    true,   Mode::Normal, kAtMostTheToolsGuardS},
    {"LeavesDuringTicks",               "sim:leaves-during-ticks",   {},                20,    ResultModeTimeout,     1,    false,  Mode::Absent, 420, nullptr, 0, false, kReturnWait},
    {"RefuseBlock3",                    "sim:refuse-block-3",        {},                50,    ResultWriteFailed,     1,    true,   Mode::Normal, kAtMostTheToolsGuardS},
    {"NakThenOk",                       "sim:nak-then-ok",           {},                50,    ResultOk,              0,    true,   Mode::Normal, kAtMostTheToolsGuardS},
    {"LastBlockStatus1",                "sim:last-block-status-1",   {},                50,    ResultWriteFailed,     1,    true,   Mode::Normal, kAtMostTheToolsGuardS},
    {"EndTimeout",                      "sim:end-timeout",           {},                20,    ResultFinishFailed,    1,    true,   Mode::Normal, 690, nullptr, 0, true, nullptr, true},
    {"UnplugMidTransfer",               "sim:unplug-mid-transfer",   {},                50,    ResultChannelClosed,   1,    false,  Mode::Absent, kAtMostTheToolsGuardS},
    {"VersionsRefused",                 "sim:versions-refused",      {},                50,    ResultOk,              3,    true,   Mode::Normal, kAtMostTheToolsGuardS},
    {"KeepsOldFirmware",                "sim:keeps-old-firmware",    {},                50,    ResultOk,              3,    true,   Mode::Normal, kAtMostTheToolsGuardS},
    {"GoneAfterUpdate",                 "sim:gone-after-update",     {},                20,    ResultOk,              3,    true,   Mode::Absent, 450, nullptr, 0, false, kReturnWait},
    {"NoDevice",                        "sim:no-device",             {},                50,    std::nullopt,          1,    false,  Mode::Absent, kAtMostTheToolsGuardS},
    {"TwoDevicesNoneChosen",            "sim:two-devices",           {},                50,    std::nullopt,          2,    false,  Mode::Normal, kAtMostTheToolsGuardS},
    {"TwoDevicesOneChosen",             "sim:two-devices",           {"--index", "1"},  50,    ResultOk,              0,    true,   Mode::Normal, kAtMostTheToolsGuardS},
    {"InterruptedBeforeTheWrite",       "sim:ok",                    {},                50,    std::nullopt,          4,    false,  Mode::Normal, kAtMostTheToolsGuardS, "before: QX-80 in normal mode", 1},
    {"InterruptedOnceDuringTheWrite",   "sim:ok",                    {},                50,    ResultOk,              0,    true,   Mode::Normal, kAtMostTheToolsGuardS, "progress: 30%", 1},
    {"InterruptedTwiceDuringTheWrite",  "sim:ok",                    {},                50,    ResultStopped,         4,    false,  Mode::Update, kAtMostTheToolsGuardS, "progress: 30%", 2},
};
// clang-format on

class UpdateFaultMatrixTest : public ::testing::TestWithParam<MatrixRow> {
 protected:
  void TearDown() override { WatchSimRigs({}); }
};

DeviceSeen See(SimQx80Device& device) {
  DeviceSeen seen;
  for (const std::vector<uint8_t>& request : device.Requests()) {
    const MessageHeader header = ReadHeader(request.data());
    if (header.id == SIM_MSG_DEVICE_MODE) {
      ++seen.modeCommands;
      seen.closingCommands += header.arg == SIM_LEAVE_UPDATE_MODE ? 1 : 0;
    } else if (header.id == MSG_FIRM_BEGIN || header.id == MSG_FIRM_BLOCK || header.id == MSG_FIRM_END) {
      ++seen.firmwareRequests;
    }
  }
  if (device.IsPlugged()) {
    seen.mode = device.ProductId() == QX80_PRODUCT_UPDATE ? Mode::Update : Mode::Normal;
  }
  return seen;
}

// Switches the clock's bounds as the device sees the transfer's end and then the closing
// command: only the waits for the end's answers are scaled.
void ScaleTheEnds(const MessageHeader& header) {
  auto& clock = dynamic_cast<ScaledClock&>(GetClock());
  if (header.id == MSG_FIRM_END) {
    clock.SetBounds(Bounds::Scaled);
  } else if (header.id == SIM_MSG_DEVICE_MODE && header.arg == SIM_LEAVE_UPDATE_MODE) {
    clock.SetBounds(Bounds::Real);
  }
}

TEST_P(UpdateFaultMatrixTest, EndsAsTheRowSays) {
  const MatrixRow& row = GetParam();
  std::vector<DeviceSeen> seen;
  WatchSimRigs({.began =
                    [&row](SimQx80Rig& rig) {
                      for (size_t i = 0; i < rig.DeviceCount(); ++i) {
                        rig.Device(i).KeepRequests();
                        if (row.scaleEnds) {
                          rig.Device(i).ObserveRequests(&ScaleTheEnds);
                        }
                      }
                    },
                .ending =
                    [&seen](SimQx80Rig& rig) {
                      for (size_t i = 0; i < rig.DeviceCount(); ++i) {
                        seen.push_back(See(rig.Device(i)));
                      }
                    }});

  const test::TempImageFile small(test::BuildTipaImage({.size = 2 * kFirmBlockSize, .version = "0209"}));
  std::vector<std::string> args = {"--device", row.device, "--yes", "--speed", std::to_string(row.speed)};
  args.insert(args.end(), row.options.begin(), row.options.end());
  if (row.smallPackage) {
    args.insert(args.end(), {"--package", small.Path().string()});
  }
  OutputTrigger outBuffer;
  if (row.trigger != nullptr) {
    outBuffer.On(row.trigger, Interrupts(row.interrupts));
  }
  if (row.scaleFrom != nullptr) {
    outBuffer.On(row.scaleFrom, [] { dynamic_cast<ScaledClock&>(GetClock()).SetBounds(Bounds::Scaled); });
  }
  std::ostream out(&outBuffer);
  std::ostringstream err;
  const auto start = std::chrono::steady_clock::now();
  const int exit = RunUpdate(args, out, err);
  const double clockS = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() * row.speed;
  const std::string said = outBuffer.str() + err.str();

  EXPECT_EQ(exit, row.exit) << said;
  std::smatch printed;
  const std::string text = outBuffer.str();
  const bool hasResult = std::regex_search(text, printed, std::regex("result: (-?[0-9]+) "));
  EXPECT_EQ(hasResult ? std::optional<int32_t>(std::stoi(printed[1])) : std::nullopt, row.result) << said;
  EXPECT_LE(clockS, row.boundS) << "clock seconds";

  // Only one device is ever written or switched, whatever the bus holds; an empty bus is one
  // absent device that saw nothing.
  if (seen.empty()) {
    seen.emplace_back();
  }
  size_t acted = 0;
  size_t actedOn = 0;
  for (size_t i = 0; i < seen.size(); ++i) {
    if (seen[i].modeCommands + seen[i].firmwareRequests > 0) {
      ++acted;
      actedOn = i;
    }
  }
  EXPECT_LE(acted, 1u) << "devices switched or written";
  EXPECT_EQ(seen[actedOn].closingCommands > 0, row.closing) << said;
  EXPECT_STREQ(ModeName(seen[actedOn].mode), ModeName(row.after)) << said;
}

INSTANTIATE_TEST_SUITE_P(Scenarios, UpdateFaultMatrixTest, ::testing::ValuesIn(kRows),
                         [](const ::testing::TestParamInfo<MatrixRow>& param) {
                           return std::string(param.param.name);
                         });

}  // namespace
}  // namespace qx80::cli
