#pragma once
// The about box: the application icon, the product name with its version and the legal
// notice of the template.
#include "updater/app_info.h"
#include "updater/dialog_controller.h"

namespace qx80 {

class CAboutDlg : public DialogController {
 public:
  explicit CAboutDlg(const AppInfo& app);

  bool OnInitDialog(DialogView& view) override;

 private:
  const AppInfo& m_app;
};

}  // namespace qx80
