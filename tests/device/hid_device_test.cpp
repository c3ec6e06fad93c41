#include "device/hid_device.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "device/sim_bus/sim_hid_bus.h"
#include "platform/clock.h"
#include "platform/event.h"
#include "tests/support/counting_hid_backend.h"

namespace qx80 {
namespace {

constexpr HidInterfaceCaps kQx80Normal{0x1F5E, 0x2A01, 65, 65, 0, 0};

HidInterfaceCaps Caps(uint16_t vid, uint16_t pid, uint16_t in, uint16_t out, uint8_t reportId = 0) {
  return HidInterfaceCaps{vid, pid, in, out, 0, reportId};
}

class RecordingEndpoint : public SimHidBus::Endpoint {
 public:
  void OnOutputReport(SimHidBus::DeviceId, std::span<const uint8_t> report) override {
    std::lock_guard<std::mutex> lock(m_mutex);
    reports.emplace_back(report.begin(), report.end());
  }
  std::mutex m_mutex;
  std::vector<std::vector<uint8_t>> reports;
};

class HidDeviceTest : public ::testing::Test {
 protected:
  HidDeviceTest() : m_counting(m_bus), m_backend(m_counting), m_scopedClock(m_clock) {}
  ~HidDeviceTest() override { EXPECT_EQ(m_bus.OpenHandleCount(), 0u); }

  ScaledClock m_clock{100.0, Bounds::Scaled};
  SimHidBus m_bus;
  CountingHidBackend m_counting;
  ScopedHidBackend m_backend;
  ScopedClock m_scopedClock;
};

struct MatchCase {
  const char* name;
  std::vector<HidInterfaceCaps> bus;
  std::array<int32_t, 5> query;  // vendor, product, input length, output length, index
  std::optional<size_t> opened;  // which attached device, or nothing
};

TEST_F(HidDeviceTest, MatchingRulesPickTheRightInterface) {
  const std::vector<MatchCase> cases = {
      {"exact ids and lengths", {Caps(1, 2, 65, 65), kQx80Normal}, {0x1F5E, 0x2A01, 64, 64, 0}, 1},
      {"ids zero open the index-th openable interface whatever it is",
       {Caps(1, 2, 9, 0), Caps(3, 4, 0, 0), Caps(5, 6, 300, 2)},
       {0, 0, 64, 64, 2},
       2},
      {"platform length 64 is not a 64-byte report", {Caps(0x1F5E, 0x2A01, 65, 64)}, {0x1F5E, 0x2A01, 64, 64, 0}, {}},
      {"length 0 demands no reports of that kind", {Caps(7, 7, 65, 65), Caps(7, 7, 65, 0)}, {7, 7, 64, 0, 0}, 1},
      {"product id must match", {Caps(0x1F5E, 0x2A06, 65, 65)}, {0x1F5E, 0x2A01, 64, 64, 0}, {}},
      {"second of two identical devices",
       {kQx80Normal, Caps(9, 9, 65, 65), kQx80Normal},
       {0x1F5E, 0x2A01, 64, 64, 1},
       2},
      {"no third of two identical devices", {kQx80Normal, kQx80Normal}, {0x1F5E, 0x2A01, 64, 64, 2}, {}},
      {"256 is accepted", {Caps(7, 7, 257, 257)}, {7, 7, 256, 256, 0}, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<SimHidBus::DeviceId> ids;
    // Identical devices differ only in who receives what is written to the opened one.
    std::vector<std::unique_ptr<RecordingEndpoint>> endpoints;
    for (const auto& caps : c.bus) {
      endpoints.push_back(std::make_unique<RecordingEndpoint>());
      ids.push_back(m_bus.Attach(caps, endpoints.back().get()));
    }
    CHidDevice device;
    HidDeviceInfo* info = device.Open(c.query[0], c.query[1], c.query[2], c.query[3], c.query[4]);
    if (c.opened.has_value()) {
      ASSERT_NE(info, nullptr);
      const auto& expected = c.bus[*c.opened];
      EXPECT_EQ(info->caps.vendorId, expected.vendorId);
      EXPECT_EQ(info->caps.productId, expected.productId);
      EXPECT_EQ(info->caps.inputReportLength, expected.inputReportLength);
      EXPECT_TRUE(device.IsOpen());
      const std::array<uint8_t, 256> payload{};
      const bool writable = expected.outputReportLength > 0;
      EXPECT_EQ(device.WriteReport(payload.data(), 500), writable ? 1 : 0);
      for (size_t i = 0; i < endpoints.size(); ++i) {
        EXPECT_EQ(endpoints[i]->reports.size(), writable && i == *c.opened ? 1u : 0u) << "device " << i;
      }
    } else {
      EXPECT_EQ(info, nullptr);
      EXPECT_FALSE(device.IsOpen());
      EXPECT_EQ(m_bus.OpenHandleCount(), 0u);
    }
    device.Close();
    for (auto id : ids) {
      m_bus.Detach(id);
    }
  }
}

TEST_F(HidDeviceTest, LengthAbove256IsRefusedWithoutEnumerating) {
  m_bus.Attach(Caps(7, 7, 258, 258), nullptr);
  CHidDevice device;
  EXPECT_EQ(device.Open(7, 7, 257, 257, 0), nullptr);
  EXPECT_EQ(device.Open(0, 0, 64, 257, 0), nullptr);
  EXPECT_EQ(m_counting.enumerations, 0);
}

TEST_F(HidDeviceTest, OutputReportsCarryTheFirstOutputReportIdAndInputDropsItsFirstByte) {
  RecordingEndpoint endpoint;
  const auto id = m_bus.Attach(Caps(7, 7, 65, 65, 5), &endpoint);
  CHidDevice device;
  ASSERT_NE(device.Open(7, 7, 64, 64, 0), nullptr);

  std::array<uint8_t, 64> payload{};
  for (size_t i = 0; i < payload.size(); ++i) {
    payload[i] = static_cast<uint8_t>(0x80 + i);
  }
  ASSERT_EQ(device.WriteReport(payload.data(), 500), 1);
  ASSERT_EQ(endpoint.reports.size(), 1u);
  ASSERT_EQ(endpoint.reports[0].size(), 65u);
  EXPECT_EQ(endpoint.reports[0][0], 5);
  EXPECT_TRUE(std::equal(payload.begin(), payload.end(), endpoint.reports[0].begin() + 1));

  std::array<uint8_t, 65> input{};
  input[0] = 0xEE;  // whatever the first byte holds, it is not handed over
  input[1] = 0x83;
  input[64] = 0x42;
  m_bus.PushInput(id, input);
  std::array<uint8_t, 64> received{};
  ASSERT_EQ(device.ReadReport(received.data(), -1), 1);
  EXPECT_EQ(received[0], 0x83);
  EXPECT_EQ(received[63], 0x42);
}

TEST_F(HidDeviceTest, AbortReadReleasesABlockedReadAndRefusesFurtherTransfers) {
  m_bus.Attach(kQx80Normal, nullptr);
  CHidDevice device;
  ASSERT_NE(device.Open(0x1F5E, 0x2A01, 64, 64, 0), nullptr);
  std::atomic<int> result{-1};
  std::thread reader([&] {
    std::array<uint8_t, 64> buffer{};
    result = device.ReadReport(buffer.data(), -1);
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  device.AbortRead();
  reader.join();
  EXPECT_EQ(result.load(), 0);
  std::array<uint8_t, 64> buffer{};
  EXPECT_EQ(device.ReadReport(buffer.data(), 0), 0);
  EXPECT_EQ(device.WriteReport(buffer.data(), 0), 0);
}

// The platform's read completes just as it is woken: the wake finds a report arriving.
class CompletingWakeBackend final : public HidBackend {
 public:
  CompletingWakeBackend(SimHidBus& bus, SimHidBus::DeviceId device) : m_bus(bus), m_device(device) {}
  bool Enumerate(std::vector<std::string>& paths) override { return m_bus.Enumerate(paths); }
  std::unique_ptr<HidHandle> Open(const std::string& path) override {
    auto inner = m_bus.Open(path);
    return inner == nullptr ? nullptr : std::make_unique<Handle>(std::move(inner), *this);
  }

  Event readStarted;

 private:
  class Handle final : public HidHandle {
   public:
    Handle(std::unique_ptr<HidHandle> inner, CompletingWakeBackend& backend)
        : m_inner(std::move(inner)), m_backend(backend) {}
    const HidInterfaceCaps& Caps() const override { return m_inner->Caps(); }
    HidIo StartRead(uint8_t* buffer) override {
      const HidIo io = m_inner->StartRead(buffer);
      m_backend.readStarted.Set();
      return io;
    }
    HidIo StartWrite(const uint8_t* buffer) override { return m_inner->StartWrite(buffer); }
    HidIo WaitRead(int32_t timeoutMs) override { return m_inner->WaitRead(timeoutMs); }
    HidIo WaitWrite(int32_t timeoutMs) override { return m_inner->WaitWrite(timeoutMs); }
    void CancelRead() override { m_inner->CancelRead(); }
    void CancelWrite() override { m_inner->CancelWrite(); }
    void WakeRead() override {
      std::array<uint8_t, 65> report{};
      report[1] = 0x83;
      m_backend.m_bus.PushInput(m_backend.m_device, report);
    }

   private:
    std::unique_ptr<HidHandle> m_inner;
    CompletingWakeBackend& m_backend;
  };

  SimHidBus& m_bus;
  SimHidBus::DeviceId m_device;
};

TEST_F(HidDeviceTest, AnAbortedReadFailsEvenWhenThePlatformReportsItComplete) {
  const auto id = m_bus.Attach(kQx80Normal, nullptr);
  CompletingWakeBackend completing(m_bus, id);
  ScopedHidBackend backend(completing);
  CHidDevice device;
  ASSERT_NE(device.Open(0x1F5E, 0x2A01, 64, 64, 0), nullptr);
  std::array<uint8_t, 64> received{};
  received.fill(0xEE);
  std::atomic<int> result{-1};
  std::thread reader([&] { result = device.ReadReport(received.data(), -1); });
  completing.readStarted.Wait(-1);
  device.AbortRead();
  reader.join();
  EXPECT_EQ(result.load(), 0);
  std::array<uint8_t, 64> untouched{};
  untouched.fill(0xEE);
  EXPECT_EQ(received, untouched);
  device.Close();
}

TEST_F(HidDeviceTest, AbortBeforeTheReadStartsStillReleasesIt) {
  m_bus.Attach(kQx80Normal, nullptr);
  CHidDevice device;
  ASSERT_NE(device.Open(0x1F5E, 0x2A01, 64, 64, 0), nullptr);
  device.AbortRead();
  std::array<uint8_t, 64> buffer{};
  EXPECT_EQ(device.ReadReport(buffer.data(), -1), 0);
}

TEST_F(HidDeviceTest, StalledWriteTimesOutAndLeavesNothingOutstanding) {
  RecordingEndpoint endpoint;
  const auto id = m_bus.Attach(kQx80Normal, &endpoint);
  CHidDevice device;
  ASSERT_NE(device.Open(0x1F5E, 0x2A01, 64, 64, 0), nullptr);
  std::array<uint8_t, 64> payload{};
  m_bus.SetStallWrites(id, true);
  EXPECT_EQ(device.WriteReport(payload.data(), 500), 0);
  m_bus.SetStallWrites(id, false);
  EXPECT_EQ(device.WriteReport(payload.data(), 500), 1);
  EXPECT_EQ(endpoint.reports.size(), 1u);  // the cancelled report never arrived
}

TEST_F(HidDeviceTest, ReadTimesOutAndLaterReportsStillArrive) {
  const auto id = m_bus.Attach(kQx80Normal, nullptr);
  CHidDevice device;
  ASSERT_NE(device.Open(0x1F5E, 0x2A01, 64, 64, 0), nullptr);
  std::array<uint8_t, 64> buffer{};
  EXPECT_EQ(device.ReadReport(buffer.data(), 50), 0);
  std::array<uint8_t, 65> input{};
  input[1] = 0x90;
  m_bus.PushInput(id, input);
  EXPECT_EQ(device.ReadReport(buffer.data(), 50), 1);
  EXPECT_EQ(buffer[0], 0x90);
}

TEST_F(HidDeviceTest, UnplugFailsABlockedReadAndWrites) {
  const auto id = m_bus.Attach(kQx80Normal, nullptr);
  CHidDevice device;
  ASSERT_NE(device.Open(0x1F5E, 0x2A01, 64, 64, 0), nullptr);
  std::atomic<int> result{-1};
  std::thread reader([&] {
    std::array<uint8_t, 64> buffer{};
    result = device.ReadReport(buffer.data(), -1);
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  m_bus.Detach(id);
  reader.join();
  EXPECT_EQ(result.load(), 0);
  std::array<uint8_t, 64> payload{};
  EXPECT_EQ(device.WriteReport(payload.data(), 500), 0);
}

// The device answers and leaves at once; a reader that comes late still gets the answer.
TEST_F(HidDeviceTest, AReportThatArrivedBeforeTheUnplugIsStillRead) {
  const auto id = m_bus.Attach(kQx80Normal, nullptr);
  CHidDevice device;
  ASSERT_NE(device.Open(0x1F5E, 0x2A01, 64, 64, 0), nullptr);
  std::array<uint8_t, 65> input{};
  input[1] = 0x83;
  m_bus.PushInput(id, input);
  m_bus.Detach(id);
  std::array<uint8_t, 64> buffer{};
  ASSERT_EQ(device.ReadReport(buffer.data(), -1), 1);
  EXPECT_EQ(buffer[0], 0x83);
  EXPECT_EQ(device.ReadReport(buffer.data(), -1), 0);
}

TEST_F(HidDeviceTest, CloseIsHarmlessTwiceAndNothingIsLeftAfterManyCycles) {
  CHidDevice never;
  never.Close();
  never.Close();
  m_bus.Attach(kQx80Normal, nullptr);
  for (int i = 0; i < 500; ++i) {
    CHidDevice device;
    ASSERT_NE(device.Open(0x1F5E, 0x2A01, 64, 64, 0), nullptr);
    device.Close();
    device.Close();
  }
  EXPECT_EQ(m_bus.OpenHandleCount(), 0u);
}

TEST_F(HidDeviceTest, ReenumeratedDeviceIsFoundUnderItsNewProductIdOnly) {
  const auto id = m_bus.Attach(kQx80Normal, nullptr);
  CHidDevice device;
  ASSERT_NE(device.Open(0x1F5E, 0x2A01, 64, 64, 0), nullptr);
  m_bus.Reenumerate(id, 0x2A02);
  std::array<uint8_t, 64> payload{};
  EXPECT_EQ(device.WriteReport(payload.data(), 500), 0);  // the old path is gone
  CHidDevice probe;
  EXPECT_EQ(probe.Open(0x1F5E, 0x2A01, 64, 64, 0), nullptr);
  EXPECT_NE(probe.Open(0x1F5E, 0x2A02, 64, 64, 0), nullptr);
}

}  // namespace
}  // namespace qx80
