#include "link/device_link.h"

#include <cstdint>
#include <mutex>
#include <string_view>

#include "platform/command_line.h"
#include "protocol/device_protocol.h"
#ifndef _WIN32
#include "device/linux/hidraw_backend.h"
#endif

namespace qx80 {
namespace {

std::mutex g_simRigWatchMutex;
SimRigWatch g_simRigWatch;

void TellSimRigWatch(std::function<void(SimQx80Rig&)> SimRigWatch::*which, SimQx80Rig& rig) {
  std::function<void(SimQx80Rig&)> tell;
  {
    std::lock_guard<std::mutex> lock(g_simRigWatchMutex);
    tell = g_simRigWatch.*which;
  }
  if (tell) {
    tell(rig);
  }
}

}  // namespace

void WatchSimRigs(SimRigWatch watch) {
  std::lock_guard<std::mutex> lock(g_simRigWatchMutex);
  g_simRigWatch = std::move(watch);
}

DeviceLink::DeviceLink(double speed, Bounds timeOuts) : m_clock(speed, timeOuts), m_scopedClock(m_clock) {}

DeviceLink::~DeviceLink() {
  if (m_rig) {
    TellSimRigWatch(&SimRigWatch::ending, *m_rig);
  }
  SetCurrentTranscript(nullptr);
  m_scopedRecorder.reset();
  m_recorder.reset();
  m_transcript.reset();
  m_scopedChosen.reset();
  m_chosen.reset();
  m_scoped.reset();
  m_backend.reset();
  m_rig.reset();
}

bool DeviceLink::Open(const std::string& option, std::ostream& err) {
  std::string error;
  if (!OpenBus(option, error)) {
    err << "qx80: " << error << "\n";
    return false;
  }
  return true;
}

bool DeviceLink::OpenBus(const std::string& option, std::string& error) {
  const std::string_view text = option;
  if (text == "usb") {
#ifndef _WIN32
    m_backend = std::make_unique<HidrawBackend>();
    m_scoped = std::make_unique<ScopedHidBackend>(*m_backend);
#endif
    return true;
  }
  if (text == "sim" || text.starts_with("sim:")) {
    // sim[:SCENARIO[:LINK]]
    const std::string_view rest = text == "sim" ? std::string_view("ok") : text.substr(4);
    const std::string_view name = rest.substr(0, rest.find(':'));
    const std::string_view linkName = name.size() < rest.size() ? rest.substr(name.size() + 1) : "fast";
    const SimScenario* scenario = FindSimScenario(name);
    if (scenario == nullptr) {
      error = "unknown scenario " + std::string(name) + " (known: " + ScenarioNames() + ")";
      return false;
    }
    const SimLink* link = FindSimLink(linkName);
    if (link == nullptr) {
      error = "unknown link " + std::string(linkName) + " (known: " + std::string(kSimLinkNames) + ")";
      return false;
    }
    m_rig = std::make_unique<SimQx80Rig>(*scenario);
    m_rig->Bus().SetLink(*link);
    TellSimRigWatch(&SimRigWatch::began, *m_rig);
    m_scoped = std::make_unique<ScopedHidBackend>(m_rig->Bus());
    return true;
  }
  if (text.starts_with("bridge:")) {
    std::string host;
    uint16_t port = 0;
    if (!ParseBridgeAddress(text.substr(7), host, port)) {
      error = "bad bridge address " + std::string(text.substr(7)) + " (HOST:PORT)";
      return false;
    }
    auto bridge = std::make_unique<BridgeHidBackend>(host, port);
    m_bridge = bridge.get();
    m_backend = std::move(bridge);
    m_scoped = std::make_unique<ScopedHidBackend>(*m_backend);
    return true;
  }
  error = "unknown device " + option + " (usb, sim[:SCENARIO[:LINK]] or bridge:HOST:PORT)";
  return false;
}

bool DeviceLink::Reach(std::string& error) {
  return m_bridge == nullptr || m_bridge->Reach(error);
}

bool DeviceLink::Choose(const DeviceChoice& choice, std::string& error) {
  m_chose = true;
  HidBackend& bus = CurrentHidBackend();
  const std::vector<Qx80Interface> found = ListQx80(bus);
  const int64_t index = PickQx80(found, choice, error);
  if (index < 0) {
    return error.empty();
  }
  m_chosen = std::make_unique<ChosenDeviceBackend>(bus, found[static_cast<size_t>(index)]);
  m_scopedChosen = std::make_unique<ScopedHidBackend>(*m_chosen);
  return true;
}

DeviceLock::Status DeviceLink::Lock(std::string& error) {
  if (m_rig || m_lock.Held()) {
    return DeviceLock::Status::Held;
  }
  if (m_bridge != nullptr) {
    return m_lock.Take(m_bridge->Location(), error);
  }
#ifdef _WIN32
  return m_lock.Take("usb", error);
#else
  if (!m_chose) {
    return DeviceLock::Status::Held;
  }
  std::string location;
  const std::string path = m_chosen != nullptr ? m_chosen->CurrentPath() : "";
  if (path.empty() || !m_chosen->Locate(path, location)) {
    return m_lock.Take("usb", error);
  }
  return m_lock.Take("usb:" + location, error);
#endif
}

bool DeviceLink::Record(const std::string& log, std::string_view commandLine, const std::filesystem::path& keep,
                        std::string& error) {
  if (log.empty()) {
    return true;
  }
  auto transcript = std::make_unique<TranscriptWriter>();
  if (!transcript->Open(PathFromArgument(log), commandLine, keep, error)) {
    return false;
  }
  m_transcript = std::move(transcript);
  m_recorder = std::make_unique<TranscriptHidBackend>(CurrentHidBackend(), *m_transcript, QX80_VENDOR_ID);
  m_scopedRecorder = std::make_unique<ScopedHidBackend>(*m_recorder);
  SetCurrentTranscript(m_transcript.get());
  return true;
}

std::string DeviceLink::TranscriptFailure() const {
  return m_transcript ? m_transcript->Failure() : std::string();
}

std::string ScenarioNames() {
  std::string names;
  for (const SimScenario& scenario : SimScenarios()) {
    names += (names.empty() ? "" : ", ") + std::string(scenario.name);
  }
  return names;
}

}  // namespace qx80
