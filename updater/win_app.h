#pragma once
// The application object of our dialog framework: start-up, the message loop, exit.
#include "updater/dialog_host.h"

namespace qx80 {

class CWinApp {
 public:
  explicit CWinApp(DialogHost& host) : m_host(host) {}
  virtual ~CWinApp() = default;
  CWinApp(const CWinApp&) = delete;
  CWinApp& operator=(const CWinApp&) = delete;

  // The whole life of the process: OnAppStart, then (when it returned true) the message
  // loop until a quit request, then OnAppExit, whose result is the process exit code.
  // When OnAppStart returns false, OnAppExit runs at once and the exit code is 0.
  int Run();

 protected:
  // Called once before the message loop; true runs the loop.
  virtual bool OnAppStart() = 0;
  // Called once after the loop; returns the exit code of the quit request that ended it.
  virtual int OnAppExit() { return m_quitCode; }

  DialogHost& Host() const { return m_host; }

 private:
  DialogHost& m_host;
  int m_quitCode = 0;
};

}  // namespace qx80
