#include "workers/firm_updater.h"

#include <algorithm>

#include "device/transcript.h"
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
  // Each image stays with the worker for as long as the body may read it: shared with its
  // owner (the slots' package) where the job names one, else copied.
  for (uint32_t i = 0; i < m_job.count; ++i) {
    FirmSection& section = m_job.sections[i];
    if (section.data != nullptr && m_job.imageOwners[i] == nullptr) {
      const auto copy = std::make_shared<const std::vector<uint8_t>>(section.data, section.data + section.size);
      section.data = copy->data();
      m_job.imageOwners[i] = copy;
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
  m_userDataOwner.reset();
}

uint32_t CFirmUpdater::Run() {
  m_lastStep = UpdateStep{};
  m_stepPosted = false;
  m_phaseNoted = false;
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
      PostStep({.phase = UpdatePhase::Switching, .ms = kSwitchWaitPolls * kModePollMs});
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
    PostStep({.phase = UpdatePhase::Closing});
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
    PostStep({.phase = UpdatePhase::Settling,
              .percent = static_cast<uint8_t>((tick - 1) * kSettledPercent / kSettlingTicks),
              .ms = (kSettlingTicks - tick + 1) * kSettlingTickMs});
    GetClock().Sleep(kSettlingTickMs);
  }
  return ResultOk;
}

ProtocolResult CFirmUpdater::WriteSections() {
  const uint32_t count = m_sectionCount.load();
  m_bytesTotal = 0;
  for (uint32_t i = 0; i < count; ++i) {
    m_bytesTotal += m_job.sections[i].size;
  }
  m_bytesBefore = 0;
  for (m_sectionIndex.store(0); m_sectionIndex.load() < count; m_sectionIndex.fetch_add(1)) {
    const uint32_t index = m_sectionIndex.load();
    PostStep({.phase = UpdatePhase::Writing, .percent = WritingPercent(m_bytesBefore, m_bytesTotal)});
    // The whole section is one command, written under the connection lock: the owner's
    // connect and disconnect wait until it is done. A stop request reaches the transfer
    // between blocks and in its long waits. Its progress passes through the worker, which
    // tells the steps.
    FirmSection section = m_job.sections[index];
    section.callback = &OnSectionProgress;
    section.userData = this;
    const ProtocolResult result = m_comm->RunCommand(
        CMD_WRITE_FIRMWARE, {.fill = [&section](ParameterBlock block) { SetFirmSection(block.data(), section); },
                             .stop = &m_stopRequested});
    if (result != ResultOk) {
      return result;
    }
    m_bytesBefore += m_job.sections[index].size;
  }
  return ResultOk;
}

void CFirmUpdater::OnSectionProgress(int percent, void* userData) {
  auto& self = *static_cast<CFirmUpdater*>(userData);
  const uint32_t index = self.m_sectionIndex.load();
  const FirmSection& section = self.m_job.sections[index];
  if (section.callback != nullptr) {
    section.callback(percent, section.userData);
  }
  const int span = kFirmProgressBlocksDone - kFirmProgressBegun;
  const auto blocksDone =
      static_cast<uint64_t>(std::clamp(percent, kFirmProgressBegun, kFirmProgressBlocksDone) - kFirmProgressBegun);
  const uint8_t written = WritingPercent(self.m_bytesBefore + blocksDone * section.size / span, self.m_bytesTotal);
  if (percent < kFirmProgressBlocksDone) {
    self.PostStep({.phase = UpdatePhase::Writing, .percent = written});
  } else if (percent == kFirmProgressBlocksDone) {
    const FirmKind kind = std::clamp(self.m_job.kinds[index], FIRM_KIND_TIPA, FIRM_KIND_AGPF);
    self.PostStep({.phase = UpdatePhase::Finishing, .percent = written, .ms = kFirmTargets[kind].endTimeoutMs});
  } else if (index + 1 == self.m_sectionCount.load()) {
    self.PostStep({.phase = UpdatePhase::Finishing, .percent = 100});
  }
}

void CFirmUpdater::PostStep(UpdateStep step) {
  // After the last section the index has run one past it.
  const uint32_t count = std::clamp<uint32_t>(m_sectionCount.load(), 1, FIRM_SLOT_COUNT);
  const uint32_t index = std::min(m_sectionIndex.load(), count - 1);
  step.part = static_cast<uint8_t>(index);
  step.parts = static_cast<uint8_t>(count);
  step.kind = static_cast<uint8_t>(m_job.kinds[index]);
  // Each phase (and each part's writing and finishing) once into the session's transcript,
  // for either front end, in the words the tool shows.
  if (!m_phaseNoted || step.phase != m_notedPhase.phase || step.part != m_notedPhase.part) {
    m_phaseNoted = true;
    m_notedPhase = step;
    NoteTranscriptPhase("update: " + UpdatePhaseWords(step));
  }
  if (m_job.stepMessage == 0) {
    return;
  }
  step.percent = std::max(step.percent, m_lastStep.percent);
  // Every block reports; a step that tells nothing new is not posted.
  if (m_stepPosted && step.phase == m_lastStep.phase && step.part == m_lastStep.part &&
      step.percent == m_lastStep.percent && step.ms == m_lastStep.ms) {
    return;
  }
  m_lastStep = step;
  m_stepPosted = true;
  PostUpdateStep(m_job.notifyWindow, m_job.stepMessage, step);
}

void CFirmUpdater::Finish(ProtocolResult result) {
  PostWindowMessage(m_job.notifyWindow, m_job.notifyMessage, static_cast<uintptr_t>(static_cast<intptr_t>(result)), 0);
}

}  // namespace qx80
