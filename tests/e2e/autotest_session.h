#pragma once
// What a script run holds between its lines: the processes it started, the windows it named,
// and the wait of the line at hand. Every expectation is retried until it holds or that wait
// runs out, so a script needs no sleeps.
#include <windows.h>

#include <map>
#include <string>
#include <vector>

#include "autotest_process.h"

constexpr DWORD kDefaultTimeoutMs = 15000;
constexpr DWORD kPollMs = 50;

struct Session {
  Session() = default;
  ~Session();  // ends the processes still running
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // Retries `check` until it holds or the line's time runs out; `error` describes the last miss.
  template <typename Check>
  bool WaitFor(Check check, std::string& error, DWORD pollMs = kPollMs) const {
    const DWORD start = GetTickCount();
    while (true) {
      if (check(error)) {
        return true;
      }
      if (GetTickCount() - start > timeoutMs) {
        return false;
      }
      Sleep(pollMs);
    }
  }

  // The named window, when it still exists.
  bool Window(const std::string& name, HWND& hwnd, std::string& error) const;
  // The control that w[2] numbers in the window w[1] names.
  bool Control(const std::vector<std::string>& w, HWND& control, std::string& error) const;

  // WaitFor over the control that w[1] and w[2] name; a missing window or control is a miss too.
  template <typename Check>
  bool WaitForControl(const std::vector<std::string>& w, Check check, std::string& error,
                      DWORD pollMs = kPollMs) const {
    return WaitFor(
        [&](std::string& e) {
          HWND control = nullptr;
          return Control(w, control, e) && check(control, e);
        },
        error, pollMs);
  }

  DWORD timeoutMs = kDefaultTimeoutMs;
  std::map<std::string, Process> processes;
  std::map<std::string, HWND> windows;
};
