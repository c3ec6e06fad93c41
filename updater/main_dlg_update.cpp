// The main dialog's side of one firmware update: Start, the progress dialog, the worker's
// result and what the user sees of it.
#include "platform/window_message.h"
#include "session/version_rules.h"
#include "updater/app_exit_codes.h"
#include "updater/main_dlg.h"
#include "workers/device_mode.h"

namespace qx80 {

void CMainDlg::OnStart() {
  if (!m_session) {
    return;
  }
  if (!IsUpdateNeeded(MakeVersionSlots(m_slots, m_session->DeviceVersions()))) {
    const int answer = m_host.ShowMessageBox(m_view, m_app.LoadText(IDS_MSG_NO_UPDATE_NEEDED), m_app.BuildAppTitle(),
                                             MESSAGE_BOX_OK_CANCEL | MESSAGE_BOX_ICON_INFORMATION);
    // The device may have gone, or the program begun to close, while the question was open.
    if (answer != ID_OK || g_deviceMode.load() == DEVICE_MODE_ABSENT || m_state == DLG_CLOSING) {
      return;
    }
  }
  if (!OpenProgressDialog()) {
    ShowError(IDS_MSG_UPDATE_FAILED);
    Close(EXIT_CODE_FAILURE);
    return;
  }
  if (!m_slots.AnyFilled()) {
    // Nothing to write (the slots can only be empty if no package ever loaded): undo the
    // progress dialog and stay ready rather than report a false success.
    CloseProgressDialog();
    ShowError(IDS_ERR_FIRMWARE_FORMAT);
    return;
  }
  if (m_session->StartUpdate(m_slots, m_progressView->Handle()) < 0) {
    CloseProgressDialog();
    ShowError(IDS_MSG_UPDATE_FAILED);
    Close(EXIT_CODE_FAILURE);
    return;
  }
  m_state = DLG_UPDATING;
  SetMessage(IDS_MSG_UPDATING);
  // A shutdown or log-off would end the writing half-way: Windows is asked to hold it, and
  // shows the user why, until the update ends.
  m_view->BlockShutdown(m_app.LoadText(IDS_PROGRESS_TITLE));
}

bool CMainDlg::OpenProgressDialog() {
  m_progressView = m_host.CreateModeless(m_progressDlg, m_view);
  if (m_progressView == nullptr) {
    return false;
  }
  m_progressView->ShowWindow();
  m_progressView->CenterOver(*m_view);
  m_view->EnableWindow(false);
  m_view->Enable(IDC_START, false);
  m_view->Enable(IDC_CANCEL_CLOSE, false);
  return true;
}

void CMainDlg::CloseProgressDialog() {
  if (m_progressView != nullptr) {
    m_host.DestroyModeless(m_progressDlg);
    m_progressView = nullptr;
  }
  if (m_view != nullptr) {
    m_view->EnableWindow(true);
    m_view->Enable(IDC_START, true);
    m_view->Enable(IDC_CANCEL_CLOSE, true);
  }
}

intptr_t CMainDlg::OnUpdateFinished(int32_t result) {
  if (!m_session || m_view == nullptr) {
    return 0;
  }
  m_state = DLG_FINISHED;
  // Stops the worker and drops the channel; the watcher's next report of the device
  // reconnects and shows its new version.
  m_session->OnUpdateFinished(result);
  m_view->UnblockShutdown();
  RefreshCurrentVersion(true);
  CloseProgressDialog();
  m_view->BringToTop();
  ShowUpdateResult(result);
  return 0;
}

void CMainDlg::ShowUpdateResult(int result) {
  SetMessage(result == 0 ? IDS_MSG_UPDATED : IDS_MSG_UPDATE_FAILED);
  // The written version is no longer the one to come.
  size_t loaded = 0;
  for (int kind = 0; kind < FIRM_SLOT_COUNT; ++kind) {
    if (m_slots.Data(kind) != nullptr && loaded < kVersionLabelCount) {
      m_view->EnableControl(m_updatedLabels[loaded++], false);
    }
  }
  // No second update in the same run: the only way on is to close.
  m_view->Enable(IDC_START, false);
  m_view->SetText(IDC_CANCEL_CLOSE, m_app.LoadText(IDS_CLOSE));
  m_view->MoveFocusTo(IDC_CANCEL_CLOSE);
}

}  // namespace qx80
