#pragma once
// The window shown while firmware is written: a red, bold warning not to unplug the device
// and a progress bar fed by the update worker's posted WM_UPDATE_PROGRESS messages. It has
// no buttons, and neither Enter nor Escape closes it.
#include "updater/app_info.h"
#include "updater/dialog_controller.h"

namespace qx80 {

class CFirmUpProgressDlg : public DialogController {
 public:
  explicit CFirmUpProgressDlg(const AppInfo& app);

  bool OnInitDialog(DialogView& view) override;
  void OnOK(DialogView& /*view*/) override {}
  void OnCancel(DialogView& /*view*/) override {}
  bool OnAppMessage(DialogView& view, uint32_t message, uintptr_t wParam, intptr_t lParam, intptr_t& result) override;
  bool UsesAlertColour(int id) const override;

  // WM_UPDATE_PROGRESS: wParam is the overall percentage.
  intptr_t OnUpdateProgress(DialogView& view, uintptr_t percent);

 private:
  const AppInfo& m_app;
};

}  // namespace qx80
