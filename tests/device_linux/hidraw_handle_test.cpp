// The hidraw handle's transfers, driven through a sequenced-packet socket whose far end
// plays the device: like a hidraw node it moves one whole report per read() and write().
#include "device/linux/hidraw_handle.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <csignal>
#include <future>
#include <numeric>
#include <thread>

#include "device/hid_device.h"

namespace qx80 {
namespace {

constexpr HidInterfaceCaps kCaps{0x1F5E, 0x2A01, 65, 65, 0, 5};

std::vector<uint8_t> Bytes(size_t length, uint8_t first) {
  std::vector<uint8_t> bytes(length);
  std::iota(bytes.begin(), bytes.end(), first);
  return bytes;
}

// The device's end of the socket pair.
class SocketPeer {
 public:
  SocketPeer() {
    // A vanished peer must fail the write, not end the test process.
    std::signal(SIGPIPE, SIG_IGN);
    int fds[2];
    EXPECT_EQ(socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, fds), 0);
    m_nearEnd = fds[0];
    m_farEnd = fds[1];
  }
  ~SocketPeer() { Disconnect(); }
  SocketPeer(const SocketPeer&) = delete;
  SocketPeer& operator=(const SocketPeer&) = delete;

  int TakeNearEnd() { return std::exchange(m_nearEnd, -1); }
  bool Send(const std::vector<uint8_t>& report) {
    return write(m_farEnd, report.data(), report.size()) == static_cast<ssize_t>(report.size());
  }
  // The next report the near end wrote, or empty.
  std::vector<uint8_t> Receive() {
    std::vector<uint8_t> report(4096);
    const ssize_t got = read(m_farEnd, report.data(), report.size());
    report.resize(got > 0 ? static_cast<size_t>(got) : 0);
    return report;
  }
  void Disconnect() {
    for (int* fd : {&m_nearEnd, &m_farEnd}) {
      if (*fd >= 0) {
        close(*fd);
        *fd = -1;
      }
    }
  }

 private:
  int m_nearEnd = -1;
  int m_farEnd = -1;
};

HidIo ReadNow(HidHandle& handle, uint8_t* buffer, int32_t timeoutMs) {
  const HidIo io = handle.StartRead(buffer);
  return io == HidIo::Pending ? handle.WaitRead(timeoutMs) : io;
}

class HidrawHandleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_handle = MakeHidrawHandle(m_peer.TakeNearEnd(), kCaps, true);
    ASSERT_NE(m_handle, nullptr);
  }

  std::vector<uint8_t> m_buffer = std::vector<uint8_t>(65, 0);
  SocketPeer m_peer;
  std::unique_ptr<HidHandle> m_handle;
};

TEST_F(HidrawHandleTest, ReadsReportsWaitingOrArrivingAndSurvivesATimedOutRead) {
  ASSERT_TRUE(m_peer.Send(Bytes(65, 1)));
  EXPECT_EQ(ReadNow(*m_handle, m_buffer.data(), 1000), HidIo::Done);
  EXPECT_EQ(m_buffer, Bytes(65, 1));

  ASSERT_EQ(m_handle->StartRead(m_buffer.data()), HidIo::Pending);
  EXPECT_EQ(m_handle->StartRead(m_buffer.data()), HidIo::Failed) << "one read at a time";
  EXPECT_EQ(m_handle->WaitRead(10), HidIo::TimedOut);
  m_handle->CancelRead();
  EXPECT_EQ(m_handle->WaitRead(0), HidIo::Failed) << "nothing is outstanding after the cancel";

  ASSERT_TRUE(m_peer.Send(Bytes(65, 40)));
  EXPECT_EQ(ReadNow(*m_handle, m_buffer.data(), 1000), HidIo::Done);
  EXPECT_EQ(m_buffer, Bytes(65, 40));
}

TEST_F(HidrawHandleTest, WritesWholeReportsAndTimesOutWhenTheDeviceTakesNone) {
  const auto report = Bytes(65, 7);
  ASSERT_EQ(m_handle->StartWrite(report.data()), HidIo::Done);
  EXPECT_EQ(m_peer.Receive(), report);

  // Fill the socket until the device takes no more: the write then waits and times out.
  HidIo io = HidIo::Done;
  for (int i = 0; i < 100000 && io == HidIo::Done; ++i) {
    io = m_handle->StartWrite(report.data());
  }
  ASSERT_EQ(io, HidIo::Pending);
  EXPECT_EQ(m_handle->WaitWrite(10), HidIo::TimedOut);
  m_handle->CancelWrite();
  EXPECT_EQ(m_handle->WaitWrite(0), HidIo::Failed);
}

TEST_F(HidrawHandleTest, WakeReadReleasesABlockedReadForGood) {
  auto reader = std::async(std::launch::async, [&] { return ReadNow(*m_handle, m_buffer.data(), -1); });
  std::this_thread::sleep_for(std::chrono::milliseconds(20));  // let it block; the outcome is the same if not
  m_handle->WakeRead();
  ASSERT_EQ(reader.wait_for(std::chrono::seconds(30)), std::future_status::ready);
  EXPECT_EQ(reader.get(), HidIo::Failed);
  ASSERT_TRUE(m_peer.Send(Bytes(65, 1)));
  EXPECT_EQ(m_handle->StartRead(m_buffer.data()), HidIo::Failed);
  EXPECT_EQ(m_buffer, std::vector<uint8_t>(65, 0));
}

TEST_F(HidrawHandleTest, ADeviceThatLeavesFailsBothDirections) {
  ASSERT_EQ(m_handle->StartRead(m_buffer.data()), HidIo::Pending);
  m_peer.Disconnect();
  EXPECT_EQ(m_handle->WaitRead(-1), HidIo::Failed);
  const auto report = Bytes(65, 1);
  EXPECT_EQ(m_handle->StartWrite(report.data()), HidIo::Failed);
}

TEST(HidrawHandleReportFormTest, EveryInputReportStartsWithItsIdByteAndFillsTheWholeLength) {
  struct Case {
    const char* name;
    bool numbered;
    std::vector<uint8_t> sent;
    std::vector<uint8_t> expected;
  };
  const std::vector<Case> cases = {
      {"numbered reports arrive as they are", true, {3, 1, 2, 3, 4, 5, 6, 7}, {3, 1, 2, 3, 4, 5, 6, 7}},
      {"unnumbered reports get id 0 in front", false, {1, 2, 3, 4, 5, 6, 7}, {0, 1, 2, 3, 4, 5, 6, 7}},
      {"a shorter report is padded with zeros", true, {2, 9, 9}, {2, 9, 9, 0, 0, 0, 0, 0}},
      {"a shorter unnumbered report is padded too", false, {9, 9}, {0, 9, 9, 0, 0, 0, 0, 0}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SocketPeer peer;
    auto handle = MakeHidrawHandle(peer.TakeNearEnd(), HidInterfaceCaps{1, 2, 8, 8, 0, 0}, c.numbered);
    ASSERT_NE(handle, nullptr);
    std::vector<uint8_t> buffer(8, 0xEE);
    ASSERT_TRUE(peer.Send(c.sent));
    EXPECT_EQ(ReadNow(*handle, buffer.data(), 1000), HidIo::Done);
    EXPECT_EQ(buffer, c.expected);
  }
}

// One interface behind a socket, for CHidDevice.
class SocketBackend : public HidBackend {
 public:
  bool Enumerate(std::vector<std::string>& paths) override {
    paths = {"socket"};
    return true;
  }
  std::unique_ptr<HidHandle> Open(const std::string&) override {
    peer = std::make_unique<SocketPeer>();
    return MakeHidrawHandle(peer->TakeNearEnd(), kCaps, true);
  }
  std::unique_ptr<SocketPeer> peer;  // the far end of the latest open
};

TEST(HidrawHidDeviceTest, ReportsCarryTheReportIdOutAndLoseTheFirstByteInUntilAborted) {
  SocketBackend backend;
  const ScopedHidBackend scoped(backend);
  CHidDevice device;
  ASSERT_NE(device.Open(0x1F5E, 0x2A01, 64, 64, 0), nullptr);

  const auto payload = Bytes(64, 1);
  EXPECT_EQ(device.WriteReport(payload.data(), 100), 1);
  auto expected = payload;
  expected.insert(expected.begin(), 5);
  EXPECT_EQ(backend.peer->Receive(), expected);

  ASSERT_TRUE(backend.peer->Send(Bytes(65, 9)));
  std::array<uint8_t, 64> received{};
  EXPECT_EQ(device.ReadReport(received.data(), 1000), 1);
  EXPECT_EQ(std::vector<uint8_t>(received.begin(), received.end()), Bytes(64, 10));

  auto reader = std::async(std::launch::async, [&] { return device.ReadReport(received.data(), -1); });
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  device.AbortRead();
  ASSERT_EQ(reader.wait_for(std::chrono::seconds(30)), std::future_status::ready);
  EXPECT_EQ(reader.get(), 0);
  device.Close();
}

}  // namespace
}  // namespace qx80
