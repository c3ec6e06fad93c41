// qx80-progress-demo: shows the updater's real progress dialog, in the language of the
// user's locale, at 40 per cent, so that the end-to-end run can check and capture it (the
// updater itself shows it only while a device is being updated). It runs until ended.
#include <windows.h>

#include "platform/window_message.h"
#include "updater/progress_dlg.h"
#include "updater/win32/win32_app_platform.h"
#include "updater/win32/win32_dialog_host.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE /*previous*/, PWSTR /*commandLine*/, int /*show*/) {
  qx80::Win32AppPlatform platform;
  platform.InitCommonControls();
  qx80::AppInfo app;
  app.m_language = qx80::LanguageFromLcid(platform.UserDefaultLcid());

  qx80::Win32DialogHost host(instance);
  qx80::CFirmUpProgressDlg progress(app);
  qx80::DialogView* view = host.CreateModeless(progress, nullptr);
  if (view == nullptr) {
    return 1;
  }
  view->ShowWindow();
  view->CenterInWorkArea();
  // As the update worker does: posted from outside the dialog's handlers.
  qx80::PostWindowMessage(view->Handle(), qx80::WM_UPDATE_PROGRESS, 40, 0);
  return host.RunMessageLoop();
}
