#pragma once
// Thread: the base of the background workers (the device watcher, the update worker).
//
// It owns one worker thread at a time. Start hands the new thread over with a handshake:
// it returns only once the thread has run OnThreadInit, so the thread's message queue
// exists and a stop request posted right after Start is never lost. Stop asks the body to
// finish (RequestStop) and waits for it within a bound; it never kills the thread.
//
// Threading contract
// - Ownership. A Thread is started only while it is owned by a std::shared_ptr
//   (std::make_shared); Start refuses otherwise. The worker thread holds a reference of
//   its own until it has ended. When Stop gives up on a body that is still running and
//   the owner then lets go of the object, the object is not destroyed under the body: it
//   lives on, with everything it owns, until the body and OnThreadExit have returned, and
//   the thread's last reference then destroys it on the worker thread. So a body may use
//   its own object freely. Whatever it reaches through plain pointers to objects owned by
//   someone else is not covered: a body that may outlive its owner holds such objects by
//   std::shared_ptr (or owns them).
// - After Stop gave up, the body still uses the object: the owner must leave alone every
//   field the body uses (or guard it with a lock the body takes too). A derived destructor
//   may run on the worker thread, when the owner let go first.
// - One thread at a time: Start refuses while this object's previous thread still runs,
//   even after Stop gave up on it; once that thread has ended the object starts again.
// - Threads: Start, Stop and HasThread on the owner's thread; Run, OnThreadInit and
//   OnThreadExit on the worker thread; PostToThread, IsThreadActive and ExitCode anywhere.
// - m_running is written by one thread and read by the other without a lock; nothing else
//   is ordered by it.
// - Priority: std::thread has no portable priority, so Start accepts one and ignores it;
//   every worker of the system asks for normal priority (0) anyway.
// - Derived destructors call Stop(kWorkerStopTimeoutMs) first: this destructor does not
//   stop the thread.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <thread>

#include "platform/event.h"
#include "workers/thread_queue.h"

namespace qx80 {

// The bound every owner gives its worker in Stop.
constexpr uint32_t kWorkerStopTimeoutMs = 20000;

class Thread : public std::enable_shared_from_this<Thread> {
 public:
  static constexpr size_t kNameCapacity = 64;  // 63 characters and the terminator
  static constexpr uint32_t kStopPollMs = 100;
  // ExitCode while the thread runs, as the platform reports it.
  static constexpr uint32_t kStillActive = 259;

  Thread() = default;
  virtual ~Thread();
  Thread(const Thread&) = delete;
  Thread& operator=(const Thread&) = delete;

  // Starts the worker thread and returns once it has run OnThreadInit: true then (even
  // when OnThreadInit failed, in which case Run is skipped). False when the thread cannot
  // be created, when the object is not owned by a std::shared_ptr, or while a thread of
  // this object still runs. A null name is stored as empty; longer names are cut to 63
  // characters. `priority` is ignored (see above).
  virtual bool Start(const char16_t* name, int32_t priority);
  // Asks the body to finish and waits up to `timeoutMs` clock milliseconds, checking
  // every 100 ms. Afterwards the object holds no thread, whether or not it has ended.
  // Always returns true; returns at once when no thread is held.
  virtual bool Stop(uint32_t timeoutMs);

  // Posts to the worker thread's queue; false when no thread has it open.
  bool PostToThread(uint32_t message, uintptr_t wParam = 0, intptr_t lParam = 0);

  // A thread is held (started and not yet stopped).
  bool HasThread() const { return m_thread.joinable(); }
  // The last started thread has not ended yet; stays true after Stop gave up on it.
  bool IsThreadActive() const { return m_active.load(); }
  // The last thread's exit code: Run's result, or OnThreadInit's when that failed.
  uint32_t ExitCode() const;
  uint32_t ThreadId() const { return m_threadId; }
  const char16_t* Name() const { return m_name; }

 protected:
  // The thread's body; its result is the thread's exit code.
  virtual uint32_t Run() = 0;
  // Asks the body to finish; the base clears m_running.
  virtual void RequestStop();
  // First thing on the new thread, before the handshake: creates the thread's queue.
  // A non-zero result becomes the exit code and Run is skipped.
  virtual uint32_t OnThreadInit();
  // Last thing on the thread, after Run (or after a failed OnThreadInit).
  virtual void OnThreadExit() {}
  // Creates the platform thread running `body`; throws std::system_error when it cannot.
  virtual std::thread Launch(std::function<void()> body);

  ThreadQueue& Queue() { return m_queue; }

  // 1 from Start until RequestStop (or the body) clears it.
  std::atomic<int32_t> m_running{0};
  // Identifier of the held thread, unique in the process; 0 when none is held.
  uint32_t m_threadId = 0;
  char16_t m_name[kNameCapacity] = {};

 private:
  static void ThreadEntry(const std::shared_ptr<Thread>& self);
  void StoreName(const char16_t* name);
  // Lets go of the held thread: joins it when it has ended, else detaches it.
  void ReleaseThread();

  std::thread m_thread;
  Event m_startEvent;
  ThreadQueue m_queue;
  std::atomic<bool> m_active{false};
  std::atomic<uint32_t> m_exitCode{0};
};

}  // namespace qx80
