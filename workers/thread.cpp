#include "workers/thread.h"

#include <chrono>
#include <exception>
#include <utility>

#include "platform/clock.h"

namespace qx80 {
namespace {

uint32_t NextThreadId() {
  static std::atomic<uint32_t> lastId{0};
  uint32_t id = lastId.fetch_add(1) + 1;
  while (id == 0) {  // 0 means "no thread"
    id = lastId.fetch_add(1) + 1;
  }
  return id;
}

}  // namespace

Thread::~Thread() {
  // The worker holds a reference until it ends, so a thread still held here has either
  // finished with the object or is this very thread, when its last reference went.
  if (m_thread.joinable()) {
    ReleaseThread();
  }
}

bool Thread::Start(const char16_t* name, int32_t /*priority*/) {
  if (m_thread.joinable() || m_active.load()) {
    return false;
  }
  std::shared_ptr<Thread> self = weak_from_this().lock();
  if (!self) {
    return false;
  }
  StoreName(name);
  m_startEvent.Reset();
  m_running.store(1);
  m_active.store(true);
  m_threadId = NextThreadId();
  try {
    m_thread = Launch([self] { ThreadEntry(self); });
  } catch (const std::exception&) {
    // No thread: m_thread stays empty and the start fails below.
  }
  if (!m_thread.joinable()) {
    m_threadId = 0;
    m_active.store(false);
    m_running.store(0);
    return false;
  }
  m_startEvent.Wait(-1);
  return true;
}

bool Thread::Stop(uint32_t timeoutMs) {
  if (!m_thread.joinable()) {
    return true;
  }
  RequestStop();
  // The body itself, or the last owner letting go on the worker thread, cannot wait for
  // its own end.
  if (m_thread.get_id() != std::this_thread::get_id()) {
    // The bound passes on the tick counter, and also in real time where the clock lets
    // such bounds run in real time.
    Clock& clock = GetClock();
    const uint32_t start = clock.TickCount();
    const bool realBound = clock.RealBound(timeoutMs) > clock.RealDuration(timeoutMs);
    const auto realEnd = RealDeadline(timeoutMs);
    while (m_active.load() && (TicksSince(start, clock.TickCount()) <= timeoutMs ||
                               (realBound && std::chrono::steady_clock::now() < realEnd))) {
      clock.Sleep(kStopPollMs);
    }
  }
  ReleaseThread();
  return true;
}

bool Thread::PostToThread(uint32_t message, uintptr_t wParam, intptr_t lParam) {
  return m_queue.Post(ThreadMessage{message, wParam, lParam});
}

uint32_t Thread::ExitCode() const {
  return m_active.load() ? kStillActive : m_exitCode.load();
}

void Thread::RequestStop() {
  m_running.store(0);
}

uint32_t Thread::OnThreadInit() {
  m_queue.Open();
  return 0;
}

std::thread Thread::Launch(std::function<void()> body) {
  return std::thread(std::move(body));
}

void Thread::ThreadEntry(const std::shared_ptr<Thread>& self) {
  uint32_t rc = self->OnThreadInit();
  self->m_startEvent.Set();
  if (rc == 0) {
    rc = self->Run();
  }
  self->OnThreadExit();
  self->m_queue.Close();
  self->m_exitCode.store(rc);
  self->m_active.store(false);
}

void Thread::StoreName(const char16_t* name) {
  size_t length = 0;
  if (name != nullptr) {
    while (length < kNameCapacity - 1 && name[length] != u'\0') {
      m_name[length] = name[length];
      ++length;
    }
  }
  m_name[length] = u'\0';
}

void Thread::ReleaseThread() {
  if (m_active.load() || m_thread.get_id() == std::this_thread::get_id()) {
    m_thread.detach();
  } else {
    m_thread.join();
  }
  m_threadId = 0;
}

}  // namespace qx80
