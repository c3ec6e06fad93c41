// The main dialog's life: initialisation (license, firmware, labels, watcher), the window's
// set-up, the routes of its messages and the ways to quit.
#include "updater/main_dlg.h"

#include "platform/window_message.h"
#include "updater/about_dlg.h"
#include "updater/app_exit_codes.h"
#include "updater/license_dlg.h"

namespace qx80 {

CMainDlg::CMainDlg(const AppInfo& app, DialogHost& host, std::filesystem::path package)
    : DialogController(IDD_MAIN), m_app(app), m_host(host), m_package(std::move(package)), m_progressDlg(app) {}

CMainDlg::~CMainDlg() {
  if (m_session) {
    m_session->DisconnectDevice();
    m_session->StopUpdate();
  }
  m_slots.ClearFirmSlots();
  // The labels and fonts went with the window; the session's watcher and worker stop with it.
  m_session.reset();
}

bool CMainDlg::OnInitDialog(DialogView& view) {
  m_view = &view;
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
    Close(EXIT_CODE_USER_ENDED);
    return false;
  }

  CloneLabelRow(IDC_CURRENT_VERSION_TEMPLATE, kCurrentLabelIds, m_currentLabels);
  CloneLabelRow(IDC_UPDATED_VERSION_TEMPLATE, kUpdatedLabelIds, m_updatedLabels);

  int error = 0;
  {
    const WaitCursor wait(m_host);
    if (!LoadCarriedPackage()) {
      error = IDS_ERR_FIRMWARE_FORMAT;
    } else {
      LayoutVersionLabels();
      if (!m_package.empty()) {
        LoadPackageFile(m_package);
      }
      m_session = CDeviceSession::Create(view.Handle());
      if (!StartWatching()) {
        error = IDS_ERR_DEVICE_NOT_FOUND;
      }
    }
  }
  if (error != 0) {
    // The window stays disabled until the quit is processed.
    m_state = DLG_CLOSING;
    ShowError(error);
    Quit(EXIT_CODE_FAILURE);
    return false;
  }

  // The message label stays empty and Start disabled until the watcher's first report,
  // which always comes: the watcher starts from an unknown mode.
  m_state = DLG_READY;
  view.EnableWindow(true);
  return true;
}

bool CMainDlg::SetupWindow(DialogView& view) {
  const std::u16string aboutItem = m_app.LoadText(IDS_ABOUT_MENU);
  if (!aboutItem.empty()) {
    view.AppendSystemMenuItem(SYSCOMMAND_ABOUT, aboutItem);
  }
  view.SetWindowIcons(IDI_APP);
  // Drawn on every paint of the minimised window and returned for every drag: loaded once.
  m_appIcon = view.LoadSystemSizeIcon(IDI_APP);
  view.SetTitle(m_app.BuildAppTitle());
  view.SetText(IDC_HEADING, m_app.LoadText(IDS_WILL_BE_UPDATED));
  view.SetText(IDC_CURRENT_CAPTION, m_app.LoadText(IDS_CURRENT_VERSION));
  view.SetText(IDC_UPDATED_CAPTION, m_app.LoadText(IDS_UPDATED_VERSION));
  view.SetText(IDC_START, m_app.LoadText(IDS_START));
  if (view.HasItem(IDC_MESSAGE)) {
    m_normalFont = view.GetItemFont(IDC_MESSAGE);
    if (m_normalFont != nullptr) {
      m_emphasisFont = view.CreateHeavierFont(m_normalFont, kEmphasisWeightRaise);
    }
  }
  view.SetText(IDC_CANCEL_CLOSE, m_app.LoadText(IDS_CANCEL));
  // A firmware package dropped on the window replaces the carried one.
  view.AcceptDroppedFiles(true);
  return true;
}

void CMainDlg::CloneLabelRow(int templateId, const int (&ids)[kVersionLabelCount],
                             std::array<ControlHandle, kVersionLabelCount>& row) {
  ItemRect rect;
  uint32_t style = 0;
  if (!m_view->GetItemPlacement(templateId, rect, style)) {
    return;
  }
  const int shift = rect.Width() + kVersionLabelGap;
  for (size_t i = 0; i < kVersionLabelCount; ++i) {
    row[i] = m_view->CreateStatic(ids[i], rect, style);
    rect.left += shift;
    rect.right += shift;
  }
  m_view->ShowControl(m_view->ItemHandle(templateId), false);
}

void CMainDlg::Quit(int exitCode) {
  m_host.Quit(exitCode);
}

void CMainDlg::Close(int exitCode) {
  m_state = DLG_CLOSING;
  Quit(exitCode);
}

void CMainDlg::CloseByRequest() {
  if (m_state != DLG_UPDATING) {
    Close(EXIT_CODE_USER_ENDED);
  }
}

void CMainDlg::OnCancel(DialogView& view) {
  // Escape, WM_CLOSE (which the dialog manager turns into this command: the template has no
  // Cancel button of its own) or another program's command: it ends the program only while
  // the button offers it ("Cancel" or "Close"), and never while an update runs, when the
  // button still reads "Cancel".
  const std::u16string button = view.GetText(IDC_CANCEL_CLOSE);
  if (button == m_app.LoadText(IDS_CLOSE) || button == m_app.LoadText(IDS_CANCEL)) {
    CloseByRequest();
  }
}

bool CMainDlg::OnCommand(DialogView& /*view*/, int id, int notifyCode) {
  if (notifyCode != NOTIFY_BUTTON_CLICKED) {
    return false;
  }
  if (id == IDC_CANCEL_CLOSE) {
    CloseByRequest();  // disabled while updating, but another program can still send it
    return true;
  }
  if (id == IDC_START) {
    OnStart();
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
    CloseByRequest();
    return true;
  }
  return false;
}

bool CMainDlg::OnAppMessage(DialogView& /*view*/, uint32_t message, uintptr_t wParam, intptr_t /*lParam*/,
                            intptr_t& result) {
  switch (message) {
    case WM_DEVICE_NOTIFY:
      result = 0;
      return true;
    case WM_DEVICE_MODE_CHANGED:
      OnDeviceModeChanged(static_cast<int32_t>(static_cast<intptr_t>(wParam)));
      result = 0;
      return true;
    case WM_UPDATE_FINISHED:
      result = OnUpdateFinished(static_cast<int32_t>(static_cast<intptr_t>(wParam)));
      return true;
    default:
      return false;
  }
}

bool CMainDlg::UsesAlertColour(int id) const {
  return id == IDC_MESSAGE && IsAlertMessage();
}

void CMainDlg::OnActivate(DialogView& view, bool active) {
  if (active && m_focusPending != 0) {
    view.MoveFocusTo(IDC_CANCEL_CLOSE);
  }
  m_focusPending = 0;
}

bool CMainDlg::OnPaint(DialogView& view) {
  if (!view.IsMinimised()) {
    return false;
  }
  view.PaintMinimisedIcon(m_appIcon);
  return true;
}

bool CMainDlg::OnQueryEndSession(DialogView& /*view*/) {
  // Windows asks before a shutdown or log-off; while writing, the reason is shown (BlockShutdown).
  return m_state != DLG_UPDATING;
}

void CMainDlg::OnDestroy(DialogView& /*view*/) {
  m_state = DLG_CLOSING;
  CloseProgressDialog();
  if (m_session) {
    m_session->StopWatching();
  }
  DisconnectDevice();
  // The labels are the window's children and go with it.
  m_currentLabels = {};
  m_updatedLabels = {};
  m_appIcon = nullptr;
  m_view = nullptr;
}

}  // namespace qx80
