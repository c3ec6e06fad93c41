#include "sim/sim_replay.h"

#include <algorithm>

#include "platform/hex.h"

namespace qx80 {
namespace {

bool SameInterface(const HidInterfaceCaps& a, const HidInterfaceCaps& b) {
  return a.vendorId == b.vendorId && a.productId == b.productId && a.inputReportLength == b.inputReportLength &&
         a.outputReportLength == b.outputReportLength && a.featureReportLength == b.featureReportLength &&
         a.firstOutputReportId == b.firstOutputReportId;
}

std::chrono::steady_clock::duration Seconds(double seconds) {
  // Rounded, not truncated, so that every build (x87 or SSE arithmetic) plays the same times.
  return std::chrono::round<std::chrono::steady_clock::duration>(std::chrono::duration<double>(std::max(seconds, 0.0)));
}

// The first bytes of a report, for a message.
std::string Shortened(std::span<const uint8_t> report) {
  constexpr size_t kShown = 16;
  return HexBytes(report.first(std::min(report.size(), kShown))) + (report.size() > kShown ? "..." : "");
}

}  // namespace

SimReplay::SimReplay(SimHidBus& bus, const std::vector<TranscriptEvent>& events) : m_bus(bus) {
  BuildSegments(events);
  if (!m_hasDevice) {
    m_state = State::Ended;
    return;
  }
  m_device = m_bus.Attach(m_firstCaps, this);
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    ScheduleLocked(m_prelude, std::chrono::steady_clock::now());
  }
  m_player = std::thread([this] { Play(); });
}

SimReplay::~SimReplay() {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_stop = true;
  }
  m_changed.notify_all();
  if (m_player.joinable()) {
    m_player.join();
  }
  if (m_device) {
    m_bus.Detach(*m_device);
  }
}

void SimReplay::BuildSegments(const std::vector<TranscriptEvent>& events) {
  namespace t = transcript;
  bool present = false;  // whether an interface is on the bus at this point of the session
  HidInterfaceCaps presentCaps;
  Segment* segment = &m_prelude;
  double start = 0;
  uint32_t outHandle = 0;
  const auto add = [&](const TranscriptEvent& event, Action action) {
    Step& step = segment->steps.emplace_back();
    step.offset = event.seconds - start;
    step.action = action;
    step.report = action == Action::Push ? event.bytes : std::vector<uint8_t>();
    step.caps = event.caps;
  };
  for (const TranscriptEvent& event : events) {
    if (event.kind == t::kOpen) {
      if (!m_hasDevice) {
        m_hasDevice = true;
        m_firstCaps = event.caps;
        start = event.seconds;
      } else if (!present || !SameInterface(presentCaps, event.caps)) {
        add(event, Action::Arrive);
      }
      present = true;
      presentCaps = event.caps;
    } else if (event.kind == t::kLost && present) {
      add(event, Action::Leave);
      present = false;
    } else if (event.kind == t::kOut) {
      segment = &m_segments.emplace_back();
      segment->line = event.line;
      segment->out = event.bytes;
      start = event.seconds;
      outHandle = event.handle;
    } else if (event.kind == t::kIn && (outHandle == 0 || event.handle == outHandle)) {
      add(event, Action::Push);
    }
  }
}

void SimReplay::ScheduleLocked(const Segment& segment, TimePoint start) {
  for (const Step& step : segment.steps) {
    const TimePoint at = start + Seconds(step.offset);
    const auto later = std::upper_bound(m_due.begin(), m_due.end(), at,
                                        [](const TimePoint& when, const Due& due) { return when < due.at; });
    m_due.insert(later, Due{at, step});
  }
  m_changed.notify_all();
}

void SimReplay::OnOutputReport(SimHidBus::DeviceId, std::span<const uint8_t> report) {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (m_state == State::Mismatch) {
    return;
  }
  // After the end every report differs: the recorded host wrote none.
  if (m_next == m_segments.size()) {
    m_state = State::Mismatch;
    m_mismatch = "the host wrote a report after the transcript's last: " + Shortened(report);
  } else if (const Segment& segment = m_segments[m_next];
             !std::equal(report.begin(), report.end(), segment.out.begin(), segment.out.end())) {
    m_state = State::Mismatch;
    m_mismatch = "line " + std::to_string(segment.line) + ": the host wrote " + Shortened(report) +
                 " where the transcript has " + Shortened(segment.out);
  } else {
    ++m_next;
    ScheduleLocked(segment, std::chrono::steady_clock::now());
    return;
  }
  m_due.clear();
  m_changed.notify_all();
}

void SimReplay::Play() {
  std::unique_lock<std::mutex> lock(m_mutex);
  while (!m_stop) {
    if (m_state == State::Playing && m_due.empty() && m_next == m_segments.size()) {
      m_state = State::Ended;
      m_changed.notify_all();
    }
    if (m_due.empty()) {
      m_changed.wait(lock);
      continue;
    }
    if (std::chrono::steady_clock::now() < m_due.front().at) {
      m_changed.wait_until(lock, m_due.front().at);
      continue;
    }
    const Step step = std::move(m_due.front().step);
    m_due.pop_front();
    // The bus calls back into OnOutputReport under its own locks: never hold ours meanwhile.
    lock.unlock();
    RunStep(step);
    lock.lock();
  }
}

void SimReplay::RunStep(const Step& step) {
  switch (step.action) {
    case Action::Push:
      if (m_device) {
        m_bus.PushInput(*m_device, step.report);
      }
      break;
    case Action::Leave:
      if (m_device) {
        m_bus.Detach(*m_device);
        m_device.reset();
      }
      break;
    case Action::Arrive:
      if (m_device) {
        m_bus.Detach(*m_device);
      }
      m_device = m_bus.Attach(step.caps, this);
      break;
  }
}

SimReplay::State SimReplay::CurrentState() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_state;
}

SimReplay::State SimReplay::WaitUntilDone(std::chrono::milliseconds timeout) const {
  std::unique_lock<std::mutex> lock(m_mutex);
  m_changed.wait_for(lock, timeout, [this] { return m_state != State::Playing; });
  return m_state;
}

std::string SimReplay::Summary() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  const std::string played =
      std::to_string(m_next) + " of " + std::to_string(m_segments.size()) + " recorded reports out came";
  switch (m_state) {
    case State::Ended:
      return "the transcript has been played to its end: " + played;
    case State::Mismatch:
      return "the replay ended at a report that differs from the transcript, " + m_mismatch + " (" + played + ")";
    case State::Playing:
      break;
  }
  return "the replay stopped before the transcript's end: " + played;
}

}  // namespace qx80
