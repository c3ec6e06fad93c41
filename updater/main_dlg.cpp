#include "updater/main_dlg.h"

#include "platform/window_message.h"
#include "updater/about_dlg.h"
#include "updater/license_dlg.h"
#include "updater/resources/resource_ids.h"

namespace qx80 {

CMainDlg::CMainDlg(const AppInfo& app, DialogHost& host) : DialogController(IDD_MAIN), m_app(app), m_host(host) {}

bool CMainDlg::OnInitDialog(DialogView& view) {
  m_state = DLG_INITIALISING;
  m_messageId = 0;
  SetupWindow(view);

  // The user sees the main window greyed behind the license agreement.
  view.EnableWindow(false);
  view.ShowWindow();
  view.CenterInWorkArea();
  view.UpdateWindow();

  CLicenseDlg license(m_app);
  if (m_host.RunModal(license, nullptr) != ID_OK) {
    m_state = DLG_CLOSING;
    Quit(EXIT_CODE_USER_ENDED);
    return false;
  }

  m_state = DLG_READY;
  view.EnableWindow(true);
  return true;
}

bool CMainDlg::SetupWindow(DialogView& view) {
  const std::u16string aboutItem = m_app.LoadText(IDS_ABOUT_MENU);
  if (!aboutItem.empty()) view.AppendSystemMenuItem(SYSCOMMAND_ABOUT, aboutItem);
  view.SetWindowIcons(IDI_APP);
  view.SetTitle(m_app.BuildAppTitle());
  view.SetText(IDC_HEADING, m_app.LoadText(IDS_WILL_BE_UPDATED));
  view.SetText(IDC_CURRENT_CAPTION, m_app.LoadText(IDS_CURRENT_VERSION));
  view.SetText(IDC_UPDATED_CAPTION, m_app.LoadText(IDS_UPDATED_VERSION));
  view.SetText(IDC_START, m_app.LoadText(IDS_START));
  view.SetText(IDC_CANCEL_CLOSE, m_app.LoadText(IDS_CANCEL));
  return true;
}

void CMainDlg::Quit(int exitCode) {
  m_host.Quit(exitCode);
}

void CMainDlg::OnCancel(DialogView& view) {
  // Escape ends the program only while the button offers it ("Cancel" or "Close").
  const std::u16string button = view.GetText(IDC_CANCEL_CLOSE);
  if (button == m_app.LoadText(IDS_CLOSE) || button == m_app.LoadText(IDS_CANCEL)) {
    m_state = DLG_CLOSING;
    Quit(EXIT_CODE_USER_ENDED);
  }
}

bool CMainDlg::OnCommand(DialogView& /*view*/, int id, int notifyCode) {
  if (id == IDC_CANCEL_CLOSE && notifyCode == NOTIFY_BUTTON_CLICKED) {
    m_state = DLG_CLOSING;
    Quit(EXIT_CODE_USER_ENDED);
    return true;
  }
  return false;
}

bool CMainDlg::OnSysCommand(DialogView& view, uint32_t command) {
  if ((command & 0xFFF0) == SYSCOMMAND_ABOUT) {
    CAboutDlg about(m_app);
    m_host.RunModal(about, &view);
    return true;
  }
  if (command == SYSCOMMAND_CLOSE) {
    if (m_state != DLG_UPDATING) {
      m_state = DLG_CLOSING;
      Quit(EXIT_CODE_USER_ENDED);
    }
    return true;
  }
  return false;
}

bool CMainDlg::OnAppMessage(DialogView& /*view*/, uint32_t message, uintptr_t /*wParam*/, intptr_t /*lParam*/,
                            intptr_t& result) {
  if (message == WM_DEVICE_NOTIFY) {
    result = 0;
    return true;
  }
  return false;
}

void CMainDlg::OnDestroy(DialogView& /*view*/) {
  m_state = DLG_CLOSING;
}

}  // namespace qx80
