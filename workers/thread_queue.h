#pragma once
// The message queue of one worker thread: the owner posts, the worker waits and takes.
//
// It stands in for the platform's thread message queue. Like that queue it exists only
// while its thread does: posts fail until the thread has opened it and again once the
// thread has ended, so a message is never left for a thread that will not read it.
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>

namespace qx80 {

struct ThreadMessage {
  uint32_t message = 0;
  uintptr_t wParam = 0;
  intptr_t lParam = 0;
};

// Asks a worker's message loop to end (the platform's WM_QUIT).
constexpr uint32_t kThreadQuit = 0x12;

class ThreadQueue {
 public:
  ThreadQueue() = default;
  ThreadQueue(const ThreadQueue&) = delete;
  ThreadQueue& operator=(const ThreadQueue&) = delete;

  // Creates the queue, empty. Called on the worker thread before the start handshake.
  void Open();
  // The thread is ending: further posts fail and whatever is queued is dropped.
  void Close();

  // Any thread. False when the queue does not exist.
  bool Post(const ThreadMessage& message);
  // Worker thread. Waits up to `timeoutMs` clock milliseconds for a message; a post wakes
  // the wait at once. Returns whether a message is queued.
  bool WaitForMessage(uint32_t timeoutMs);
  // Worker thread. Removes the oldest message; false when there is none.
  bool Take(ThreadMessage& message);

 private:
  std::mutex m_mutex;
  std::condition_variable m_cv;
  std::deque<ThreadMessage> m_messages;
  bool m_open = false;
};

}  // namespace qx80
