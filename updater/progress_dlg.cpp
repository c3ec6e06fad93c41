#include "updater/progress_dlg.h"

#include "platform/window_message.h"
#include "updater/resources/resource_ids.h"

namespace qx80 {

CFirmUpProgressDlg::CFirmUpProgressDlg(const AppInfo& app) : DialogController(IDD_PROGRESS), m_app(app) {}

bool CFirmUpProgressDlg::OnInitDialog(DialogView& view) {
  view.SetTitle(m_app.LoadText(IDS_PROGRESS_TITLE));
  view.SetText(IDC_MESSAGE, m_app.LoadText(IDS_MSG_DONT_DISCONNECT));
  view.SetProgressRange(IDC_PROGRESS, 0, 100);
  view.SetEmphasisFont(IDC_MESSAGE);
  return true;
}

bool CFirmUpProgressDlg::OnAppMessage(DialogView& view, uint32_t message, uintptr_t wParam, intptr_t /*lParam*/,
                                      intptr_t& result) {
  if (message != WM_UPDATE_PROGRESS) {
    return false;
  }
  result = OnUpdateProgress(view, wParam);
  return true;
}

bool CFirmUpProgressDlg::UsesAlertColour(int id) const {
  return id == IDC_MESSAGE;
}

intptr_t CFirmUpProgressDlg::OnUpdateProgress(DialogView& view, uintptr_t percent) {
  view.SetProgressPos(IDC_PROGRESS, static_cast<int>(percent));
  return 0;
}

}  // namespace qx80
