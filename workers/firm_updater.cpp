#include "workers/firm_updater.h"

#include <algorithm>

#include "firmware/firm_slots.h"
#include "platform/clock.h"
#include "platform/window_message.h"
#include "protocol/command_catalogue.h"
#include "protocol/firmware_transfer.h"
#include "workers/device_mode.h"

namespace qx80 {

CFirmUpdater::~CFirmUpdater() {
  StopUpdate();
}

StatusCode CFirmUpdater::StartUpdate(std::shared_ptr<CDeviceCommApp> comm, const FirmUpdateJob* job,
                                     std::shared_ptr<void> userDataOwner) {
  if (HasThread() || IsThreadActive()) {
    return kStatusAlreadyInitialized;
  }
  // A job without a section would switch the device to update mode and report success
  // without writing anything.
  if (!comm || job == nullptr || job->notifyWindow == nullptr || job->count == 0) {
    return kStatusNullPointer;
  }
  m_comm = std::move(comm);
  m_stopRequested.store(false);
  m_job = *job;
  // The record has room for FIRM_SLOT_COUNT sections; a larger count would run past it.
  m_job.count = std::min<uint32_t>(m_job.count, FIRM_SLOT_COUNT);
  m_userDataOwner = std::move(userDataOwner);
  m_images.clear();
  m_images.reserve(m_job.count);
  for (uint32_t i = 0; i < m_job.count; ++i) {
    FirmSection& section = m_job.sections[i];
    std::vector<uint8_t>& image = m_images.emplace_back();
    if (section.data != nullptr) {
      image.assign(section.data, section.data + section.size);
      section.data = image.data();
    }
  }
  if (!Start(u"CFirmUpdater", 0)) {
    StopUpdate();
    return kStatusFail;
  }
  return kStatusOk;
}

void CFirmUpdater::StopUpdate() {
  Stop(kWorkerStopTimeoutMs);
  if (IsThreadActive()) {
    // The body still uses the connection and the job: they stay with this worker until a
    // later StopUpdate finds the thread ended, or until the worker is destroyed.
    return;
  }
  if (m_comm) {
    m_comm->Release();
  }
  Forget();
}

void CFirmUpdater::Forget() {
  m_comm.reset();
  m_job = FirmUpdateJob{};
  m_images.clear();
  m_userDataOwner.reset();
}

uint32_t CFirmUpdater::Run() {
  if (g_deviceMode.load() == DEVICE_MODE_NORMAL) {
    ProtocolResult switched = ResultNoChannel;
    for (uint32_t attempt = 0; attempt < kModeSwitchAttempts; ++attempt) {
      if (m_stopRequested.load()) {
        switched = ResultStopped;
        break;
      }
      switched = RunModeCommand(kEnterUpdateMode);
      if (switched == ResultOk) {
        break;
      }
    }
    if (switched == ResultOk) {
      switched = WaitForUpdateMode(kSwitchWaitPolls);
    }
    if (switched != ResultOk) {
      Finish(switched);
      return 0;
    }
  }
  m_sectionCount.store(m_job.count);
  m_sectionIndex.store(0);
  ProtocolResult ready = Settle();
  if (ready == ResultOk) {
    ready = WaitForUpdateMode(kRecheckWaitPolls);
  }
  if (ready != ResultOk) {
    Finish(ready);
    return 0;
  }
  const ProtocolResult written = WriteSections();
  // The device is told to leave its update mode even after a failed section; nothing is
  // expected of its reply. A stop on request leaves it in update mode, where the next update
  // finds it and writes it again.
  if (written != ResultStopped) {
    RunModeCommand(kLeaveUpdateMode);
  }
  Finish(written);
  return 0;
}

uint64_t CFirmUpdater::TimeBoundMs(const FirmSlots& slots) {
  const uint64_t modeCommandMs = kCommandCatalogue[CMD_SET_DEVICE_MODE].timeoutMs;
  uint64_t bound = kModeSwitchAttempts * modeCommandMs + uint64_t{kSwitchWaitPolls} * kModePollMs +
                   uint64_t{kSettlingTicks} * kSettlingTickMs + uint64_t{kRecheckWaitPolls} * kModePollMs +
                   modeCommandMs;
  for (int kind = 0; kind < FIRM_SLOT_COUNT; ++kind) {
    if (slots.Data(kind) != nullptr) {
      bound += WriteFirmwareBoundMs(static_cast<FirmKind>(kind), slots.Size(kind));
    }
  }
  return bound;
}

uint64_t CFirmUpdater::FullSpeedMs(const FirmSlots& slots) {
  uint64_t ms = uint64_t{kSettlingTicks} * kSettlingTickMs;
  for (int kind = 0; kind < FIRM_SLOT_COUNT; ++kind) {
    if (slots.Data(kind) != nullptr) {
      ms += WriteFirmwareFullSpeedMs(slots.Size(kind));
    }
  }
  return ms;
}

void CFirmUpdater::OnThreadExit() {
  m_userDataOwner.reset();
}

ProtocolResult CFirmUpdater::RunModeCommand(uint8_t b0) {
  return m_comm->RunCommand(CMD_SET_DEVICE_MODE, {.fill = [b0](ParameterBlock block) { block[0] = b0; }});
}

ProtocolResult CFirmUpdater::WaitForUpdateMode(uint32_t polls) {
  for (uint32_t pause = 0;; ++pause) {
    if (g_deviceMode.load() == DEVICE_MODE_UPDATE && m_comm->ReadyFlag() != 0) {
      return ResultOk;
    }
    if (m_stopRequested.load()) {
      return ResultStopped;
    }
    if (pause == polls) {
      return ResultModeTimeout;
    }
    GetClock().Sleep(kModePollMs);
  }
}

ProtocolResult CFirmUpdater::Settle() {
  const FirmSection& first = m_job.sections[0];
  for (uint32_t tick = 1; tick <= kSettlingTicks; ++tick) {
    if (m_stopRequested.load()) {
      return ResultStopped;
    }
    if (first.callback != nullptr) {
      first.callback(static_cast<int>(tick), first.userData);
    }
    GetClock().Sleep(kSettlingTickMs);
  }
  return ResultOk;
}

ProtocolResult CFirmUpdater::WriteSections() {
  const uint32_t count = m_sectionCount.load();
  for (m_sectionIndex.store(0); m_sectionIndex.load() < count; m_sectionIndex.fetch_add(1)) {
    // The whole section is one command, written under the connection lock: the owner's
    // connect and disconnect wait until it is done. A stop request reaches the transfer
    // between blocks.
    const FirmSection& section = m_job.sections[m_sectionIndex.load()];
    const ProtocolResult result = m_comm->RunCommand(
        CMD_WRITE_FIRMWARE, {.fill = [&section](ParameterBlock block) { SetFirmSection(block.data(), section); },
                             .stop = &m_stopRequested});
    if (result != ResultOk) {
      return result;
    }
  }
  return ResultOk;
}

void CFirmUpdater::Finish(ProtocolResult result) {
  PostWindowMessage(m_job.notifyWindow, m_job.notifyMessage, static_cast<uintptr_t>(static_cast<intptr_t>(result)), 0);
}

}  // namespace qx80
