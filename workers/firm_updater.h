#pragma once
// CFirmUpdater: the worker that carries out one firmware update. It switches a device that
// runs normally into its update mode, waits until the device is back in that mode and the
// owner has reconnected to it, gives it ten seconds of settling ticks, writes the sections one
// after the other with command 0x88, sends the closing command 1 (argument 1) and posts the
// result to the job's window. It reaches the user interface only by posting; progress flows
// through the sections' callbacks, and, when the job asks for them, each step of the update
// to the job's window (workers/update_step.h).
//
// Ownership: created with std::make_shared like every Thread. What the body uses and the
// owner might destroy is held, not borrowed: the connection by std::shared_ptr, the section
// images by their owners in the job (shared with the slots; an image without one is copied),
// and the owner of the callbacks' user data by an optional std::shared_ptr. So a body that outlives its stop
// bound never touches a destroyed object.
#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "firmware/update_job.h"
#include "workers/device_comm_app.h"
#include "workers/status_codes.h"
#include "workers/thread.h"
#include "workers/update_step.h"

namespace qx80 {

class FirmSlots;

class CFirmUpdater : public Thread {
 public:
  static constexpr uint32_t kModePollMs = 200;
  static constexpr uint32_t kModeSwitchAttempts = 4;
  static constexpr uint32_t kSwitchWaitPolls = 601;  // about 120 s for the device to restart
  static constexpr uint32_t kSettlingTicks = 20;
  static constexpr uint32_t kSettlingTickMs = 500;
  static constexpr uint32_t kRecheckWaitPolls = 26;  // about 5 s after the ticks
  static constexpr int32_t CMD_SET_DEVICE_MODE = 1;
  static constexpr uint8_t kEnterUpdateMode = 0;
  static constexpr uint8_t kLeaveUpdateMode = 1;

  CFirmUpdater() = default;
  // StopUpdate.
  ~CFirmUpdater() override;

  // kStatusAlreadyInitialized while a thread of this worker exists or still runs;
  // kStatusNullPointer for a null connection, a null job, a job without a section or without
  // a notify window;
  // kStatusFail when the thread cannot start (StopUpdate has then run); else kStatusOk.
  // The job is copied with its images' owners (an image without one is copied itself). `userDataOwner`, when given, is
  // held until the body has returned: pass the owner of the sections' user data.
  StatusCode StartUpdate(std::shared_ptr<CDeviceCommApp> comm, const FirmUpdateJob* job,
                         std::shared_ptr<void> userDataOwner = {});
  // Stops the thread (bounded by kWorkerStopTimeoutMs). When the thread has ended, releases
  // the connection's channel and forgets the connection and the job; after a give-up they
  // stay with the worker (the body still uses them) until a later StopUpdate or destruction.
  void StopUpdate();

  // Asks a running update to stop at its next step, from any thread: before the next block
  // (the block in flight is answered first), section, settling tick or mode poll. The body
  // then posts -17 (ResultStopped) without the closing command, so a device that was switched
  // stays in its update mode, ready for the next update; before the mode switch nothing is
  // sent at all. Without it the body runs to its end as always. StartUpdate clears it.
  void StopAfterBlock() { m_stopRequested.store(true); }

  // The longest an update of the package in `slots` may take when every wait runs out its
  // time-out and every request its attempts: the mode switch (each attempt of command 1 waits
  // for its reply, then 601 polls), the settling ticks and the recheck, command 0x88 for each
  // loaded part (WriteFirmwareBoundMs: begin, blocks, end) and the closing command. A caller
  // that waits for the result may give up after this, never before. Clock milliseconds.
  static uint64_t TimeBoundMs(const FirmSlots& slots);
  // The shortest it can take on a full-speed USB link with a device that answers at once: the
  // settling ticks and each part's transfer (WriteFirmwareFullSpeedMs), without the device's
  // own restarts, which only the device decides. Clock milliseconds.
  static uint64_t FullSpeedMs(const FirmSlots& slots);

  // Read by the progress callbacks on the worker thread (and by anyone else).
  uint32_t SectionIndex() const { return m_sectionIndex.load(); }
  uint32_t SectionCount() const { return m_sectionCount.load(); }

 protected:
  uint32_t Run() override;
  // Lets go of the user data's owner, which may in turn own this worker.
  void OnThreadExit() override;

 private:
  // Command k on the connection under its lock, with `b0` written to byte 0 of the block.
  ProtocolResult RunModeCommand(uint8_t b0);
  // Polls until the device is in update mode and the connection ready: 0 then, -2 after
  // `polls` pauses of 200 ms, -17 when asked to stop.
  ProtocolResult WaitForUpdateMode(uint32_t polls);
  // The settling ticks: 0, or -17 when asked to stop.
  ProtocolResult Settle();
  ProtocolResult WriteSections();
  // Posts the result to the job's window.
  void Finish(ProtocolResult result);
  // Notes a new phase in the session's transcript, and posts `step` to the job's window when
  // the job asks for steps, with the section being written filled in and the percentage never
  // below the last one posted.
  void PostStep(UpdateStep step);
  // The progress callback the transfer calls (userData: the worker): passes the value on to
  // the section's own callback and turns it into steps.
  static void OnSectionProgress(int percent, void* userData);
  void Forget();

  std::shared_ptr<CDeviceCommApp> m_comm;
  FirmUpdateJob m_job;
  std::shared_ptr<void> m_userDataOwner;
  std::atomic<uint32_t> m_sectionIndex{0};
  std::atomic<uint32_t> m_sectionCount{0};
  std::atomic<bool> m_stopRequested{false};
  // Worker thread only: the bytes of the sections before the one being written, all of
  // them, and the step posted last.
  uint64_t m_bytesBefore = 0;
  uint64_t m_bytesTotal = 0;
  UpdateStep m_lastStep;
  bool m_stepPosted = false;
  UpdateStep m_notedPhase;  // the phase noted last in the transcript
  bool m_phaseNoted = false;
};

}  // namespace qx80
