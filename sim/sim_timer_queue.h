#pragma once
// The simulated device's own thread: runs tasks after a delay in clock milliseconds (late
// answers; later the return to the bus after a mode switch), in the order they fall due.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <thread>

namespace qx80 {

class SimTimerQueue {
 public:
  SimTimerQueue();
  ~SimTimerQueue();
  SimTimerQueue(const SimTimerQueue&) = delete;
  SimTimerQueue& operator=(const SimTimerQueue&) = delete;

  // Runs `task` on the queue's thread `delayMs` clock milliseconds from now. Tasks run
  // without any lock of the queue held; ignored once stopped.
  void Post(uint32_t delayMs, std::function<void()> task);
  // Drops the tasks not yet run, waits for the one running, ends the thread. Harmless twice.
  void Stop();
  // Waits until no task is pending or running, at most `realBound`; false if time ran out.
  bool WaitIdle(std::chrono::milliseconds realBound);

 private:
  void Run();

  std::mutex m_mutex;
  std::condition_variable m_cv;
  std::multimap<std::chrono::steady_clock::time_point, std::function<void()>> m_tasks;
  bool m_running = false;  // a task is running
  bool m_stopping = false;
  std::thread m_thread;
};

}  // namespace qx80
