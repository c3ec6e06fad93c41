#include "workers/device_comm_app.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "tests/workers/update_test_rig.h"

namespace qx80 {
namespace {

TEST(DeviceCommAppTest, CommandsNeedAChannel) {
  SimQx80Rig rig(*FindSimScenario("ok"));
  ScopedHidBackend backend(rig.Bus());
  rig.Device().KeepRequests();
  CDeviceCommApp comm;
  EXPECT_EQ(comm.Release(), 0) << "nothing open: nothing changes";
  bool stepped = false;
  const auto note = [&stepped](auto&&...) { stepped = true; };
  EXPECT_EQ(comm.RunCommand(11, {.fill = note, .read = note}), ResultNoChannel);
  EXPECT_FALSE(stepped) << "no channel: the block is neither filled nor read";
  EXPECT_TRUE(rig.Device().Requests().empty()) << "no channel, no request";

  ASSERT_TRUE(comm.Connect(DEVICE_MODE_NORMAL));
  EXPECT_EQ(comm.OpenFlag(), 1);
  EXPECT_EQ(comm.ReadyFlag(), 1);
  EXPECT_FALSE(comm.Connect(DEVICE_MODE_NORMAL)) << "an open channel stays as it is";
  std::string version;
  EXPECT_EQ(comm.RunCommand(11, {.fill = [](ParameterBlock block) { block[0] = 0x21; },
                                 .read =
                                     [&version](ParameterBlockView block, const StatusPair&) {
                                       version.assign(reinterpret_cast<const char*>(block.data() + 4), 4);
                                     }}),
            ResultOk);
  EXPECT_EQ(version, "2.05");

  comm.Disconnect();
  EXPECT_EQ(comm.ReadyFlag(), 0);
  EXPECT_EQ(comm.OpenFlag(), 0);
  EXPECT_FALSE(comm.HasChannel());
  EXPECT_EQ(comm.RunCommand(11), ResultNoChannel);
  EXPECT_EQ(rig.Bus().OpenHandleCount(), 0u);
}

TEST(DeviceCommAppTest, ReleaseKeepsTheReadyFlag) {
  SimQx80Rig rig(*FindSimScenario("ok"));
  ScopedHidBackend backend(rig.Bus());
  CDeviceCommApp comm;
  ASSERT_TRUE(comm.Connect(DEVICE_MODE_NORMAL));
  EXPECT_EQ(comm.Release(), 0);
  EXPECT_EQ(comm.ReadyFlag(), 1);
  EXPECT_FALSE(comm.HasChannel());
  EXPECT_FALSE(comm.Connect(DEVICE_MODE_UPDATE)) << "no device in update mode";
  EXPECT_EQ(comm.OpenFlag(), 0);
}

// Two threads query different components at once: each reads the reply to its own query,
// because filling, running and reading are one step under the connection's lock.
TEST(DeviceCommAppTest, ConcurrentCommandsReadTheirOwnReplies) {
  SimQx80Rig rig(*FindSimScenario("ok"));
  ScopedHidBackend backend(rig.Bus());
  rig.Device().SetVersion(0x20, "3.10");
  CDeviceCommApp comm;
  ASSERT_TRUE(comm.Connect(DEVICE_MODE_NORMAL));
  const auto query = [&comm](uint8_t selector, const char* want) {
    for (int i = 0; i < 40; ++i) {
      std::string version;
      const ProtocolResult result =
          comm.RunCommand(11, {.fill = [selector](ParameterBlock block) { block[0] = selector; },
                               .read =
                                   [&version](ParameterBlockView block, const StatusPair&) {
                                     version.assign(reinterpret_cast<const char*>(block.data() + 4), 4);
                                   }});
      EXPECT_EQ(result, ResultOk);
      EXPECT_EQ(version, want) << "selector " << int{selector};
    }
  };
  std::thread other(query, uint8_t{0x20}, "3.10");
  query(0x21, "2.05");
  other.join();
  comm.Disconnect();
}

}  // namespace
}  // namespace qx80
