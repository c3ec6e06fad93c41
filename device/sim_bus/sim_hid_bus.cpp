#include "device/sim_bus/sim_hid_bus.h"

#include <algorithm>
#include <charconv>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <utility>

#include "platform/clock.h"
#include "platform/parse_number.h"

namespace qx80 {
namespace {

// "sim:ID:GENERATION", as Enumerate writes paths; false for anything else.
bool ParseSimPath(std::string_view path, uint32_t& id, uint32_t& generation) {
  constexpr std::string_view kPrefix = "sim:";
  if (!path.starts_with(kPrefix)) {
    return false;
  }
  const std::string_view rest = path.substr(kPrefix.size());
  const size_t colon = rest.find(':');
  return colon != std::string_view::npos && ParseWholeNumber(rest.substr(0, colon), id) &&
         ParseWholeNumber(rest.substr(colon + 1), generation);
}

}  // namespace

// Lock order: a record's endpoint lock, then the bus lock, then a handle's lock.
struct SimHidBus::Record {
  DeviceId id = 0;
  Port port = kNewPort;
  HidInterfaceCaps caps;
  Endpoint* endpoint = nullptr;
  std::recursive_mutex endpointMutex;  // held while the endpoint runs; Detach waits for it
  // Changed only with both the endpoint lock and the bus lock held, so either lock alone
  // keeps them still: a write reaches the device under the endpoint lock only.
  bool attached = true;
  uint32_t generation = 0;
  // Read by every write without a lock, so that the common write (neither stalled nor
  // delayed, on a fast link) takes no lock but the endpoint's.
  std::atomic<bool> stallWrites{false};
  std::atomic<uint32_t> writeDelayMs{0};
  size_t written = 0;           // under the endpoint lock
  TimePoint lastOutputFrame{};  // frames used last on a paced link
  TimePoint lastInputFrame{};
};

class SimHidBus::Handle final : public HidHandle {
 public:
  Handle(SimHidBus& bus, std::shared_ptr<Record> record, uint32_t generation, const HidInterfaceCaps& caps)
      : m_bus(bus), m_record(std::move(record)), m_generation(generation), m_caps(caps) {}
  ~Handle() override { m_bus.Unregister(this); }

  const HidInterfaceCaps& Caps() const override { return m_caps; }

  HidIo StartRead(uint8_t* buffer) override {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_woken) {
      return HidIo::Failed;
    }
    // A report that reached the host before the device left is still read, however late
    // the reader comes for it, as a waiting read takes it too.
    m_readBuffer = buffer;
    if (TakeInputLocked()) {
      return HidIo::Done;
    }
    if (m_gone) {
      return HidIo::Failed;
    }
    m_readPending = true;
    return HidIo::Pending;
  }

  HidIo WaitRead(int32_t timeoutMs) override {
    std::unique_lock<std::mutex> lock(m_mutex);
    if (!m_readPending) {
      return HidIo::Failed;
    }
    const TimePoint deadline = Deadline(timeoutMs);
    for (;;) {
      if (TakeInputLocked()) {
        m_readPending = false;
        return HidIo::Done;
      }
      if (m_woken || m_gone) {
        m_readPending = false;
        return HidIo::Failed;
      }
      if (std::chrono::steady_clock::now() >= deadline) {
        return HidIo::TimedOut;
      }
      // A queued report on a paced link waits for its frame.
      WaitUntil(lock, m_input.empty() ? deadline : std::min(deadline, m_input.front().readyAt));
    }
  }

  HidIo StartWrite(const uint8_t* buffer) override {
    if (m_bus.DeliversAtOnce(*m_record)) {
      // Deliver finds the device gone exactly when m_gone is set: both change in one step.
      return Deliver(buffer);
    }
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      if (m_gone) {
        return HidIo::Failed;
      }
    }
    if (m_record->stallWrites.load()) {
      std::lock_guard<std::mutex> lock(m_mutex);
      m_writePending = true;
      m_writeFrame.reset();
      return HidIo::Pending;
    }
    const uint32_t delayMs = m_record->writeDelayMs.load();
    const auto frame = m_bus.TakeOutputFrame(*m_record);
    if (frame.has_value() || delayMs > 0) {
      const TimePoint due = std::chrono::steady_clock::now() + GetClock().RealDuration(delayMs);
      std::lock_guard<std::mutex> lock(m_mutex);
      m_writePending = true;
      m_writeFrame = frame.has_value() ? std::max(*frame, due) : due;
      m_writeBuffer = buffer;
      return HidIo::Pending;
    }
    return Deliver(buffer);
  }

  // A stalled write never completes; it ends when the device goes or the time runs out. A
  // paced or delayed one completes at its frame or when its delay has passed.
  HidIo WaitWrite(int32_t timeoutMs) override {
    std::unique_lock<std::mutex> lock(m_mutex);
    if (!m_writePending) {
      return HidIo::Failed;
    }
    const TimePoint deadline = Deadline(timeoutMs);
    for (;;) {
      if (m_gone) {
        m_writePending = false;
        return HidIo::Failed;
      }
      const TimePoint now = std::chrono::steady_clock::now();
      if (m_writeFrame.has_value() && now >= *m_writeFrame) {
        m_writePending = false;
        const uint8_t* buffer = std::exchange(m_writeBuffer, nullptr);
        lock.unlock();  // the device may answer at once, which takes this handle's lock
        return Deliver(buffer);
      }
      if (now >= deadline) {
        return HidIo::TimedOut;
      }
      WaitUntil(lock, m_writeFrame.has_value() ? std::min(deadline, *m_writeFrame) : deadline);
    }
  }

  void CancelRead() override {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_readPending = false;
  }

  void CancelWrite() override {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_writePending = false;
    m_writeBuffer = nullptr;
  }

  void WakeRead() override {
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      m_woken = true;
    }
    m_cv.notify_all();
  }

  // Called by the bus with its lock held.
  const std::shared_ptr<Record>& RecordOf() const { return m_record; }
  uint32_t Generation() const { return m_generation; }

  void Enqueue(std::span<const uint8_t> report, TimePoint readyAt) {
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      Input input{std::vector<uint8_t>(m_caps.inputReportLength, 0), readyAt};
      std::memcpy(input.bytes.data(), report.data(), std::min(input.bytes.size(), report.size()));
      m_input.push_back(std::move(input));
    }
    m_cv.notify_all();
  }

  void MarkGone() {
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      m_gone = true;
    }
    m_cv.notify_all();
  }

 private:
  struct Input {
    std::vector<uint8_t> bytes;
    TimePoint readyAt;  // the start of its frame on a paced link
  };

  static TimePoint Deadline(int32_t timeoutMs) {
    return timeoutMs < 0 ? TimePoint::max() : RealDeadline(static_cast<uint32_t>(timeoutMs));
  }

  void WaitUntil(std::unique_lock<std::mutex>& lock, TimePoint wake) {
    if (wake == TimePoint::max()) {
      m_cv.wait(lock);
    } else {
      m_cv.wait_until(lock, wake);
    }
  }

  HidIo Deliver(const uint8_t* buffer) {
    return m_bus.Deliver(*m_record, m_generation, std::span<const uint8_t>(buffer, m_caps.outputReportLength))
               ? HidIo::Done
               : HidIo::Failed;
  }

  bool TakeInputLocked() {
    if (m_input.empty() || m_readBuffer == nullptr || m_input.front().readyAt > std::chrono::steady_clock::now()) {
      return false;
    }
    std::memcpy(m_readBuffer, m_input.front().bytes.data(), m_input.front().bytes.size());
    m_input.pop_front();
    return true;
  }

  SimHidBus& m_bus;
  std::shared_ptr<Record> m_record;
  uint32_t m_generation;
  HidInterfaceCaps m_caps;

  std::mutex m_mutex;
  std::condition_variable m_cv;
  std::deque<Input> m_input;
  uint8_t* m_readBuffer = nullptr;
  bool m_readPending = false;
  bool m_writePending = false;
  std::optional<TimePoint> m_writeFrame;  // none while writes stall
  const uint8_t* m_writeBuffer = nullptr;
  bool m_woken = false;
  bool m_gone = false;
};

SimHidBus::SimHidBus() = default;

SimHidBus::~SimHidBus() {
  std::vector<DeviceId> ids;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    for (const auto& [id, record] : m_devices) {
      ids.push_back(id);
    }
  }
  for (DeviceId id : ids) {
    Detach(id);
  }
}

SimHidBus::DeviceId SimHidBus::Attach(const HidInterfaceCaps& caps, Endpoint* endpoint, Port port) {
  auto record = std::make_shared<Record>();
  record->caps = caps;
  record->endpoint = endpoint;
  std::lock_guard<std::mutex> lock(m_mutex);
  record->id = m_nextId++;
  record->port = port != kNewPort ? port : m_nextPort++;
  m_devices[record->id] = record;
  m_order[m_nextSequence++] = record->id;
  return record->id;
}

std::shared_ptr<SimHidBus::Record> SimHidBus::Find(DeviceId device) const {
  std::lock_guard<std::mutex> lock(m_mutex);
  const auto it = m_devices.find(device);
  return it == m_devices.end() ? nullptr : it->second;
}

void SimHidBus::Detach(DeviceId device) {
  const auto record = Find(device);
  if (record == nullptr) {
    return;
  }
  // Waits for a report the endpoint is handling on another thread.
  std::lock_guard<std::recursive_mutex> endpointLock(record->endpointMutex);
  std::lock_guard<std::mutex> lock(m_mutex);
  record->attached = false;
  m_devices.erase(device);
  std::erase_if(m_order, [device](const auto& entry) { return entry.second == device; });
  for (Handle* handle : m_handles) {
    if (handle->RecordOf() == record) {
      handle->MarkGone();
    }
  }
}

void SimHidBus::Reenumerate(DeviceId device, uint16_t productId) {
  const auto record = Find(device);
  if (record == nullptr) {
    return;
  }
  std::lock_guard<std::recursive_mutex> endpointLock(record->endpointMutex);
  std::lock_guard<std::mutex> lock(m_mutex);
  ++record->generation;
  record->caps.productId = productId;
  std::erase_if(m_order, [device](const auto& entry) { return entry.second == device; });
  m_order[m_nextSequence++] = device;
  for (Handle* handle : m_handles) {
    if (handle->RecordOf() == record) {
      handle->MarkGone();
    }
  }
}

bool SimHidBus::IsAttached(DeviceId device) const {
  return Find(device) != nullptr;
}

size_t SimHidBus::PushInput(DeviceId device, std::span<const uint8_t> report) {
  std::lock_guard<std::mutex> lock(m_mutex);
  const auto it = m_devices.find(device);
  if (it == m_devices.end()) {
    return 0;
  }
  size_t delivered = 0;
  const TimePoint readyAt = TakeFrame(it->second->lastInputFrame).value_or(TimePoint{});
  for (Handle* handle : m_handles) {
    if (handle->RecordOf() == it->second && handle->Generation() == it->second->generation) {
      handle->Enqueue(report, readyAt);
      ++delivered;
    }
  }
  return delivered;
}

void SimHidBus::SetStallWrites(DeviceId device, bool stall) {
  const auto record = Find(device);
  if (record != nullptr) {
    record->stallWrites.store(stall);
  }
}

void SimHidBus::SetLink(SimLink link) {
  m_link.store(link);
}

bool SimHidBus::DeliversAtOnce(const Record& record) const {
  return m_link.load() == SimLink::Fast && !record.stallWrites.load() && record.writeDelayMs.load() == 0;
}

std::optional<SimHidBus::TimePoint> SimHidBus::TakeFrame(TimePoint& last) const {
  if (m_link.load() == SimLink::Fast) {
    return std::nullopt;
  }
  const auto period = std::max(GetClock().RealDuration(kFrameMs), std::chrono::nanoseconds(1));
  // The first frame that starts now or later, and after the direction's last one.
  const auto frames =
      (std::chrono::steady_clock::now() - m_frameOrigin + period - std::chrono::nanoseconds(1)) / period;
  last = std::max(m_frameOrigin + frames * period, last + period);
  return last;
}

std::optional<SimHidBus::TimePoint> SimHidBus::TakeOutputFrame(Record& record) {
  std::lock_guard<std::mutex> lock(m_mutex);
  return TakeFrame(record.lastOutputFrame);
}

void SimHidBus::SetWriteDelay(DeviceId device, uint32_t delayMs) {
  const auto record = Find(device);
  if (record != nullptr) {
    record->writeDelayMs.store(delayMs);
  }
}

bool SimHidBus::Deliver(Record& record, uint32_t generation, std::span<const uint8_t> report) {
  std::lock_guard<std::recursive_mutex> endpointLock(record.endpointMutex);
  if (!record.attached || record.generation != generation) {
    return false;
  }
  ++record.written;
  if (record.endpoint != nullptr) {
    record.endpoint->OnOutputReport(record.id, report);
  }
  return true;
}

size_t SimHidBus::OpenHandleCount() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_handles.size();
}

size_t SimHidBus::WrittenReportCount(DeviceId device) const {
  const auto record = Find(device);
  if (record == nullptr) {
    return 0;
  }
  std::lock_guard<std::recursive_mutex> endpointLock(record->endpointMutex);
  return record->written;
}

bool SimHidBus::Enumerate(std::vector<std::string>& paths) {
  std::lock_guard<std::mutex> lock(m_mutex);
  paths.clear();
  for (const auto& [sequence, id] : m_order) {
    const auto& record = m_devices.at(id);
    paths.push_back("sim:" + std::to_string(id) + ":" + std::to_string(record->generation));
  }
  return true;
}

SimHidBus::Port SimHidBus::PortOf(DeviceId device) const {
  std::lock_guard<std::mutex> lock(m_mutex);
  const auto it = m_devices.find(device);
  return it == m_devices.end() ? kNewPort : it->second->port;
}

bool SimHidBus::Locate(const std::string& path, std::string& location) {
  DeviceId id = 0;
  uint32_t generation = 0;
  if (!ParseSimPath(path, id, generation)) {
    return false;
  }
  const Port port = PortOf(id);
  if (port == kNewPort) {
    return false;
  }
  location = "sim-port:" + std::to_string(port);
  return true;
}

std::unique_ptr<HidHandle> SimHidBus::Open(const std::string& path) {
  DeviceId id = 0;
  uint32_t generation = 0;
  if (!ParseSimPath(path, id, generation)) {
    return nullptr;
  }
  std::lock_guard<std::mutex> lock(m_mutex);
  const auto it = m_devices.find(id);
  if (it == m_devices.end() || it->second->generation != generation) {
    return nullptr;
  }
  auto handle = std::make_unique<Handle>(*this, it->second, it->second->generation, it->second->caps);
  m_handles.push_back(handle.get());
  return handle;
}

void SimHidBus::Unregister(Handle* handle) {
  std::lock_guard<std::mutex> lock(m_mutex);
  std::erase(m_handles, handle);
}

}  // namespace qx80
