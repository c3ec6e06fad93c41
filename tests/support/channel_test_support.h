#pragma once
// Shared by the channel and simulated-device tests: byte helpers, a recorder for the
// channel's plain-function callbacks, and a scripted device that answers each request with
// whatever reports the test gives it.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <span>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "device/hid_backend.h"
#include "device/sim_bus/sim_hid_bus.h"
#include "platform/clock.h"
#include "protocol/device_protocol.h"
#include "protocol/message.h"
#include "sim/sim_wire.h"
#include "tests/support/scaled_bounds.h"

namespace qx80::test {

using Bytes = std::vector<uint8_t>;

// "02 06 00" -> {0x02, 0x06, 0x00}
inline Bytes Hex(const std::string& text) {
  Bytes bytes;
  std::istringstream in(text);
  std::string token;
  while (in >> token) {
    bytes.push_back(static_cast<uint8_t>(std::stoul(token, nullptr, 16)));
  }
  return bytes;
}

// start, start + 1, ... (wrapping at 256)
inline Bytes Ramp(uint8_t start, size_t count) {
  Bytes bytes(count);
  for (size_t i = 0; i < count; ++i) {
    bytes[i] = static_cast<uint8_t>(start + i);
  }
  return bytes;
}

inline Bytes operator+(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// The reports of a response message.
inline std::vector<Report> Response(const Bytes& message) {
  return FrameMessage(REPORT_RESPONSE_FIRST, message);
}

// A reply header and its data.
inline std::vector<Report> Reply(uint8_t type, uint16_t id, const Bytes& data = {}, uint8_t status = 0,
                                 uint8_t detail = 0, uint8_t arg = 0) {
  return Response(EncodeMessage(MessageHeader{type, id, arg, status, detail, 0}, data));
}

inline Report MakeReport(const Bytes& bytes) {
  Report report{};
  std::copy(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(std::min(bytes.size(), report.size())),
            report.begin());
  return report;
}

// What the callbacks of a channel received. The callbacks are plain functions, so the
// record is process-wide; each fixture clears it.
class CallbackLog {
 public:
  struct Text {
    int32_t kind;
    std::string text;
    int32_t length;
    bool operator==(const Text&) const = default;
  };

  static void Notify(int32_t code, int32_t value) {
    {
      std::lock_guard<std::mutex> lock(State().mutex);
      State().notifications.emplace_back(code, value);
    }
    State().cv.notify_all();
  }

  static void OnText(int32_t kind, const char* text, int32_t length) {
    {
      std::lock_guard<std::mutex> lock(State().mutex);
      State().texts.push_back(Text{kind, text, length});
    }
    State().cv.notify_all();
  }

  static void Clear() {
    std::lock_guard<std::mutex> lock(State().mutex);
    State().notifications.clear();
    State().texts.clear();
  }

  static std::vector<std::pair<int32_t, int32_t>> Notifications() {
    std::lock_guard<std::mutex> lock(State().mutex);
    return State().notifications;
  }

  static std::vector<Text> Texts() {
    std::lock_guard<std::mutex> lock(State().mutex);
    return State().texts;
  }

  // Waits (bounded, in real time) until at least `count` notifications have arrived.
  static bool WaitNotifications(size_t count) {
    std::unique_lock<std::mutex> lock(State().mutex);
    return State().cv.wait_for(lock, std::chrono::seconds(20),
                               [count] { return State().notifications.size() >= count; });
  }

 private:
  struct Record {
    std::mutex mutex;
    std::condition_variable cv;
    std::vector<std::pair<int32_t, int32_t>> notifications;
    std::vector<Text> texts;
  };
  static Record& State() {
    static Record record;
    return record;
  }
};

// A QX-80 whose answers the test writes: it records every report written to it and every
// request, and answers each request with the reports the responder returns.
class ScriptedDevice final : public SimHidBus::Endpoint {
 public:
  using Responder = std::function<std::vector<Report>(const Bytes& request)>;

  explicit ScriptedDevice(SimHidBus& bus)
      : m_bus(bus), m_id(bus.Attach(HidInterfaceCaps{QX80_VENDOR_ID, QX80_PRODUCT_NORMAL, 65, 65, 0, 0}, this)) {}
  ~ScriptedDevice() override { m_bus.Detach(m_id); }

  void OnOutputReport(SimHidBus::DeviceId, std::span<const uint8_t> report) override {
    Responder responder;
    Bytes request;
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      m_written.push_back(MakeReport(Bytes(report.begin() + 1, report.end())));
      if (m_stallAfter == m_written.size()) {
        m_bus.SetStallWrites(m_id, true);
      }
      if (!m_assembler.Add(report.subspan(1))) {
        return;
      }
      const auto message = m_assembler.Message();
      request.assign(message.begin(), message.end());
      m_requests.push_back(request);
      responder = m_responder;
    }
    if (responder) {
      Push(responder(request));
    }
  }

  void Respond(Responder responder) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_responder = std::move(responder);
  }
  // Writes stall once this many reports have arrived.
  void StallAfter(size_t reports) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_stallAfter = reports;
  }
  void Push(const std::vector<Report>& reports) {
    for (const Report& report : reports) {
      Bytes platform(1, 0);
      platform.insert(platform.end(), report.begin(), report.end());
      m_bus.PushInput(m_id, platform);
    }
  }
  void Unplug() { m_bus.Detach(m_id); }
  SimHidBus::DeviceId Id() const { return m_id; }

  std::vector<Report> Written() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_written;
  }
  std::vector<Bytes> Requests() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_requests;
  }
  void ClearRecords() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_written.clear();
    m_requests.clear();
  }

 private:
  SimHidBus& m_bus;
  SimHidBus::DeviceId m_id;
  std::mutex m_mutex;
  RequestAssembler m_assembler;
  Responder m_responder;
  size_t m_stallAfter = 0;
  std::vector<Report> m_written;
  std::vector<Bytes> m_requests;
};

// Acknowledges every request with an empty reply of the matching type.
inline std::vector<Report> AcknowledgeAll(const Bytes& request) {
  const MessageHeader header = ReadHeader(request.data());
  return Reply(static_cast<uint8_t>(header.type + 1), header.id);
}

// Clock, bus and callback record for a test that opens a channel. Time runs 100 times
// faster; an answer that should come is waited for, and a step whose outcome is a
// time-out runs under ScaledTimeOuts(), where a 5 s time-out passes in 50 ms.
class ChannelEnvironment : public ::testing::Test {
 protected:
  ChannelEnvironment() : m_scopedClock(m_clock), m_backend(m_bus) { CallbackLog::Clear(); }

  std::unique_ptr<CDeviceProtocol> Open() { return CDeviceProtocol::Create(CHANNEL_MODE_NORMAL, &CallbackLog::Notify); }
  [[nodiscard]] ScopedScaledBounds ScaledTimeOuts() { return ScopedScaledBounds(m_clock); }

  ScaledClock m_clock{100.0, Bounds::Real};
  ScopedClock m_scopedClock;
  SimHidBus m_bus;
  ScopedHidBackend m_backend;
};

// A channel open in normal mode for every test, to the device the test class puts on the bus
// as a member of its own (built before SetUp opens the channel, gone after TearDown closed it).
class OpenChannelTest : public ChannelEnvironment {
 protected:
  void SetUp() override {
    m_channel = Open();
    ASSERT_NE(m_channel, nullptr);
  }
  void TearDown() override { m_channel.reset(); }

  std::unique_ptr<CDeviceProtocol> m_channel;
};

}  // namespace qx80::test
