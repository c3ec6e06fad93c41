#include "updater/win_app.h"

namespace qx80 {

int CWinApp::Run() {
  if (OnAppStart()) {
    m_quitCode = m_host.RunMessageLoop();
  }
  return OnAppExit();
}

}  // namespace qx80
