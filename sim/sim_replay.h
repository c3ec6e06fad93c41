#pragma once
// A device played back from a transcript (docs/transcripts.md): it expects the host to write
// the recorded reports out, in their order, and answers each with what was recorded after
// it, at the same distance in time: the reports in, the interface leaving the bus, and the
// interface appearing again (under the product id it was opened with next). The first
// report that differs from the transcript ends the replay.
//
// The device's presence is taken from the transcript's interfaces: present from the first
// one opened, gone when the host lost it, back when the host opened it again. Reports in are
// those read on the interface the last report out went to. One device is played.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "device/sim_bus/sim_hid_bus.h"
#include "device/transcript.h"

namespace qx80 {

class SimReplay final : public SimHidBus::Endpoint {
 public:
  enum class State {
    Playing,
    Ended,     // every recorded report out came, and everything after the last was played
    Mismatch,  // the host wrote something the transcript does not have there (also after Ended)
  };

  // Attaches the device as first opened in `events` to `bus`, and plays from there. The bus
  // must outlive the replay.
  SimReplay(SimHidBus& bus, const std::vector<TranscriptEvent>& events);
  ~SimReplay() override;
  SimReplay(const SimReplay&) = delete;
  SimReplay& operator=(const SimReplay&) = delete;

  // False when the transcript holds no interface to play.
  bool HasDevice() const { return m_hasDevice; }
  State CurrentState() const;
  // Waits up to `timeout` (real time) for the replay to leave Playing; the state then.
  State WaitUntilDone(std::chrono::milliseconds timeout) const;
  // How far the replay came, and on a mismatch what differed and where.
  std::string Summary() const;

  void OnOutputReport(SimHidBus::DeviceId device, std::span<const uint8_t> report) override;

 private:
  using TimePoint = std::chrono::steady_clock::time_point;
  enum class Action { Push, Leave, Arrive };
  struct Step {
    double offset = 0;  // seconds after the segment's report out (or after the start)
    Action action = Action::Push;
    std::vector<uint8_t> report;  // Push
    HidInterfaceCaps caps;        // Arrive
  };
  // A report out and what followed it until the next one.
  struct Segment {
    size_t line = 0;
    std::vector<uint8_t> out;
    std::vector<Step> steps;
  };
  struct Due {
    TimePoint at;
    Step step;
  };

  void BuildSegments(const std::vector<TranscriptEvent>& events);
  void ScheduleLocked(const Segment& segment, TimePoint start);
  void Play();  // the player thread
  void RunStep(const Step& step);

  SimHidBus& m_bus;
  bool m_hasDevice = false;
  HidInterfaceCaps m_firstCaps;
  Segment m_prelude;  // what happens before the first report out
  std::vector<Segment> m_segments;

  mutable std::mutex m_mutex;
  mutable std::condition_variable m_changed;
  std::deque<Due> m_due;  // in time order
  size_t m_next = 0;      // the segment whose report out comes next
  State m_state = State::Playing;
  std::string m_mismatch;
  bool m_stop = false;
  std::optional<SimHidBus::DeviceId> m_device;  // the interface on the bus, while attached
  std::thread m_player;
};

}  // namespace qx80
