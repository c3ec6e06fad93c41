#include "updater/updater_app.h"

#include "platform/window_message.h"
#include "updater/main_dlg.h"
#include "updater/resources/resource_ids.h"

namespace qx80 {

CUpdaterApp::CUpdaterApp(DialogHost& host, AppPlatform& platform, std::filesystem::path package)
    : CWinApp(host), m_platform(platform), m_package(std::move(package)) {}

CUpdaterApp::~CUpdaterApp() {
  if (m_hMutex != nullptr) {
    m_platform.CloseMutex(m_hMutex);
    m_hMutex = nullptr;
  }
}

bool CUpdaterApp::OnAppStart() {
  m_platform.InitCommonControls();
  m_platform.LoadRichEditLibrary();
  m_language = LanguageFromLcid(m_platform.UserDefaultLcid());
  m_platform.ReadVersionInfo(*this);

  m_hMutex = nullptr;
  if (!CheckSingleInstance(m_hMutex) || m_hMutex == nullptr) {
    return false;
  }
  if (const std::u16string refusal = m_claimDevice ? m_claimDevice() : std::u16string(); !refusal.empty()) {
    Host().ShowMessageBox(nullptr, refusal, BuildAppTitle(), MESSAGE_BOX_OK | MESSAGE_BOX_ICON_INFORMATION);
    return false;
  }

  m_mainDlg = std::make_unique<CUpdaterDlg>(*this, Host(), m_package);
  DialogView* view = Host().CreateModeless(*m_mainDlg, nullptr);
  if (view == nullptr) {
    m_mainDlg.reset();
    return false;
  }
  // The main window receives the device's notifications.
  SetMainWindow(view->Handle());
  view->ShowWindow();
  return true;
}

int CUpdaterApp::OnAppExit() {
  if (m_mainDlg) {
    SetMainWindow(nullptr);
    Host().DestroyModeless(*m_mainDlg);
    m_mainDlg.reset();
  }
  return CWinApp::OnAppExit();
}

bool CUpdaterApp::CheckSingleInstance(MutexHandle& mutex) {
  bool alreadyExisted = false;
  mutex = m_platform.CreateNamedMutex(SINGLE_INSTANCE_MUTEX_NAME, alreadyExisted);
  if (mutex == nullptr) {
    return false;
  }
  if (alreadyExisted) {
    Host().ShowMessageBox(nullptr, LoadText(IDS_ERR_ALREADY_RUNNING), BuildAppTitle(),
                          MESSAGE_BOX_OK | MESSAGE_BOX_ICON_INFORMATION);
    m_platform.CloseMutex(mutex);
    mutex = nullptr;
  }
  return true;
}

}  // namespace qx80
