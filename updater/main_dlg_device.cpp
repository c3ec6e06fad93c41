// What the main dialog shows of the device and the firmware: the device's reports, the two
// version rows, the message label and its alert colour, error boxes and dropped packages.
#include <filesystem>

#include "session/version_rules.h"
#include "updater/main_dlg.h"
#include "workers/device_mode.h"

namespace qx80 {

void CMainDlg::OnDeviceModeChanged(int32_t mode) {
  FocusCancelOrDefer();
  if (mode != DEVICE_MODE_ABSENT && mode != DEVICE_MODE_NORMAL && mode != DEVICE_MODE_UPDATE) {
    return;
  }
  const bool present = mode != DEVICE_MODE_ABSENT;
  if (present) {
    ConnectDevice(mode);  // a device whose channel fails still counts as present
  } else if (m_session) {
    m_session->OnDeviceModeChanged(mode);  // closes the channel, forgets the versions
  }
  // The message and Start follow the device only before an update; during and after one the
  // connection alone follows it.
  if (m_view != nullptr && (m_state == DLG_INITIALISING || m_state == DLG_READY)) {
    SetMessage(present ? IDS_MSG_PRESS_START : IDS_MSG_CONNECT);
    m_view->Enable(IDC_START, present);
  }
  // After a reported success the device restarts with what was written. Back in its update
  // mode instead (its power went as it restarted), it runs no finished firmware: the success
  // did not hold, and the user must run the update again.
  if (m_state == DLG_FINISHED && m_messageId == IDS_MSG_UPDATED && mode == DEVICE_MODE_UPDATE) {
    SetMessage(IDS_MSG_UPDATE_FAILED);
  }
  RefreshCurrentVersion(!present);
}

void CMainDlg::FocusCancelOrDefer() {
  if (m_view != nullptr && m_view->ThreadHasFocus()) {
    m_view->MoveFocusTo(IDC_CANCEL_CLOSE);
  } else {
    m_focusPending = 1;
  }
}

bool CMainDlg::ConnectDevice(int32_t mode) {
  if (!m_session) {
    return false;
  }
  const WaitCursor wait(m_host);
  // An open channel stays open and its versions are not read again.
  m_session->OnDeviceModeChanged(mode);
  return m_session->IsConnected();
}

void CMainDlg::DisconnectDevice() {
  if (m_session) {
    m_session->DisconnectDevice();
  }
}

void CMainDlg::RefreshCurrentVersion(bool clearFirst) {
  if (!m_session) {
    return;
  }
  if (clearFirst) {
    m_session->ClearDeviceVersions();
  }
  const CDeviceSession::Versions& device = m_session->DeviceVersions();
  switch (SelectCurrentVersion(MakeVersionSlots(m_slots, device))) {
    case CurrentVersionSlot::Uamc:
      m_view->SetControlText(m_currentLabels[0], device[FIRM_KIND_UAMC]);
      break;
    case CurrentVersionSlot::Fwup:
      m_view->SetControlText(m_currentLabels[0], device[FIRM_KIND_FWUP]);
      break;
    case CurrentVersionSlot::None:
      break;
  }
}

void CMainDlg::SetMessage(int id) {
  if (m_view == nullptr || !m_view->HasItem(IDC_MESSAGE)) {
    return;
  }
  m_messageId = id;
  // The font changes both ways: alerts in the heavier one, everything else in the label's own.
  if (FontHandle font = IsAlertMessage() ? m_emphasisFont : m_normalFont) {
    m_view->SetItemFont(IDC_MESSAGE, font);
  }
  m_view->SetText(IDC_MESSAGE, m_app.LoadText(id));
}

bool CMainDlg::IsAlertMessage() const {
  return m_messageId == IDS_MSG_PRESS_START || m_messageId == IDS_MSG_CONNECT || m_messageId == IDS_MSG_UPDATE_FAILED;
}

void CMainDlg::ShowError(int id) {
  m_host.ShowMessageBox(m_view, m_app.LoadText(id), m_app.BuildAppTitle(), MESSAGE_BOX_OK | MESSAGE_BOX_ICON_ERROR);
}

void CMainDlg::LayoutVersionLabels() {
  if (!m_slots.AnyFilled() || m_view == nullptr) {
    return;
  }
  for (size_t i = 0; i < kVersionLabelCount; ++i) {
    m_view->ShowControl(m_currentLabels[i], false);
    m_view->ShowControl(m_updatedLabels[i], false);
  }
  m_view->ShowControl(m_currentLabels[0], true);
  m_view->ShowControl(m_updatedLabels[0], true);
  // The loaded parts' versions fill the updated row from its first label, so the visible one
  // shows the lowest-numbered loaded part (UAMC for the carried package).
  size_t position = 0;
  for (int kind = 0; kind < FIRM_SLOT_COUNT; ++kind) {
    if (m_slots.Data(kind) != nullptr) {
      m_view->SetControlText(m_updatedLabels[position++], m_slots.Version(kind));
    }
  }
  m_view->Invalidate();
}

void CMainDlg::OnDropFiles(DialogView& /*view*/, std::u16string_view path) {
  LoadPackageFile(std::filesystem::path(path));
}

void CMainDlg::LoadPackageFile(const std::filesystem::path& path) {
  // The package is loaded aside, so a file that fails to load leaves the loaded parts as they
  // were rather than emptied.
  FirmSlots dropped;
  if (dropped.LoadFirmFile(path) == 0) {
    ShowError(IDS_ERR_FIRMWARE_FORMAT);
    return;
  }
  m_slots = std::move(dropped);
  LayoutVersionLabels();
  RefreshCurrentVersion(false);
}

}  // namespace qx80
