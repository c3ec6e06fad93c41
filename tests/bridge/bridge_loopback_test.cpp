// The bridge end to end over the loopback address: a simulated device on a SimHidBus,
// served by a BridgeServer, used through a BridgeHidBackend by CHidDevice.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "device/bridge/bridge_hid_backend.h"
#include "device/bridge/bridge_server.h"
#include "device/bridge/bridge_stream.h"
#include "device/hid_device.h"
#include "device/sim_bus/sim_hid_bus.h"
#include "tests/bridge/bridge_test_util.h"

namespace qx80 {
namespace {

// The first output item carries report id 5, so the report-id byte is seen to cross.
constexpr HidInterfaceCaps kQx80Normal{0x1F5E, 0x2A01, 65, 65, 0, 5};

// Answers every output report with an input report of the same payload (input report id
// 0xEE, which the host drops), and keeps what it was sent.
class EchoEndpoint : public SimHidBus::Endpoint {
 public:
  explicit EchoEndpoint(SimHidBus& bus) : m_bus(bus) {}

  void OnOutputReport(SimHidBus::DeviceId device, std::span<const uint8_t> report) override {
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      m_received.emplace_back(report.begin(), report.end());
    }
    std::vector<uint8_t> answer(report.begin(), report.end());
    answer[0] = 0xEE;
    m_bus.PushInput(device, answer);
  }

  std::vector<std::vector<uint8_t>> Received() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_received;
  }

 private:
  SimHidBus& m_bus;
  std::mutex m_mutex;
  std::vector<std::vector<uint8_t>> m_received;
};

// A simulated QX-80 served on a free port, and a client backend for it (not yet connected).
struct Loopback {
  Loopback() {
    device = bus.Attach(kQx80Normal, &echo);
    started = server.Start(0);
    client = std::make_unique<BridgeHidBackend>("127.0.0.1", server.Port());
  }

  SimHidBus bus;
  EchoEndpoint echo{bus};
  SimHidBus::DeviceId device = 0;
  BridgeServer server{bus, kQx80Vendor};
  bool started = false;
  std::unique_ptr<BridgeHidBackend> client;
};

// A read without time-out on another thread, as the channel's receive thread makes it.
class BackgroundRead {
 public:
  explicit BackgroundRead(CHidDevice& device)
      : m_device(device), m_thread([this] {
          std::array<uint8_t, 64> buffer{};
          m_result = m_device.ReadReport(buffer.data(), -1);
          m_done = true;
        }) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));  // let it block first
  }
  ~BackgroundRead() {
    if (m_thread.joinable()) {
      Finish();
    }
  }

  // The read's result once it has been released.
  int Finish() {
    if (!Eventually([this] { return m_done.load(); })) {
      ADD_FAILURE() << "the blocked read was never released";
      m_device.AbortRead();
    }
    m_thread.join();
    return m_result.load();
  }

 private:
  CHidDevice& m_device;
  std::atomic<int> m_result{-1};
  std::atomic<bool> m_done{false};
  std::thread m_thread;
};

std::vector<std::string> Paths(HidBackend& backend) {
  std::vector<std::string> paths;
  EXPECT_TRUE(backend.Enumerate(paths));
  return paths;
}

class BridgeLoopbackTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(m_loop.started); }

  Loopback m_loop;
  ScopedHidBackend m_scoped{*m_loop.client};
};

TEST_F(BridgeLoopbackTest, ReportsCrossInBothDirectionsWithTheReportIdByte) {
  CHidDevice device;
  ASSERT_TRUE(OpenEventually(device, 0x2A01));
  EXPECT_EQ(device.Info()->caps.inputReportLength, 65);
  EXPECT_EQ(device.Info()->caps.firstOutputReportId, 5);
  for (int i = 0; i < 50; ++i) {
    ExpectEchoed(device, static_cast<uint8_t>(i * 7));
  }
  const auto received = m_loop.echo.Received();
  ASSERT_EQ(received.size(), 50u);
  ASSERT_EQ(received[1].size(), 65u);
  EXPECT_EQ(received[1][0], 5);
  EXPECT_EQ(received[1][1], 7);
  EXPECT_EQ(received[1][64], 7 + 63);

  // The lengths are matched across the bridge like on the platform.
  CHidDevice other;
  EXPECT_EQ(other.Open(kQx80Vendor, 0x2A01, 63, 64, 0), nullptr);
  EXPECT_EQ(other.Open(kQx80Vendor, 0x2A02, 64, 64, 0), nullptr);
}

TEST_F(BridgeLoopbackTest, ReenumerationFailsTheHandleAndTheDeviceReturnsUnderItsNewProductId) {
  CHidDevice device;
  ASSERT_TRUE(OpenEventually(device, 0x2A01));
  const auto before = Paths(*m_loop.client);
  {
    BackgroundRead read(device);
    m_loop.bus.Reenumerate(m_loop.device, 0x2A02);
    EXPECT_EQ(read.Finish(), 0);
  }
  std::array<uint8_t, 64> payload{};
  EXPECT_EQ(device.WriteReport(payload.data(), 500), 0);  // the old appearance is gone

  CHidDevice updateMode;
  ASSERT_TRUE(OpenEventually(updateMode, 0x2A02));
  EXPECT_NE(Paths(*m_loop.client), before);
  EXPECT_EQ(device.Open(kQx80Vendor, 0x2A01, 64, 64, 0), nullptr);
  ExpectEchoed(updateMode, 0x30);
  EXPECT_EQ(m_loop.echo.Received().size(), 1u);  // the refused write never reached the device
}

TEST_F(BridgeLoopbackTest, DetachedDeviceIsGoneUntilItIsAttachedAgain) {
  CHidDevice device;
  ASSERT_TRUE(OpenEventually(device, 0x2A01));
  {
    BackgroundRead read(device);
    m_loop.bus.Detach(m_loop.device);
    EXPECT_EQ(read.Finish(), 0);
  }
  EXPECT_TRUE(Paths(*m_loop.client).empty());
  m_loop.bus.Attach(kQx80Normal, &m_loop.echo);
  ASSERT_TRUE(OpenEventually(device, 0x2A01));
  ExpectEchoed(device, 0x40);
}

TEST_F(BridgeLoopbackTest, LosingTheServerReleasesABlockedReadAndEmptiesTheBus) {
  CHidDevice device;
  ASSERT_TRUE(OpenEventually(device, 0x2A01));
  {
    BackgroundRead read(device);
    m_loop.server.Stop();
    EXPECT_EQ(read.Finish(), 0);
  }
  EXPECT_TRUE(Paths(*m_loop.client).empty());  // reconnecting is refused: nobody listens
  EXPECT_EQ(m_loop.bus.OpenHandleCount(), 0u);
}

TEST_F(BridgeLoopbackTest, AClientThatLeavesFreesTheDeviceForTheNext) {
  for (const uint8_t seed : {uint8_t{0x50}, uint8_t{0x60}}) {
    {
      BridgeHidBackend client("127.0.0.1", m_loop.server.Port());
      ScopedHidBackend scoped(client);
      CHidDevice device;
      ASSERT_TRUE(OpenEventually(device, 0x2A01));
      ExpectEchoed(device, seed);
      EXPECT_EQ(m_loop.bus.OpenHandleCount(), 1u);  // the server's handle
    }
    EXPECT_TRUE(Eventually([this] { return m_loop.bus.OpenHandleCount() == 0; }));
  }
}

// The server is played against by hand: it writes only output reports of the announced
// length, and drops a client that sends anything else.
TEST_F(BridgeLoopbackTest, ServerDropsReportsOfAnotherLengthAndClientsThatBreakTheRules) {
  struct Case {
    const char* name;
    BridgeFrameType type;
    std::vector<uint8_t> payload;
  };
  const std::vector<Case> cases = {
      {"present", BridgeFrameType::Present, EncodePresentPayload(kQx80Normal)},
      {"gone", BridgeFrameType::Gone, {}},
      {"input", BridgeFrameType::Input, std::vector<uint8_t>(65)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    BridgeStream host(Socket::Connect("127.0.0.1", m_loop.server.Port(), kBoundMs));
    std::vector<BridgeFrame> frames;
    ASSERT_TRUE(Eventually([&] { return host.Receive(frames, 1) && !frames.empty(); }));
    EXPECT_EQ(frames[0].type, BridgeFrameType::Present);

    const size_t written = m_loop.bus.WrittenReportCount(m_loop.device);
    ASSERT_TRUE(host.Send(BridgeFrameType::Output, std::vector<uint8_t>(64, 0x11)));
    ASSERT_TRUE(host.Send(BridgeFrameType::Output, std::vector<uint8_t>(65, 0x22)));
    frames.clear();
    ASSERT_TRUE(Eventually([&] { return host.Receive(frames, 1) && !frames.empty(); }));
    EXPECT_EQ(frames[0].type, BridgeFrameType::Input);
    EXPECT_EQ(frames[0].payload[1], 0x22);
    EXPECT_EQ(m_loop.bus.WrittenReportCount(m_loop.device), written + 1);

    ASSERT_TRUE(host.Send(c.type, c.payload));
    EXPECT_TRUE(Eventually([&] { return !host.Receive(frames, 1); }));  // closed by the server
  }
  // Unknown frames break the stream itself.
  Socket raw = Socket::Connect("127.0.0.1", m_loop.server.Port(), kBoundMs);
  ASSERT_TRUE(raw.SendAll(std::vector<uint8_t>{'X', 0, 0}));
  BridgeStream host(std::move(raw));
  std::vector<BridgeFrame> frames;
  EXPECT_TRUE(Eventually([&] { return !host.Receive(frames, 1); }));
}

// The client is played against by hand: a device that breaks the rules loses its
// connection, and with it the device.
TEST(BridgeClientRulesTest, ADeviceThatBreaksTheRulesIsDisconnected) {
  const auto present = [] {
    std::vector<uint8_t> out;
    EncodeBridgeFrame(BridgeFrameType::Present, EncodePresentPayload(kQx80Normal), out);
    return out;
  };
  const auto frame = [](BridgeFrameType type, size_t length) {
    std::vector<uint8_t> out;
    EncodeBridgeFrame(type, std::vector<uint8_t>(length), out);
    return out;
  };
  const auto join = [](std::vector<uint8_t> a, const std::vector<uint8_t>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
  };
  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
  };
  const std::vector<Case> cases = {
      {"unknown frame type", {'X', 0, 0}},
      {"input before present", frame(BridgeFrameType::Input, 65)},
      {"gone while absent", frame(BridgeFrameType::Gone, 0)},
      {"present while present", join(present(), present())},
      {"input of another length", join(present(), frame(BridgeFrameType::Input, 64))},
      {"output towards the host", join(present(), frame(BridgeFrameType::Output, 65))},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Socket listener = Socket::ListenLoopback(0);
    ASSERT_TRUE(listener.Valid());
    BridgeHidBackend client("127.0.0.1", listener.LocalPort());

    std::atomic<bool> closedByClient{false};
    std::thread device([&] {
      SocketWaker never;
      if (WaitForReadable(listener, never, kBoundMs) != WaitResult::Readable) {
        return;
      }
      const Socket accepted = listener.Accept();
      if (!accepted.Valid() || !accepted.SendAll(c.bytes)) {
        return;
      }
      std::array<uint8_t, 16> buffer{};
      closedByClient =
          WaitForReadable(accepted, never, kBoundMs) == WaitResult::Readable && accepted.Receive(buffer) == 0;
    });
    std::vector<std::string> paths;
    EXPECT_TRUE(client.Enumerate(paths));  // connects
    device.join();
    EXPECT_TRUE(closedByClient.load());
    listener.Close();
    EXPECT_TRUE(Paths(client).empty());
  }
}

// What keeps a client from the device is named: a server busy with another client (which
// keeps its device), a port nobody listens on, a host that cannot be resolved.
TEST(BridgeReachTest, EachFailureIsNamed) {
  Loopback loop;
  ASSERT_TRUE(loop.started);
  std::string error;
  ASSERT_TRUE(loop.client->Reach(error)) << error;
  uint16_t closedPort = 0;
  {
    const Socket listener = Socket::ListenLoopback(0);
    closedPort = listener.LocalPort();
  }
  const struct {
    std::string host;
    uint16_t port;
    std::string reason;
  } kCases[] = {
      {"127.0.0.1", loop.server.Port(), "127.0.0.1:" + std::to_string(loop.server.Port()) + " serves another client"},
      {"127.0.0.1", closedPort, " refused: nothing listens there"},
      {"no..such-host", 5080, "cannot resolve the host no..such-host"},
  };
  for (const auto& c : kCases) {
    BridgeHidBackend other(c.host, c.port);
    std::string reason;
    // The first frame may come after the client stopped waiting for it: the next try sees it.
    EXPECT_TRUE(Eventually([&] { return !other.Reach(reason); })) << c.host << ":" << c.port;
    EXPECT_NE(reason.find(c.reason), std::string::npos) << reason;
    EXPECT_TRUE(Paths(other).empty());
  }
  EXPECT_EQ(Paths(*loop.client).size(), 1u) << "the client served keeps its device";
}

#ifdef __linux__
size_t EntriesIn(const char* directory) {
  return static_cast<size_t>(std::distance(std::filesystem::directory_iterator(directory), {}));
}

TEST(BridgeCleanupTest, NoThreadOrSocketOutlivesServerAndClient) {
  std::thread([] {}).join();  // a sanitizer's runtime starts its helper thread with the first thread
  const size_t threads = EntriesIn("/proc/self/task");
  const size_t descriptors = EntriesIn("/proc/self/fd");
  {
    Loopback loop;
    ASSERT_TRUE(loop.started);
    ScopedHidBackend scoped(*loop.client);
    CHidDevice device;
    ASSERT_TRUE(OpenEventually(device, 0x2A01));
    ExpectEchoed(device, 0x70);
    loop.bus.Reenumerate(loop.device, 0x2A02);
    ASSERT_TRUE(OpenEventually(device, 0x2A02));
    ExpectEchoed(device, 0x80);
    EXPECT_GT(EntriesIn("/proc/self/task"), threads);
  }
  // A joined thread may still be listed while it finishes leaving (for long under qemu's user
  // emulation, which wakes the joiner first: the first count may include the helper thread
  // above); one that never leaves fails here.
  EXPECT_TRUE(Eventually([&] { return EntriesIn("/proc/self/task") <= threads; })) << EntriesIn("/proc/self/task");
  EXPECT_EQ(EntriesIn("/proc/self/fd"), descriptors);
}
#endif

}  // namespace
}  // namespace qx80
