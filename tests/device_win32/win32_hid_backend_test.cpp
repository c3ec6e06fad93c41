// The Win32 backend against the HID interfaces Wine itself presents.
#include "device/win32/win32_hid_backend.h"

#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <map>
#include <thread>

#include "tests/device_win32/pipe_peer.h"
#include "tests/device_win32/wine_hid.h"

namespace qx80 {
namespace {

class WineHidTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!RunningUnderWine()) {
      GTEST_SKIP() << "Wine's virtual HID devices exist only under Wine";
    }
    ASSERT_TRUE(m_backend.Enumerate(m_paths));
  }

  // The path of Wine's interface with this product id.
  std::string PathOf(uint16_t productId) {
    for (const auto& path : m_paths) {
      const auto handle = m_backend.Open(path);
      if (handle != nullptr && handle->Caps().vendorId == kWineVendorId && handle->Caps().productId == productId) {
        return path;
      }
    }
    ADD_FAILURE() << "Wine presents no HID interface with product id " << productId;
    return {};
  }

  Win32HidBackend m_backend;
  std::vector<std::string> m_paths;
};

bool SameCaps(const HidInterfaceCaps& a, const HidInterfaceCaps& b) {
  return a.vendorId == b.vendorId && a.productId == b.productId && a.inputReportLength == b.inputReportLength &&
         a.outputReportLength == b.outputReportLength && a.featureReportLength == b.featureReportLength &&
         a.firstOutputReportId == b.firstOutputReportId;
}

TEST_F(WineHidTest, EnumeratesAndIdentifiesWinesInterfacesInAStableOrder) {
  std::map<uint16_t, HidInterfaceCaps> found;
  for (const auto& path : m_paths) {
    const auto handle = m_backend.Open(path);
    ASSERT_NE(handle, nullptr) << path;
    if (handle->Caps().vendorId == kWineVendorId) {
      found[handle->Caps().productId] = handle->Caps();
    }
  }
  for (const auto& expected : {kWineMouse, kWineKeyboard}) {
    SCOPED_TRACE(expected.productId);
    ASSERT_EQ(found.count(expected.productId), 1u);
    EXPECT_TRUE(SameCaps(found[expected.productId], expected));
  }
  std::vector<std::string> again{"stale entry"};
  ASSERT_TRUE(m_backend.Enumerate(again));
  EXPECT_EQ(again, m_paths);
}

TEST_F(WineHidTest, PathsThatAreNoHidInterfaceDoNotOpenAndLeaveNothingOpen) {
  PipePeer notHid;
  ASSERT_TRUE(notHid.Connected());
  const std::array<std::string, 4> paths = {"", "\\\\?\\hid#vid_845e&pid_7777#0&0000&0&0#{nothing-here}", notHid.Path(),
                                            "not \xff utf-8"};
  const size_t before = CountOwnHandles();
  for (const auto& path : paths) {
    EXPECT_EQ(m_backend.Open(path), nullptr) << path;
  }
  EXPECT_EQ(CountOwnHandles(), before);
}

TEST_F(WineHidTest, WritesAreRefusedByAnInterfaceWithoutOutputReports) {
  const auto mouse = m_backend.Open(PathOf(kWineMouse.productId));
  ASSERT_NE(mouse, nullptr);
  const std::array<uint8_t, 65> report{};
  EXPECT_EQ(mouse->StartWrite(report.data()), HidIo::Failed);
  EXPECT_EQ(mouse->WaitWrite(0), HidIo::Failed) << "nothing is outstanding";
}

TEST_F(WineHidTest, ASilentReadTimesOutAndIsCancelledSoThatTheNextReadCanStart) {
  for (const auto& device : {kWineMouse, kWineKeyboard}) {
    SCOPED_TRACE(device.productId);
    // The buffer outlives the handle, which drains the read left outstanding below.
    std::vector<uint8_t> buffer(device.inputReportLength, 0xA5);
    const auto handle = m_backend.Open(PathOf(device.productId));
    ASSERT_NE(handle, nullptr);
    ASSERT_EQ(handle->StartRead(buffer.data()), HidIo::Pending);
    EXPECT_EQ(handle->StartRead(buffer.data()), HidIo::Failed) << "one read at a time";
    EXPECT_EQ(handle->WaitRead(0), HidIo::TimedOut);
    EXPECT_EQ(handle->WaitRead(20), HidIo::TimedOut);
    handle->CancelRead();
    EXPECT_EQ(handle->WaitRead(0), HidIo::Failed) << "nothing is outstanding after the cancel";
    EXPECT_EQ(buffer, std::vector<uint8_t>(device.inputReportLength, 0xA5));
    // Left outstanding on purpose: closing the handle cancels and drains it.
    EXPECT_EQ(handle->StartRead(buffer.data()), HidIo::Pending);
  }
}

TEST_F(WineHidTest, WakeReadReleasesAReadBlockedWithoutTimeOutForGood) {
  std::array<uint8_t, 2> buffer{};
  const auto mouse = m_backend.Open(PathOf(kWineMouse.productId));
  ASSERT_NE(mouse, nullptr);
  HidIo started = HidIo::Done;
  HidIo waited = HidIo::Done;
  ReleaseBlockedCall(
      [&] {
        started = mouse->StartRead(buffer.data());
        waited = mouse->WaitRead(-1);
      },
      [&] { mouse->WakeRead(); });
  EXPECT_EQ(started, HidIo::Pending);
  EXPECT_EQ(waited, HidIo::Failed);
  EXPECT_EQ(mouse->StartRead(buffer.data()), HidIo::Failed) << "the wake is permanent";
  EXPECT_EQ(mouse->WaitRead(-1), HidIo::Failed);
}

// The platform's HID stack, except that the members the test names cannot be read, the way
// an interface that is going away or a misbehaving driver answers.
class PartlyUnreadableBackend final : public Win32HidBackend {
 public:
  explicit PartlyUnreadableBackend(std::function<bool(DWORD)> unreadable) : m_unreadable(std::move(unreadable)) {}

 protected:
  bool ReadMemberPath(HDEVINFO set, SP_DEVICE_INTERFACE_DATA& member, DWORD memberIndex, std::string& path) override {
    return !m_unreadable(memberIndex) && Win32HidBackend::ReadMemberPath(set, member, memberIndex, path);
  }

 private:
  std::function<bool(DWORD)> m_unreadable;
};

TEST_F(WineHidTest, AnUnreadableInterfaceIsLeftOutAndEveryOtherIsStillListed) {
  ASSERT_GE(m_paths.size(), 2u);
  const DWORD last = static_cast<DWORD>(m_paths.size() - 1);
  const struct {
    const char* name;
    std::function<bool(DWORD)> unreadable;
  } cases[] = {
      {"the first", [](DWORD member) { return member == 0; }},
      {"the last", [last](DWORD member) { return member == last; }},
      {"every second", [](DWORD member) { return member % 2 == 1; }},
      {"all", [](DWORD) { return true; }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> expected;
    for (size_t member = 0; member < m_paths.size(); ++member) {
      if (!c.unreadable(static_cast<DWORD>(member))) {
        expected.push_back(m_paths[member]);
      }
    }
    PartlyUnreadableBackend backend(c.unreadable);
    std::vector<std::string> paths{"stale entry"};
    EXPECT_TRUE(backend.Enumerate(paths));
    EXPECT_EQ(paths, expected);
  }
}

TEST_F(WineHidTest, ManyOpensWithReadsLeftOutstandingLeaveNoHandleBehind) {
  const std::string mouse = PathOf(kWineMouse.productId);
  auto cycle = [&] {
    std::vector<std::string> paths;
    EXPECT_TRUE(m_backend.Enumerate(paths));
    std::array<uint8_t, 2> buffer{};
    const auto handle = m_backend.Open(mouse);
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(handle->StartRead(buffer.data()), HidIo::Pending);
  };
  cycle();  // the first use loads what the platform keeps for the process
  const size_t before = CountOwnHandles();
  ASSERT_GT(before, 0u);
  for (int i = 0; i < 200; ++i) {
    cycle();
  }
  EXPECT_EQ(CountOwnHandles(), before);
}

}  // namespace
}  // namespace qx80
