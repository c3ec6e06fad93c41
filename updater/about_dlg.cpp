#include "updater/about_dlg.h"

#include "updater/resources/resource_ids.h"
#include "updater/version_info.h"

namespace qx80 {

namespace {
constexpr int kAboutIconSize = 48;
}

CAboutDlg::CAboutDlg(const AppInfo& app) : DialogController(IDD_ABOUT), m_app(app) {}

bool CAboutDlg::OnInitDialog(DialogView& view) {
  if (view.HasItem(IDC_ABOUT_ICON)) {
    view.SetItemIcon(IDC_ABOUT_ICON, IDI_APP, kAboutIconSize);
  }
  view.SetTitle(m_app.LoadText(IDS_ABOUT_TITLE));
  view.SetText(ID_OK, m_app.LoadText(IDS_OK));
  view.SetText(IDC_ABOUT_VERSION, FormatAboutVersion(m_app));
  return true;
}

}  // namespace qx80
