#include "sim/sim_replay.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "device/hid_device.h"
#include "platform/hex.h"
#include "tests/support/test_temp_path.h"

namespace qx80 {
namespace {

using namespace std::chrono_literals;

// Generous: only a fault lets a wait run this long.
constexpr int32_t kAnswerMs = 10000;
constexpr auto kReplayEnd = 10s;

// A platform report: the report id, then the payload that starts with `first`.
std::vector<uint8_t> Report(uint8_t first) {
  std::vector<uint8_t> report(65, 0);
  report[1] = first;
  return report;
}

std::string Hex(uint8_t first) {
  return HexBytes(Report(first));
}

class SimReplayTest : public ::testing::Test {
 protected:
  // Reads `lines` as a transcript (line 1 is the header, so the first event is line 2).
  std::vector<TranscriptEvent> Events(const std::string& lines) {
    const auto path = TestTempPath(".transcript");
    std::ofstream(path) << kTranscriptHeader << "\n" << lines;
    std::vector<TranscriptEvent> events;
    std::string error;
    EXPECT_TRUE(ReadTranscript(path, events, error)) << error;
    return events;
  }

  bool OpenWhenPresent(CHidDevice& hid, int32_t productId) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(kAnswerMs);
    while (hid.Open(0x1F5E, productId, 64, 64, 0) == nullptr) {
      if (std::chrono::steady_clock::now() > until) {
        return false;
      }
      std::this_thread::sleep_for(5ms);
    }
    return true;
  }

  // Writes the payload of Report(first) and reads the answer's first payload byte.
  static int Exchange(CHidDevice& hid, uint8_t first) {
    const std::vector<uint8_t> report = Report(first);
    std::vector<uint8_t> answer(64, 0);
    if (hid.WriteReport(report.data() + 1, kAnswerMs) != 1 || hid.ReadReport(answer.data(), kAnswerMs) != 1) {
      return -1;
    }
    return answer[0];
  }

  SimHidBus m_bus;
  ScopedHidBackend m_scoped{m_bus};
};

// The device answers as recorded, leaves when the host lost it, and comes back under the
// product id it was opened with next.
TEST_F(SimReplayTest, PlaysTheDeviceThroughARestart) {
  SimReplay replay(m_bus, Events("0.000 open 1 1f5e:2a01 in=65 out=65 feature=0 id=0 first\n"
                                 "0.010 out 1 " +
                                 Hex(0x10) +
                                 "\n"
                                 "0.011 in 1 " +
                                 Hex(0x11) +
                                 "\n"
                                 "0.012 phase device: absent\n"
                                 "0.013 lost 1 read\n"
                                 "0.050 open 2 1f5e:2a02 in=65 out=65 feature=0 id=0 again\n"
                                 "0.060 out 2 " +
                                 Hex(0x20) +
                                 "\n"
                                 "0.061 in 2 " +
                                 Hex(0x21) +
                                 "\n"
                                 "0.062 in 2 " +
                                 Hex(0x22) + "\n"));
  ASSERT_TRUE(replay.HasDevice());
  CHidDevice hid;
  ASSERT_TRUE(OpenWhenPresent(hid, 0x2A01));
  EXPECT_EQ(Exchange(hid, 0x10), 0x11);
  std::vector<uint8_t> answer(64, 0);
  EXPECT_EQ(hid.ReadReport(answer.data(), kAnswerMs), 0);  // the device has left
  ASSERT_TRUE(OpenWhenPresent(hid, 0x2A02));
  EXPECT_EQ(Exchange(hid, 0x20), 0x21);
  ASSERT_EQ(hid.ReadReport(answer.data(), kAnswerMs), 1);
  EXPECT_EQ(answer[0], 0x22);
  EXPECT_EQ(replay.WaitUntilDone(kReplayEnd), SimReplay::State::Ended);
  EXPECT_NE(replay.Summary().find("played to its end: 2 of 2"), std::string::npos) << replay.Summary();
}

TEST_F(SimReplayTest, EndsAtTheFirstReportThatDiffers) {
  struct Case {
    const char* name;
    std::vector<uint8_t> written;  // first payload bytes the host writes
    const char* summary;
  };
  const std::vector<Case> cases = {
      {"another report", {0x10, 0x30}, "line 5: the host wrote 0030"},
      {"one more report than recorded", {0x10, 0x20, 0x10}, "after the transcript's last: 0010"},
  };
  for (const Case& c : cases) {
    SimReplay replay(m_bus, Events("0.000 open 1 1f5e:2a01 in=65 out=65 feature=0 id=0 p\n"
                                   "0.010 out 1 " +
                                   Hex(0x10) +
                                   "\n"
                                   "0.011 in 1 " +
                                   Hex(0x11) +
                                   "\n"
                                   "0.020 out 1 " +
                                   Hex(0x20) + "\n"));
    CHidDevice hid;
    ASSERT_TRUE(OpenWhenPresent(hid, 0x2A01)) << c.name;
    for (const uint8_t first : c.written) {
      const std::vector<uint8_t> report = Report(first);
      hid.WriteReport(report.data() + 1, kAnswerMs);
    }
    EXPECT_EQ(replay.WaitUntilDone(kReplayEnd), SimReplay::State::Mismatch) << c.name;
    EXPECT_NE(replay.Summary().find(c.summary), std::string::npos) << c.name << ": " << replay.Summary();
    hid.Close();
  }
}

}  // namespace
}  // namespace qx80
