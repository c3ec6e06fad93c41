#include "workers/device_comm_app.h"

#include <gtest/gtest.h>

#include "tests/workers/update_test_rig.h"

namespace qx80 {
namespace {

TEST(DeviceCommAppTest, CommandsNeedAChannel) {
  SimQx80Rig rig(*FindSimScenario("ok"));
  ScopedHidBackend backend(rig.Bus());
  rig.Device().KeepRequests();
  CDeviceCommApp comm;
  EXPECT_EQ(comm.Release(), 0) << "nothing open: nothing changes";
  EXPECT_EQ(comm.RunCommand(11), ResultNoChannel);
  EXPECT_TRUE(rig.Device().Requests().empty()) << "no channel, no request";

  ASSERT_TRUE(comm.Connect(DEVICE_MODE_NORMAL));
  EXPECT_EQ(comm.m_open.load(), 1);
  EXPECT_EQ(comm.m_ready.load(), 1);
  EXPECT_FALSE(comm.Connect(DEVICE_MODE_NORMAL)) << "an open channel stays as it is";
  comm.m_params[0] = 0x21;
  EXPECT_EQ(comm.RunCommand(11), ResultOk);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(comm.m_params + 4), 4), "2.05");

  comm.Disconnect();
  EXPECT_EQ(comm.m_ready.load(), 0);
  EXPECT_EQ(comm.m_open.load(), 0);
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
  EXPECT_EQ(comm.m_ready.load(), 1);
  EXPECT_FALSE(comm.HasChannel());
  EXPECT_FALSE(comm.Connect(DEVICE_MODE_UPDATE)) << "no device in update mode";
  EXPECT_EQ(comm.m_open.load(), 0);
}

}  // namespace
}  // namespace qx80
