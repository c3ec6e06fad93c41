// The overlapped transfers of the Win32 handle, driven through a named pipe whose far end
// plays the device: it can answer, stay silent, refuse to take a report, or leave.
#include <gtest/gtest.h>

#include <numeric>

#include "device/win32/win32_hid_handle.h"
#include "tests/device_win32/pipe_peer.h"
#include "tests/device_win32/wine_hid.h"

namespace qx80 {
namespace {

constexpr HidInterfaceCaps kPipeCaps{0x1F5E, 0x2A01, 65, 65, 0, 5};

std::vector<uint8_t> Report(uint8_t first) {
  std::vector<uint8_t> report(65);
  std::iota(report.begin(), report.end(), first);
  return report;
}

class PipeIoTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_peer.Connected());
    m_handle = MakeWin32HidHandle(m_peer.TakeNearEnd(), kPipeCaps);
    ASSERT_NE(m_handle, nullptr);
  }

  std::vector<uint8_t> m_buffer = std::vector<uint8_t>(65, 0);  // outlives the handle
  PipePeer m_peer;
  std::unique_ptr<HidHandle> m_handle;
};

TEST_F(PipeIoTest, ReadsWholeReportsWhetherTheyAreWaitingOrArriveLater) {
  const auto waiting = Report(1);
  ASSERT_TRUE(m_peer.Send(waiting));
  HidIo io = m_handle->StartRead(m_buffer.data());
  if (io == HidIo::Pending) {
    io = m_handle->WaitRead(5000);
  }
  EXPECT_EQ(io, HidIo::Done);
  EXPECT_EQ(m_buffer, waiting);

  ASSERT_EQ(m_handle->StartRead(m_buffer.data()), HidIo::Pending);
  EXPECT_EQ(m_handle->WaitRead(10), HidIo::TimedOut);
  const auto later = Report(100);
  ASSERT_TRUE(m_peer.Send(later));
  EXPECT_EQ(m_handle->WaitRead(-1), HidIo::Done) << "a timed-out read stays outstanding and completes";
  EXPECT_EQ(m_buffer, later);
}

TEST_F(PipeIoTest, ACancelledReadTakesNothingFromTheDevice) {
  ASSERT_EQ(m_handle->StartRead(m_buffer.data()), HidIo::Pending);
  EXPECT_EQ(m_handle->WaitRead(10), HidIo::TimedOut);
  m_handle->CancelRead();
  const auto next = Report(7);
  ASSERT_TRUE(m_peer.Send(next));
  HidIo io = m_handle->StartRead(m_buffer.data());
  if (io == HidIo::Pending) {
    io = m_handle->WaitRead(5000);
  }
  EXPECT_EQ(io, HidIo::Done);
  EXPECT_EQ(m_buffer, next);
}

TEST_F(PipeIoTest, AWriteTheDeviceDoesNotTakeTimesOutAndIsCancelledCleanly) {
  const auto stalled = Report(1);
  ASSERT_EQ(m_handle->StartWrite(stalled.data()), HidIo::Pending);
  EXPECT_EQ(m_handle->StartWrite(stalled.data()), HidIo::Failed) << "one write at a time";
  EXPECT_EQ(m_handle->WaitWrite(20), HidIo::TimedOut);
  m_handle->CancelWrite();
  EXPECT_EQ(m_handle->WaitWrite(0), HidIo::Failed) << "nothing is outstanding after the cancel";

  const auto next = Report(50);
  ASSERT_TRUE(m_peer.StartReceive());
  HidIo io = m_handle->StartWrite(next.data());
  if (io == HidIo::Pending) {
    io = m_handle->WaitWrite(5000);
  }
  EXPECT_EQ(io, HidIo::Done);
  std::vector<uint8_t> received;
  ASSERT_TRUE(m_peer.FinishReceive(received, 5000));
  EXPECT_EQ(received, next) << "the cancelled report never reaches the device";
}

TEST_F(PipeIoTest, WakeReadReleasesABlockedReadAndEveryLaterOne) {
  HidIo waited = HidIo::Done;
  ReleaseBlockedCall(
      [&] {
        ASSERT_EQ(m_handle->StartRead(m_buffer.data()), HidIo::Pending);
        waited = m_handle->WaitRead(-1);
      },
      [&] { m_handle->WakeRead(); });
  EXPECT_EQ(waited, HidIo::Failed);
  // A report arriving after the wake is not taken: the woken read was cancelled.
  ASSERT_TRUE(m_peer.Send(Report(9)));
  EXPECT_EQ(m_handle->StartRead(m_buffer.data()), HidIo::Failed);
  EXPECT_EQ(m_buffer, std::vector<uint8_t>(65, 0));
  // Writing still works: the wake concerns reads only.
  const auto report = Report(3);
  ASSERT_TRUE(m_peer.StartReceive());
  HidIo io = m_handle->StartWrite(report.data());
  if (io == HidIo::Pending) {
    io = m_handle->WaitWrite(5000);
  }
  EXPECT_EQ(io, HidIo::Done);
}

TEST_F(PipeIoTest, ADeviceThatLeavesFailsOutstandingAndNewTransfers) {
  ASSERT_EQ(m_handle->StartRead(m_buffer.data()), HidIo::Pending);
  m_peer.Disconnect();
  EXPECT_EQ(m_handle->WaitRead(-1), HidIo::Failed);
  EXPECT_EQ(m_handle->StartRead(m_buffer.data()), HidIo::Failed);
  const auto report = Report(1);
  EXPECT_EQ(m_handle->StartWrite(report.data()), HidIo::Failed);
}

TEST(PipeIoLifetimeTest, ClosingWithBothDirectionsOutstandingDrainsThemAndLeavesNoHandle) {
  const size_t before = CountOwnHandles();
  {
    std::vector<uint8_t> readBuffer(65, 0xEE);
    const auto report = Report(1);
    PipePeer peer;
    ASSERT_TRUE(peer.Connected());
    auto handle = MakeWin32HidHandle(peer.TakeNearEnd(), kPipeCaps);
    ASSERT_NE(handle, nullptr);
    ASSERT_EQ(handle->StartRead(readBuffer.data()), HidIo::Pending);
    ASSERT_EQ(handle->StartWrite(report.data()), HidIo::Pending);
    handle.reset();
    // The read was cancelled before the handle went: a report sent now lands nowhere.
    peer.Send(Report(200));
    EXPECT_EQ(readBuffer, std::vector<uint8_t>(65, 0xEE));
  }
  EXPECT_EQ(CountOwnHandles(), before);
}

TEST(PipeIoLifetimeTest, AnInvalidFileMakesNoHandle) {
  EXPECT_EQ(MakeWin32HidHandle(UniqueHandle(), kPipeCaps), nullptr);
  EXPECT_EQ(MakeWin32HidHandle(UniqueHandle(INVALID_HANDLE_VALUE), kPipeCaps), nullptr);
}

}  // namespace
}  // namespace qx80
