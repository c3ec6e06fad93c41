#include "device/bridge/bridge_hid_backend.h"

#include <algorithm>
#include <charconv>
#include <utility>

#include "platform/clock.h"
#include "platform/parse_number.h"

namespace qx80 {

bool ParseBridgeAddress(std::string_view text, std::string& host, uint16_t& port) {
  const size_t colon = text.rfind(':');
  if (colon == std::string_view::npos || colon == 0) {
    return false;
  }
  const std::string_view digits = text.substr(colon + 1);
  uint32_t value = 0;
  if (!ParseWholeNumber(digits, value) || value == 0 || value > 0xFFFF) {
    return false;
  }
  host = std::string(text.substr(0, colon));
  port = static_cast<uint16_t>(value);
  return true;
}

// Reads come from the mirror bus; writes go straight onto the connection.
class BridgeHidBackend::Handle final : public HidHandle {
 public:
  Handle(BridgeHidBackend& backend, uint32_t generation, std::unique_ptr<HidHandle> mirrored)
      : m_backend(backend), m_generation(generation), m_mirrored(std::move(mirrored)) {}

  const HidInterfaceCaps& Caps() const override { return m_mirrored->Caps(); }

  HidIo StartRead(uint8_t* buffer) override { return m_mirrored->StartRead(buffer); }
  HidIo WaitRead(int32_t timeoutMs) override { return m_mirrored->WaitRead(timeoutMs); }
  void CancelRead() override { m_mirrored->CancelRead(); }
  void WakeRead() override { m_mirrored->WakeRead(); }

  // A report is done once the connection took it: the wire carries no answer to it, so
  // no write is ever left outstanding.
  HidIo StartWrite(const uint8_t* buffer) override {
    const std::span<const uint8_t> report(buffer, Caps().outputReportLength);
    return m_backend.SendOutput(m_generation, report) ? HidIo::Done : HidIo::Failed;
  }
  HidIo WaitWrite(int32_t) override { return HidIo::Failed; }
  void CancelWrite() override {}

 private:
  BridgeHidBackend& m_backend;
  const uint32_t m_generation;
  const std::unique_ptr<HidHandle> m_mirrored;
};

BridgeHidBackend::BridgeHidBackend(std::string host, uint16_t port) : m_host(std::move(host)), m_port(port) {}

BridgeHidBackend::~BridgeHidBackend() {
  std::lock_guard<std::mutex> connectLock(m_connectMutex);
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_stream != nullptr) {
      m_stream->Close();
    }
  }
  if (m_reader.joinable()) {
    m_reader.join();
  }
}

bool BridgeHidBackend::Enumerate(std::vector<std::string>& paths) {
  ConnectIfNeeded();
  std::lock_guard<std::mutex> lock(m_mutex);
  paths.clear();
  if (m_device.has_value()) {
    paths.push_back(PathLocked());
  }
  return true;
}

std::unique_ptr<HidHandle> BridgeHidBackend::Open(const std::string& path) {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (!m_device.has_value() || path != PathLocked()) {
    return nullptr;
  }
  std::vector<std::string> mirrorPaths;
  m_mirror.Enumerate(mirrorPaths);  // the mirror holds this one device only
  auto mirrored = mirrorPaths.size() == 1 ? m_mirror.Open(mirrorPaths.front()) : nullptr;
  if (mirrored == nullptr) {
    return nullptr;
  }
  return std::make_unique<Handle>(*this, m_generation, std::move(mirrored));
}

bool BridgeHidBackend::Locate(const std::string& path, std::string& location) {
  std::string prefix = Location();
  if (!path.starts_with(prefix + ":")) {
    return false;
  }
  location = std::move(prefix);
  return true;
}

std::string BridgeHidBackend::Location() const {
  return "bridge:" + m_host + ":" + std::to_string(m_port);
}

bool BridgeHidBackend::Reach(std::string& error) {
  error = ConnectIfNeeded();
  return error.empty();
}

std::string BridgeHidBackend::ConnectIfNeeded() {
  const std::string address = m_host + ":" + std::to_string(m_port);
  std::lock_guard<std::mutex> connectLock(m_connectMutex);
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_readerEnded) {
      return {};
    }
  }
  if (m_reader.joinable()) {
    m_reader.join();
  }
  ConnectFailure failure = ConnectFailure::None;
  Socket socket = Socket::Connect(m_host, m_port, kConnectTimeoutMs, &failure);
  if (!socket.Valid()) {
    switch (failure) {
      case ConnectFailure::UnknownHost:
        return "cannot resolve the host " + m_host;
      case ConnectFailure::Refused:
        return "connection to " + address + " refused: nothing listens there (is qx80-sim --listen running?)";
      case ConnectFailure::NoAnswer:
        return "no answer from " + address + " within " + std::to_string(kConnectTimeoutMs) + " ms";
      default:
        return "cannot connect to " + address;
    }
  }
  auto stream = std::make_shared<BridgeStream>(std::move(socket));
  std::unique_lock<std::mutex> lock(m_mutex);
  m_stream = stream;
  m_readerEnded = false;
  m_heardFromDevice = false;
  m_busy = false;
  m_reader = std::thread([this, stream] { ReadFrames(*stream); });
  // A present device announces itself at once: wait a little for that, so that the first
  // enumeration on a new connection already finds it.
  m_changed.wait_for(lock, GetClock().RealBound(kFirstFrameTimeoutMs),
                     [this] { return m_heardFromDevice || m_readerEnded; });
  return m_busy ? address + " serves another client; try again when it has finished" : std::string();
}

void BridgeHidBackend::ReadFrames(BridgeStream& stream) {
  std::vector<BridgeFrame> frames;
  for (;;) {
    frames.clear();
    if (!stream.Receive(frames, -1) ||
        !std::all_of(frames.begin(), frames.end(), [this](const BridgeFrame& frame) { return OnFrame(frame); })) {
      break;
    }
  }
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    DropDeviceLocked();
    m_readerEnded = true;
    m_changed.notify_all();
  }
  // Only now may the peer see the connection end: by then the device is gone here.
  stream.Close();
}

bool BridgeHidBackend::OnFrame(const BridgeFrame& frame) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_heardFromDevice = true;
  m_changed.notify_all();
  // A device appears only while absent, and leaves or sends reports of its announced
  // length only while present.
  switch (frame.type) {
    case BridgeFrameType::Present: {
      HidInterfaceCaps caps;
      if (m_device.has_value() || !DecodePresentPayload(frame.payload, caps)) {
        return false;
      }
      m_caps = caps;
      ++m_generation;
      m_device = m_mirror.Attach(caps, nullptr);
      return true;
    }
    case BridgeFrameType::Gone:
      if (!m_device.has_value()) {
        return false;
      }
      DropDeviceLocked();
      return true;
    case BridgeFrameType::Input:
      if (!m_device.has_value() || frame.payload.size() != m_caps.inputReportLength) {
        return false;
      }
      m_mirror.PushInput(*m_device, frame.payload);
      return true;
    case BridgeFrameType::Busy:  // the server serves another client and closes this connection
      m_busy = !m_device.has_value();
      break;
    case BridgeFrameType::Output:  // output reports never flow towards the host
      break;
  }
  return false;
}

void BridgeHidBackend::DropDeviceLocked() {
  if (m_device.has_value()) {
    m_mirror.Detach(*m_device);  // open handles fail like after an unplug
    m_device.reset();
  }
}

bool BridgeHidBackend::SendOutput(uint32_t generation, std::span<const uint8_t> report) {
  std::shared_ptr<BridgeStream> stream;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_device.has_value() || m_generation != generation) {
      return false;
    }
    stream = m_stream;
  }
  // A failed send closes the stream; the reader then drops the device.
  return stream->Send(BridgeFrameType::Output, report);
}

std::string BridgeHidBackend::PathLocked() const {
  return "bridge:" + m_host + ":" + std::to_string(m_port) + ":" + std::to_string(m_generation);
}

}  // namespace qx80
