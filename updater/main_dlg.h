#pragma once
// The main window's controller. This is the window's shell: caption, texts, system menu
// with the about item, the license agreement before anything else, and the ways to quit.
#include <cstdint>

#include "updater/app_info.h"
#include "updater/dialog_controller.h"
#include "updater/dialog_host.h"

namespace qx80 {

enum MainDlgState : int32_t {
  DLG_CONSTRUCTED = 0,   // object constructed; the window has not been initialised
  DLG_INITIALISING = 1,  // the WM_INITDIALOG work is running (license, image, watcher)
  DLG_READY = 2,         // the user may press Start when a device is present
  DLG_UPDATING = 3,      // the update worker runs
  DLG_FINISHED = 4,      // the update worker has reported its result
  DLG_CLOSING = 5,       // a quit was requested, initialisation failed, or the window goes
};

class CMainDlg : public DialogController {
 public:
  CMainDlg(const AppInfo& app, DialogHost& host);

  bool OnInitDialog(DialogView& view) override;
  void OnOK(DialogView& /*view*/) override {}
  void OnCancel(DialogView& view) override;
  bool OnCommand(DialogView& view, int id, int notifyCode) override;
  bool OnSysCommand(DialogView& view, uint32_t command) override;
  bool OnAppMessage(DialogView& view, uint32_t message, uintptr_t wParam, intptr_t lParam, intptr_t& result) override;
  void OnDestroy(DialogView& view) override;

  virtual bool SetupWindow(DialogView& view);
  // Requests the end of the message loop with `exitCode`.
  virtual void Quit(int exitCode);

  MainDlgState State() const { return m_state; }

 protected:
  const AppInfo& m_app;
  DialogHost& m_host;
  MainDlgState m_state = DLG_CONSTRUCTED;
  int32_t m_messageId = 0;
};

// The main dialog the application creates.
class CUpdaterDlg : public CMainDlg {
 public:
  using CMainDlg::CMainDlg;
};

}  // namespace qx80
