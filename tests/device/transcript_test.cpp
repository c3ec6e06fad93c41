#include "device/transcript.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "device/hid_device.h"
#include "device/sim_bus/sim_hid_bus.h"
#include "device/transcript_hid_backend.h"
#include "tests/support/test_temp_path.h"

namespace qx80 {
namespace {

constexpr HidInterfaceCaps kDevice{0x1F5E, 0x2A01, 65, 65, 0, 0};
constexpr HidInterfaceCaps kOtherVendor{0x046D, 0xC077, 65, 65, 0, 0};

// Answers every report with the same report, its first payload byte incremented.
class EchoEndpoint : public SimHidBus::Endpoint {
 public:
  explicit EchoEndpoint(SimHidBus& bus) : m_bus(bus) {}
  void OnOutputReport(SimHidBus::DeviceId device, std::span<const uint8_t> report) override {
    std::vector<uint8_t> answer(report.begin(), report.end());
    ++answer[1];
    m_bus.PushInput(device, answer);
  }

 private:
  SimHidBus& m_bus;
};

class TranscriptTest : public ::testing::Test {
 protected:
  std::filesystem::path Path() const { return TestTempPath(".transcript"); }
  void WriteFile(const std::string& text) const { std::ofstream(Path(), std::ios::binary) << text; }
};

// A session on the device, with another vendor's interface before it on the bus: what is
// read back from the transcript is what crossed the device's interface, in order.
TEST_F(TranscriptTest, RecordsTheDevicesInterfaceOnly) {
  SimHidBus bus;
  EchoEndpoint echo(bus);
  bus.Attach(kOtherVendor, nullptr);
  const SimHidBus::DeviceId device = bus.Attach(kDevice, &echo);
  {
    TranscriptWriter writer;
    std::string error;
    ASSERT_TRUE(writer.Open(Path(), "a test", {}, error)) << error;
    TranscriptHidBackend recorder(bus, writer, kDevice.vendorId);
    ScopedHidBackend scoped(recorder);
    CHidDevice hid;
    ASSERT_NE(hid.Open(0x1F5E, 0x2A01, 64, 64, 0), nullptr);
    std::vector<uint8_t> payload(64, 0);
    payload[0] = 0x41;
    ASSERT_EQ(hid.WriteReport(payload.data(), 1000), 1);
    ASSERT_EQ(hid.ReadReport(payload.data(), 1000), 1);
    EXPECT_EQ(payload[0], 0x42);
    bus.Detach(device);
    EXPECT_EQ(hid.ReadReport(payload.data(), 1000), 0);
    NoteTranscriptPhase("not current: not written");
    SetCurrentTranscript(&writer);
    NoteTranscriptResult(-11, "ResultLinkLost");
    SetCurrentTranscript(nullptr);
  }
  std::vector<TranscriptEvent> events;
  std::string error;
  ASSERT_TRUE(ReadTranscript(Path(), events, error)) << error;

  std::vector<std::string> seen;
  for (const TranscriptEvent& event : events) {
    seen.push_back(event.kind + " " + std::to_string(event.handle) + " " + event.text);
  }
  // The search opens the interface once to learn it, then once to use it.
  const std::vector<std::string> expected = {
      "open 1 sim:2:0", "close 1 ", "open 2 sim:2:0", "out 2 ", "in 2 ", "lost 2 read", "result 0 -11 ResultLinkLost",
      "close 2 "};
  EXPECT_EQ(seen, expected);
  ASSERT_EQ(events.size(), expected.size());
  EXPECT_EQ(events[2].caps.productId, 0x2A01);
  EXPECT_EQ(events[2].caps.inputReportLength, 65);
  ASSERT_EQ(events[3].bytes.size(), 65u);
  EXPECT_EQ(events[3].bytes[1], 0x41);
  EXPECT_EQ(events[4].bytes[1], 0x42);
  for (size_t i = 1; i < events.size(); ++i) {
    EXPECT_GE(events[i].seconds, events[i - 1].seconds);
  }
}

// A transcript that cannot begin says the system's reason, and nothing is left behind.
TEST_F(TranscriptTest, WriterThatCannotBeginSaysWhy) {
  TranscriptWriter writer;
  std::string error;
  EXPECT_FALSE(writer.Open(Path() / "no-such-directory", "a test", {}, error));
  EXPECT_EQ(error, "No such file or directory");
#ifndef _WIN32
  EXPECT_FALSE(writer.Open("/dev/full", "a test", {}, error));
  EXPECT_EQ(error, "No space left on device");
#endif
  writer.Write("phase", "not written");
  EXPECT_EQ(writer.Failure(), "");
}

TEST_F(TranscriptTest, ReaderNamesTheFirstLineItCannotRead) {
  struct Case {
    std::string text;
    const char* error;  // part of the message; empty: read
  };
  const std::string header = std::string(kTranscriptHeader) + "\n";
  const std::vector<Case> cases = {
      {"qx80-transcript 2\n", "not a transcript of the version this program reads"},
      {"", "not a transcript (the file is empty)"},
      {"QX80 firmware\n", "not a transcript (its first line is \"QX80 firmware\""},
      // An editor's byte order mark and trailing spaces on the header are taken.
      {"\xEF\xBB\xBFqx80-transcript 1 \t\r\n0.1 phase ok\n", ""},
      {"# comments and empty lines are skipped\n\n0.5 phase update started\n0.6 result 0 ResultOk\n", ""},
      {"0.1 open 1 1f5e:2a01 in=65 out=65 feature=0 id=0 some path\n0.2 out 1 00ff\n", ""},
      {"0.1 phase lines may end in CR LF\r\n0.2 out 1 00ff\r\n", ""},
      {"0.1 open 1 1f5e:2a01 in=65 out=65 id=0 path\n", ":2: not an event line"},
      {"0.1 open 1 1f5e:2a01 in=65 out=65 feature=0 id=256 path\n", ":2: not an event line"},
      {"0.1 out 1 0g\n", ":2: not an event line"},
      {"0.1 out 1 abc\n", ":2: not an event line"},
      {"0.1 in 1\n", ":2: not an event line"},
      {"0.1 out x 00\n", ":2: not an event line"},
      {"-1 phase early\n", ":2: not an event line"},
      {"0.1 phase ok\nsoon close 1\n", ":3: not an event line"},
      {"0.1 shout 1 00\n", ":2: not an event line"},
      // A time must be a plain decimal from 0 to the bound: a replay turns it into a count of
      // nanoseconds, which an infinite or huge one would overflow.
      {"inf phase x\n", ":2: not an event line"},
      {"nan phase x\n", ":2: not an event line"},
      {"1e300 phase x\n", ":2: not an event line"},
      {"10000000.5 phase x\n", ":2: not an event line"},
      {std::string(400, '9') + " phase x\n", ":2: not an event line"},
      {"0x10 phase x\n", ":2: not an event line"},
      {std::string("0.1\0 phase x\n", 14), ":2: not an event line"},
      {"9999999.5 phase the longest time taken\n", ""},
      // The line is echoed with its control characters visible.
      {"0.1 \x1b[2J\n", ":2: not an event line: 0.1 \\x1b[2J"},
      {"0.1 phase " + std::string(kMaxTranscriptLineLength, 'x') + "\n", ":2: a line longer than"},
  };
  for (const Case& c : cases) {
    const bool whole = c.text.empty() || c.text.starts_with("qx80-transcript") || c.text.starts_with("\xEF") ||
                       c.text.starts_with("QX80");
    WriteFile(whole ? c.text : header + c.text);
    std::vector<TranscriptEvent> events;
    std::string error;
    const bool read = ReadTranscript(Path(), events, error);
    EXPECT_EQ(read, *c.error == '\0') << c.text;
    EXPECT_NE(error.find(c.error), std::string::npos) << c.text << " gave: " << error;
  }
}

}  // namespace
}  // namespace qx80
