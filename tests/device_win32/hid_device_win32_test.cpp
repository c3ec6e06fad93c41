// CHidDevice over the Win32 backend: the search and open on Wine's own HID interfaces, and
// report transfers through a named pipe that plays the device.
#include <gtest/gtest.h>

#include <array>
#include <numeric>
#include <optional>

#include "device/hid_device.h"
#include "device/win32/win32_hid_backend.h"
#include "device/win32/win32_hid_handle.h"
#include "tests/device_win32/pipe_peer.h"
#include "tests/device_win32/wine_hid.h"
#include "tests/support/counting_hid_backend.h"

namespace qx80 {
namespace {

class WineHidDeviceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!RunningUnderWine()) {
      GTEST_SKIP() << "Wine's virtual HID devices exist only under Wine";
    }
  }
  void TearDown() override { m_device.Close(); }

  CHidDevice m_device;
};

struct OpenCase {
  const char* name;
  std::array<int32_t, 5> query;  // vendor, product, input length, output length, index
  std::optional<uint16_t> product;
};

TEST_F(WineHidDeviceTest, OpensByIdsAndExactPayloadLengths) {
  const std::vector<OpenCase> cases = {
      {"the mouse: one payload byte, no output reports", {kWineVendorId, 1, 1, 0, 0}, 1},
      {"the keyboard: thirteen payload bytes", {kWineVendorId, 2, 13, 0, 0}, 2},
      {"a length counts the payload, not the report-id byte", {kWineVendorId, 1, 2, 0, 0}, {}},
      {"output length 0 demands no output reports; 1 is not a wildcard", {kWineVendorId, 1, 1, 1, 0}, {}},
      {"the device's own lengths", {kWineVendorId, 1, 64, 64, 0}, {}},
      {"there is only one such mouse", {kWineVendorId, 1, 1, 0, 1}, {}},
      {"an absent product", {kWineVendorId, 3, 1, 0, 0}, {}},
      {"another vendor", {0x1F5E, 1, 1, 0, 0}, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto& q = c.query;
    const HidDeviceInfo* info = m_device.Open(q[0], q[1], q[2], q[3], q[4]);
    ASSERT_EQ(info != nullptr, c.product.has_value());
    EXPECT_EQ(m_device.IsOpen(), c.product.has_value());
    if (info != nullptr) {
      EXPECT_EQ(info->caps.vendorId, kWineVendorId);
      EXPECT_EQ(info->caps.productId, *c.product);
    }
    m_device.Close();
  }
}

TEST_F(WineHidDeviceTest, IdsZeroOpenTheIndexThOpenableInterfaceInEnumerationOrder) {
  Win32HidBackend backend;
  std::vector<std::string> paths;
  ASSERT_TRUE(backend.Enumerate(paths));
  std::vector<HidInterfaceCaps> openable;
  for (const auto& path : paths) {
    if (const auto handle = backend.Open(path)) {
      openable.push_back(handle->Caps());
    }
  }
  ASSERT_GE(openable.size(), 2u);
  for (size_t index = 0; index < openable.size(); ++index) {
    SCOPED_TRACE(index);
    // The lengths are not looked at when both ids are 0.
    const HidDeviceInfo* info = m_device.Open(0, 0, 64, 64, static_cast<int32_t>(index));
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->caps.vendorId, openable[index].vendorId);
    EXPECT_EQ(info->caps.productId, openable[index].productId);
  }
  EXPECT_EQ(m_device.Open(0, 0, 64, 64, static_cast<int32_t>(openable.size())), nullptr);
  EXPECT_FALSE(m_device.IsOpen());
}

TEST_F(WineHidDeviceTest, LengthsAbove256AreRefusedBeforeAnythingIsEnumerated) {
  CountingHidBackend counting(PlatformHidBackend());
  const ScopedHidBackend scoped(counting);
  EXPECT_EQ(m_device.Open(0, 0, 257, 0, 0), nullptr);
  EXPECT_EQ(m_device.Open(kWineVendorId, 1, 1, 257, 0), nullptr);
  EXPECT_EQ(counting.enumerations, 0);
  EXPECT_NE(m_device.Open(0, 0, 256, 256, 0), nullptr) << "256 is accepted";
  EXPECT_GT(counting.enumerations, 0);
}

TEST_F(WineHidDeviceTest, ASilentDeviceTimesOutAndAnInterfaceWithoutOutputReportsTakesNoWrite) {
  ASSERT_NE(m_device.Open(kWineVendorId, 2, 13, 0, 0), nullptr);
  std::array<uint8_t, 64> payload;
  payload.fill(0x5A);
  for (int attempt = 0; attempt < 3; ++attempt) {
    EXPECT_EQ(m_device.ReadReport(payload.data(), 20), 0) << "attempt " << attempt;
  }
  EXPECT_EQ(m_device.WriteReport(payload.data(), 20), 0);
  EXPECT_TRUE(m_device.IsOpen()) << "a failed transfer does not close the device";
  EXPECT_EQ(payload[0], 0x5A);
}

TEST_F(WineHidDeviceTest, AbortReadReleasesAReadBlockedWithoutTimeOut) {
  ASSERT_NE(m_device.Open(kWineVendorId, 1, 1, 0, 0), nullptr);
  std::array<uint8_t, 1> payload{};
  int result = -1;
  ReleaseBlockedCall([&] { result = m_device.ReadReport(payload.data(), -1); }, [&] { m_device.AbortRead(); });
  EXPECT_EQ(result, 0);
  EXPECT_FALSE(m_device.IsOpen());
  EXPECT_EQ(m_device.ReadReport(payload.data(), -1), 0) << "an aborted device refuses reads at once";
  m_device.Close();
  m_device.Close();
}

TEST_F(WineHidDeviceTest, ManyOpenCloseCyclesLeaveNoHandleBehind) {
  std::array<uint8_t, 13> payload{};
  auto cycle = [&] {
    ASSERT_NE(m_device.Open(kWineVendorId, 2, 13, 0, 0), nullptr);
    EXPECT_EQ(m_device.ReadReport(payload.data(), 0), 0);
    m_device.Close();
    EXPECT_EQ(m_device.Open(kWineVendorId, 2, 64, 64, 0), nullptr);
  };
  cycle();  // the first use loads what the platform keeps for the process
  const size_t before = CountOwnHandles();
  for (int i = 0; i < 200; ++i) {
    cycle();
  }
  EXPECT_EQ(CountOwnHandles(), before);
}

// One interface with a named pipe behind it: a new peer for every open, so that the
// device's reads and writes go through the Win32 handle for real.
class PipeBackend : public HidBackend {
 public:
  explicit PipeBackend(const HidInterfaceCaps& caps) : m_caps(caps) {}
  bool Enumerate(std::vector<std::string>& paths) override {
    paths = {"pipe"};
    return true;
  }
  std::unique_ptr<HidHandle> Open(const std::string&) override {
    peer = std::make_unique<PipePeer>();
    return MakeWin32HidHandle(peer->TakeNearEnd(), m_caps);
  }
  std::unique_ptr<PipePeer> peer;  // the far end of the latest open

 private:
  HidInterfaceCaps m_caps;
};

class PipeHidDeviceTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_NE(m_device.Open(0x1F5E, 0x2A01, 64, 64, 0), nullptr); }
  void TearDown() override { m_device.Close(); }

  static std::array<uint8_t, 64> Payload(uint8_t first) {
    std::array<uint8_t, 64> payload;
    std::iota(payload.begin(), payload.end(), first);
    return payload;
  }

  PipeBackend m_backend{HidInterfaceCaps{0x1F5E, 0x2A01, 65, 65, 0, 5}};
  ScopedHidBackend m_scoped{m_backend};
  CHidDevice m_device;
};

TEST_F(PipeHidDeviceTest, ReportsCarryTheOutputReportIdOutAndLoseTheirFirstByteIn) {
  const auto out = Payload(1);
  ASSERT_TRUE(m_backend.peer->StartReceive());
  EXPECT_EQ(m_device.WriteReport(out.data(), 1000), 1);
  std::vector<uint8_t> wire;
  ASSERT_TRUE(m_backend.peer->FinishReceive(wire, 5000));
  ASSERT_EQ(wire.size(), 65u);
  EXPECT_EQ(wire[0], 5);
  EXPECT_TRUE(std::equal(out.begin(), out.end(), wire.begin() + 1));

  std::vector<uint8_t> in{0xC3};
  const auto payload = Payload(100);
  in.insert(in.end(), payload.begin(), payload.end());
  ASSERT_TRUE(m_backend.peer->Send(in));
  std::array<uint8_t, 64> received{};
  EXPECT_EQ(m_device.ReadReport(received.data(), 1000), 1);
  EXPECT_EQ(received, payload);
}

TEST_F(PipeHidDeviceTest, TimedOutTransfersLeaveNothingOutstanding) {
  std::array<uint8_t, 64> received{};
  EXPECT_EQ(m_device.ReadReport(received.data(), 20), 0);
  const auto stalled = Payload(1);
  EXPECT_EQ(m_device.WriteReport(stalled.data(), 20), 0);

  // The next report in either direction is the next one, not a leftover.
  const auto later = Payload(30);
  std::vector<uint8_t> in{0};
  in.insert(in.end(), later.begin(), later.end());
  ASSERT_TRUE(m_backend.peer->Send(in));
  EXPECT_EQ(m_device.ReadReport(received.data(), 1000), 1);
  EXPECT_EQ(received, later);

  const auto next = Payload(60);
  ASSERT_TRUE(m_backend.peer->StartReceive());
  EXPECT_EQ(m_device.WriteReport(next.data(), 1000), 1);
  std::vector<uint8_t> wire;
  ASSERT_TRUE(m_backend.peer->FinishReceive(wire, 5000));
  ASSERT_EQ(wire.size(), 65u);
  EXPECT_TRUE(std::equal(next.begin(), next.end(), wire.begin() + 1));
}

TEST_F(PipeHidDeviceTest, AbortReadReleasesTheReaderWhileWritesAreRefused) {
  std::array<uint8_t, 64> received{};
  int result = -1;
  ReleaseBlockedCall([&] { result = m_device.ReadReport(received.data(), -1); }, [&] { m_device.AbortRead(); });
  EXPECT_EQ(result, 0);
  const auto payload = Payload(1);
  EXPECT_EQ(m_device.WriteReport(payload.data(), 20), 0);
}

TEST_F(PipeHidDeviceTest, ADeviceThatLeavesFailsBothDirections) {
  m_backend.peer->Disconnect();
  std::array<uint8_t, 64> report{};
  EXPECT_EQ(m_device.ReadReport(report.data(), -1), 0);
  EXPECT_EQ(m_device.WriteReport(report.data(), 1000), 0);
}

}  // namespace
}  // namespace qx80
