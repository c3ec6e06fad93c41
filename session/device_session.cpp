#include "session/device_session.h"

#include <algorithm>
#include <string_view>

#include "device/transcript.h"
#include "firmware/version_text.h"
#include "platform/byte_reader.h"
#include "protocol/protocol_result.h"

namespace qx80 {
namespace {

// Block bytes 4 to 20 carry the reply text; they are cleared before each query.
constexpr size_t kVersionTextOffset = 4;
constexpr size_t kVersionClearEnd = 21;
constexpr size_t kVersionShownChars = 4;

}  // namespace

std::shared_ptr<CDeviceSession> CDeviceSession::Create(WindowHandle window) {
  std::shared_ptr<CDeviceSession> session(new CDeviceSession(window));
  session->m_self = session;
  return session;
}

CDeviceSession::CDeviceSession(WindowHandle window) : m_window(window) {
  m_handler = DeviceModeHandler{&PostDeviceMode, window};
}

CDeviceSession::~CDeviceSession() {
  m_watcher->StopWatching();
  m_updater->StopUpdate();
  DisconnectDevice();
}

StatusCode CDeviceSession::StartWatching(uint32_t firstPollMs) {
  return m_watcher->StartWatching(&m_handler, firstPollMs);
}

void CDeviceSession::StopWatching() {
  m_watcher->StopWatching();
}

void CDeviceSession::OnDeviceModeChanged(int32_t mode) {
  NoteTranscriptPhase(std::string("device: ") + DeviceModeName(mode));
  m_reportedMode = mode;
  if (mode == DEVICE_MODE_NORMAL || mode == DEVICE_MODE_UPDATE) {
    ConnectDevice(mode);
  } else {
    DisconnectDevice();
  }
}

bool CDeviceSession::ConnectDevice(int32_t mode) {
  if (!m_device->Connect(mode)) {
    return false;
  }
  ReadVersions();
  return true;
}

void CDeviceSession::ReadVersions() {
  for (size_t slot = 0; slot < kComponentSlots; ++slot) {
    std::string shown;
    const auto fill = [slot](ParameterBlock block) {
      WriteLe32(block.data(), kVersionSelectors[slot]);
      std::fill(block.begin() + kVersionTextOffset, block.begin() + kVersionClearEnd, uint8_t{0});
    };
    const auto read = [&shown](ParameterBlockView block, const StatusPair&) {
      shown.assign(reinterpret_cast<const char*>(block.data() + kVersionTextOffset), kVersionShownChars);
    };
    if (m_device->RunCommand(CMD_GET_VERSION, {.fill = fill, .read = read}) == ResultOk) {
      m_deviceVersions[slot] = DisplayVersionText(shown);
    } else {
      m_deviceVersions[slot] = kVersionUnavailable;
    }
  }
}

void CDeviceSession::DisconnectDevice() {
  m_device->Disconnect();
  ClearDeviceVersions();
}

StatusCode CDeviceSession::StartUpdate(const FirmSlots& slots, WindowHandle progressWindow, bool tellSteps) {
  m_progressWindow.store(progressWindow);
  FirmUpdateJob job = slots.BuildUpdateJob(&PostUpdateProgress, this, m_window, WM_UPDATE_FINISHED);
  job.stepMessage = tellSteps ? WM_UPDATE_STEP : 0;
  if (job.count == 0) {
    return kStatusFail;
  }
  const StatusCode status = m_updater->StartUpdate(m_device, &job, m_self.lock());
  if (status >= 0) {
    NoteTranscriptPhase("update started");
  }
  return status;
}

void CDeviceSession::OnUpdateFinished(int32_t result) {
  NoteTranscriptResult(result, ResultName(result));
  m_updater->StopUpdate();
  m_progressWindow.store(nullptr);
  DisconnectDevice();
}

void CDeviceSession::PostUpdateProgress(int percent, void* userData) {
  const auto* session = static_cast<const CDeviceSession*>(userData);
  if (session == nullptr) {
    return;
  }
  const WindowHandle window = session->m_progressWindow.load();
  const uint32_t count = session->m_updater->SectionCount();
  if (window == nullptr || count == 0) {
    return;
  }
  PostWindowMessage(window, WM_UPDATE_PROGRESS, OverallPercent(percent, session->m_updater->SectionIndex(), count), 0);
}

uint32_t OverallPercent(int percent, uint32_t sectionIndex, uint32_t sectionCount) {
  return (static_cast<uint32_t>(percent) + sectionIndex * 100u) / sectionCount;
}

VersionSlots MakeVersionSlots(const FirmSlots& slots, const CDeviceSession::Versions& device) {
  VersionSlots result;
  for (size_t slot = 0; slot < kComponentSlots; ++slot) {
    result.loaded[slot] = slots.Data(static_cast<int>(slot)) != nullptr;
    result.device[slot] = device[slot];
    result.image[slot] = slots.Version(static_cast<int>(slot));
  }
  return result;
}

}  // namespace qx80
