// The simulated QX-80's mode switch and the named scenarios, behind a real channel.
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <set>
#include <string>
#include <string_view>
#include <thread>

#include "device/hid_backend.h"
#include "platform/clock.h"
#include "protocol/device_protocol.h"
#include "sim/sim_scenarios.h"

namespace qx80 {
namespace {

using Block = std::array<uint8_t, 188>;

constexpr int32_t kCmdDeviceMode = 1;
constexpr int32_t kCmdVersion = 11;
constexpr uint32_t kHostSwitchLimitMs = 120000;

// Waits in clock time, checking every 100 clock ms; whether `done` held in the end.
template <typename Predicate>
bool WaitClock(uint32_t ms, Predicate done) {
  for (uint32_t waited = 0; !done(); waited += 100) {
    if (waited > ms) {
      return false;
    }
    GetClock().Sleep(100);
  }
  return true;
}

ProtocolResult ModeCommand(CDeviceProtocol& channel, uint8_t value) {
  Block block{};
  block[0] = value;
  return channel.Execute(kCmdDeviceMode, block.data(), nullptr);
}

struct SwitchCase {
  const char* scenario;
  ProtocolResult ack;        // of command 1 with 0
  bool returnsInUpdateMode;  // within the host's two minutes
  bool staysInUpdateMode;    // and is still there 10 s later
};

// Test names show the case's name, not its bytes.
void PrintTo(const SwitchCase& c, std::ostream* os) {
  *os << c.scenario;
}

const SwitchCase kSwitchCases[] = {
    {"ok", ResultOk, true, true},
    {"returns-late", ResultOk, true, true},
    {"no-ack-switch", ResultTransferFailed, false, false},
    {"never-returns", ResultOk, false, false},
    {"leaves-during-ticks", ResultOk, true, false},
};

class SimModeSwitchTest : public ::testing::TestWithParam<SwitchCase> {
 protected:
  // The switch's acknowledgement is waited for unless it is meant to time out; the device's
  // restart and the host's two minutes run scaled.
  // The device leaves 1 s (clock) after its acknowledgement, which the host must have read by
  // then: 50 ms of real time at 20x. A device that stays in update mode only 4 s is watched on
  // a slower clock still, so that the test sees the stay however late its thread runs on a
  // busy machine.
  ScaledClock m_clock{std::string_view(GetParam().scenario) == "leaves-during-ticks" ? 10.0 : 20.0,
                      GetParam().ack == ResultTransferFailed ? Bounds::Scaled : Bounds::Real};
  ScopedClock m_scoped{m_clock};
};

TEST_P(SimModeSwitchTest, EntersUpdateModeAsTheScenarioSays) {
  const SwitchCase& c = GetParam();
  SimQx80Rig rig(*FindSimScenario(c.scenario));
  ScopedHidBackend backend(rig.Bus());
  SimQx80Device& device = rig.Device();
  auto channel = CDeviceProtocol::Create(CHANNEL_MODE_NORMAL, nullptr);
  ASSERT_NE(channel, nullptr);
  EXPECT_EQ(ModeCommand(*channel, 0), c.ack);
  channel.reset();

  const auto inUpdateMode = [&] { return device.IsPlugged() && device.ProductId() == QX80_PRODUCT_UPDATE; };
  EXPECT_EQ(WaitClock(kHostSwitchLimitMs, inUpdateMode), c.returnsInUpdateMode);
  if (c.returnsInUpdateMode) {
    GetClock().Sleep(10000);
    EXPECT_EQ(inUpdateMode(), c.staysInUpdateMode);
  }
  if (c.ack != ResultOk) {
    EXPECT_TRUE(device.IsPlugged());
    EXPECT_EQ(device.ProductId(), QX80_PRODUCT_NORMAL) << "a refused switch leaves the device as it was";
  }
}

INSTANTIATE_TEST_SUITE_P(Scenarios, SimModeSwitchTest, ::testing::ValuesIn(kSwitchCases),
                         [](const ::testing::TestParamInfo<SwitchCase>& param) {
                           std::string name = param.param.scenario;
                           std::erase(name, '-');
                           return name;
                         });

// Leaving the update mode commits what was written there; the version query then reports it.
TEST(SimModeSwitchCommitTest, LeavingUpdateModeCommitsThePendingVersions) {
  // The acknowledgement of 1 must be read before the device leaves, 1 s (clock) after it.
  ScaledClock clock(10, Bounds::Real);
  ScopedClock scoped(clock);
  SimQx80Rig rig(*FindSimScenario("start-in-update-mode"));
  ScopedHidBackend backend(rig.Bus());
  SimQx80Device& device = rig.Device();
  device.SetPendingVersion(0x21, "2.09");
  EXPECT_EQ(device.ProductId(), QX80_PRODUCT_UPDATE);
  auto channel = CDeviceProtocol::Create(CHANNEL_MODE_UPDATE, nullptr);
  ASSERT_NE(channel, nullptr);
  EXPECT_EQ(ModeCommand(*channel, 0), ResultOk) << "0 in update mode changes nothing";
  EXPECT_EQ(ModeCommand(*channel, 1), ResultOk);
  channel.reset();

  ASSERT_TRUE(
      WaitClock(kHostSwitchLimitMs, [&] { return device.IsPlugged() && device.ProductId() == QX80_PRODUCT_NORMAL; }));
  channel = CDeviceProtocol::Create(CHANNEL_MODE_NORMAL, nullptr);
  ASSERT_NE(channel, nullptr);
  for (const auto& [selector, expected] : {std::pair<uint8_t, std::string>{0x21, "2.09"}, {0x20, "2.05"}}) {
    Block block{};
    block[0] = selector;
    ASSERT_EQ(channel->Execute(kCmdVersion, block.data(), nullptr), ResultOk);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(block.data() + 4)), expected);
  }
}

TEST(SimScenariosTest, EveryScenarioHasItsOwnNameAndBuilds) {
  std::set<std::string_view> names;
  for (const SimScenario& scenario : SimScenarios()) {
    EXPECT_TRUE(names.insert(scenario.name).second) << scenario.name;
    SimQx80Rig rig(scenario, "1.23");
    EXPECT_EQ(rig.DeviceCount(), static_cast<size_t>(scenario.deviceCount));
    for (size_t i = 0; i < rig.DeviceCount(); ++i) {
      EXPECT_EQ(rig.Device(i).ProductId(), scenario.productId);
    }
  }
  for (const char* name : {"ok", "up-to-date", "start-in-update-mode", "no-ack-switch", "never-returns", "returns-late",
                           "leaves-during-ticks", "refuse-block-3", "nak-then-ok", "last-block-status-1", "end-timeout",
                           "unplug-mid-transfer", "two-devices", "no-device", "versions-refused", "keeps-old-firmware",
                           "gone-after-update"}) {
    EXPECT_NE(FindSimScenario(name), nullptr) << name;
  }
  EXPECT_EQ(FindSimScenario("nonsense"), nullptr);
  EXPECT_EQ(ScenarioConfig(*FindSimScenario("up-to-date")).versions.at(0x21), "2.09");
  EXPECT_EQ(ScenarioConfig(*FindSimScenario("ok"), "1.50").versions.at(0x21), "1.50");
}

}  // namespace
}  // namespace qx80
