#pragma once
// The program's application object: chooses the language, reads the program's version,
// keeps a second copy from running and creates the main dialog.
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <utility>

#include "updater/app_info.h"
#include "updater/app_platform.h"
#include "updater/win_app.h"

namespace qx80 {

class CUpdaterDlg;

// Name of the mutex that marks a running instance in the logon session.
inline constexpr std::u16string_view SINGLE_INSTANCE_MUTEX_NAME = u"HUB770-FW-UPDATER-MUTEX";

class CUpdaterApp : public CWinApp, public AppInfo {
 public:
  // `package`: a firmware package the main dialog loads as a dropped file; empty for none.
  CUpdaterApp(DialogHost& host, AppPlatform& platform, std::filesystem::path package = {});
  ~CUpdaterApp() override;  // closes the mutex, which frees the name for the next instance

  // Creates the single-instance mutex into `mutex`. False when it cannot be created. When
  // another instance holds the name, says so in a message box, closes the handle and nulls
  // `mutex`, and still returns true: the caller runs only with a true result and a handle.
  bool CheckSingleInstance(MutexHandle& mutex);

  // Run at start-up right after the single-instance check, before any window: takes the
  // device for this instance (the device's one-writer lock). It returns empty, or the text
  // of a message box when another program has the device; the start then ends as for a
  // second instance.
  void SetDeviceClaim(std::function<std::u16string()> claim) { m_claimDevice = std::move(claim); }

  // The main dialog while it exists (null before start-up and after exit).
  CUpdaterDlg* MainDialog() const { return m_mainDlg.get(); }

  MutexHandle m_hMutex = nullptr;

 protected:
  bool OnAppStart() override;
  int OnAppExit() override;

 private:
  AppPlatform& m_platform;
  std::function<std::u16string()> m_claimDevice;
  std::filesystem::path m_package;
  std::unique_ptr<CUpdaterDlg> m_mainDlg;
};

}  // namespace qx80
