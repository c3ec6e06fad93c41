#pragma once
// The main window's controller: the license agreement before anything else, then the carried
// firmware beside the device's versions, the device followed through its modes, the update run
// from Start to the shown result, and the ways to quit.
//
// The device logic (the channel, the version reads, the watcher, the update worker and its
// progress) is the shared CDeviceSession's; this class turns its results into what the user
// sees. Every handler runs on the user-interface thread; worker threads reach it only by the
// messages they post to its window (WM_DEVICE_MODE_CHANGED, WM_UPDATE_FINISHED,
// WM_DEVICE_NOTIFY) and to the progress dialog (WM_UPDATE_PROGRESS).
#include <array>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "firmware/firm_slots.h"
#include "session/device_session.h"
#include "updater/app_info.h"
#include "updater/dialog_controller.h"
#include "updater/dialog_host.h"
#include "updater/progress_dlg.h"
#include "updater/resources/resource_ids.h"

namespace qx80 {

enum MainDlgState : int32_t {
  DLG_CONSTRUCTED = 0,   // object constructed; the window has not been initialised
  DLG_INITIALISING = 1,  // the WM_INITDIALOG work is running (license, image, watcher)
  DLG_READY = 2,         // the user may press Start when a device is present
  DLG_UPDATING = 3,      // the update worker runs
  DLG_FINISHED = 4,      // the update worker has reported its result
  DLG_CLOSING = 5,       // a quit was requested, initialisation failed, or the window goes
};

// The version label rows: five labels each, cloned from a hidden template static, each next
// one shifted right by the template's width plus this many pixels.
constexpr size_t kVersionLabelCount = 5;
constexpr int kVersionLabelGap = 10;
inline constexpr int kCurrentLabelIds[kVersionLabelCount] = {IDC_CURRENT_ROW_0, IDC_CURRENT_ROW_1, IDC_CURRENT_ROW_2,
                                                             IDC_CURRENT_ROW_3, 0};
inline constexpr int kUpdatedLabelIds[kVersionLabelCount] = {IDC_UPDATED_ROW_0, IDC_UPDATED_ROW_1, IDC_UPDATED_ROW_2,
                                                             IDC_UPDATED_ROW_3, 0};

class CMainDlg : public DialogController {
 public:
  // `package`: a firmware package loaded after the carried one, as a dropped file is (the
  // path Explorer passes when a package is dropped on the program's icon); empty for none.
  CMainDlg(const AppInfo& app, DialogHost& host, std::filesystem::path package = {});
  // Closes the channel, stops the update worker (bounded) and frees the firmware.
  ~CMainDlg() override;

  bool OnInitDialog(DialogView& view) override;
  void OnOK(DialogView& /*view*/) override {}
  void OnCancel(DialogView& view) override;
  bool OnCommand(DialogView& view, int id, int notifyCode) override;
  bool OnSysCommand(DialogView& view, uint32_t command) override;
  bool OnAppMessage(DialogView& view, uint32_t message, uintptr_t wParam, intptr_t lParam, intptr_t& result) override;
  bool UsesAlertColour(int id) const override;
  bool OnQueryEndSession(DialogView& view) override;
  void OnDestroy(DialogView& view) override;
  void OnActivate(DialogView& view, bool active) override;
  bool OnPaint(DialogView& view) override;
  IconHandle DragIcon() const override { return m_appIcon; }
  void OnDropFiles(DialogView& view, std::u16string_view path) override;

  // The dialog's own operations.
  virtual bool SetupWindow(DialogView& view);
  virtual void ShowUpdateResult(int result);
  // Requests the end of the message loop with `exitCode`.
  virtual void Quit(int exitCode);
  // Whether the message label shows an alert (4000, 4001, 4006): red, in the heavier font.
  virtual bool IsAlertMessage() const;
  virtual bool OpenProgressDialog();
  virtual void CloseProgressDialog();

  // Device reports and what they show.
  void OnDeviceModeChanged(int32_t mode);
  bool ConnectDevice(int32_t mode);
  void DisconnectDevice();
  void RefreshCurrentVersion(bool clearFirst);
  void SetMessage(int id);
  void ShowError(int id);
  void LayoutVersionLabels();
  // Loads the package in file `path` in place of the loaded one; when it cannot be loaded,
  // error box 5002, and the loaded one stays.
  void LoadPackageFile(const std::filesystem::path& path);

  // The update run.
  void OnStart();
  intptr_t OnUpdateFinished(int32_t result);

  MainDlgState State() const { return m_state; }
  int32_t MessageId() const { return m_messageId; }
  const FirmSlots& Slots() const { return m_slots; }
  // The device session, from the start of watching on (null before).
  CDeviceSession* Session() const { return m_session.get(); }
  CFirmUpProgressDlg& ProgressDialog() { return m_progressDlg; }

 protected:
  // The two steps of start-up that can fail: the carried package into the slots, and the
  // session's watching (once the session exists).
  virtual bool LoadCarriedPackage() { return m_slots.LoadCarriedFirmware() != 0; }
  virtual bool StartWatching() { return m_session->StartWatching() == kStatusOk; }

  const AppInfo& m_app;
  DialogHost& m_host;
  std::filesystem::path m_package;
  DialogView* m_view = nullptr;         // the window while it exists
  IconHandle m_appIcon = nullptr;       // loaded once with the window, which owns it
  FontHandle m_emphasisFont = nullptr;  // the view owns it
  FontHandle m_normalFont = nullptr;
  FirmSlots m_slots;
  std::shared_ptr<CDeviceSession> m_session;
  CFirmUpProgressDlg m_progressDlg;
  DialogView* m_progressView = nullptr;  // the progress dialog's window while it exists
  std::array<ControlHandle, kVersionLabelCount> m_currentLabels{};
  std::array<ControlHandle, kVersionLabelCount> m_updatedLabels{};
  MainDlgState m_state = DLG_CONSTRUCTED;
  int32_t m_messageId = 0;
  int32_t m_focusPending = 0;

 private:
  void CloneLabelRow(int templateId, const int (&ids)[kVersionLabelCount],
                     std::array<ControlHandle, kVersionLabelCount>& row);
  // Ends the run: the state, then the quit request with `exitCode`.
  void Close(int exitCode);
  // The user's (or another program's) request to end the program: refused while an update
  // runs, since ending it then would leave the device without working firmware.
  void CloseByRequest();
  // The focus rule of a device report: the Cancel/Close button takes it now when this
  // thread has the focus, otherwise at the next activation.
  void FocusCancelOrDefer();
};

// The main dialog the application creates.
class CUpdaterDlg : public CMainDlg {
 public:
  using CMainDlg::CMainDlg;
};

}  // namespace qx80
