#pragma once
// A thread-safe queue of window messages: the message loop of a program without windows (the
// command-line tool, tests). Its poster, installed with SetWindowMessagePoster, takes every
// posted message; the owning thread waits for them and dispatches them itself.
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>

#include "platform/window_message.h"

namespace qx80 {

class WindowMessageQueue {
 public:
  void Post(const WindowMessage& message);
  // Takes the oldest message, waiting up to `timeoutMs` clock milliseconds; false if none came.
  bool Wait(WindowMessage& message, uint32_t timeoutMs);
  // A poster that puts messages into `queue` for as long as it exists.
  static WindowMessagePoster PosterFor(const std::shared_ptr<WindowMessageQueue>& queue);

 private:
  std::mutex m_mutex;
  std::condition_variable m_cv;
  std::deque<WindowMessage> m_messages;
};

}  // namespace qx80
