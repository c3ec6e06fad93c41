// The QX-80 firmware updater's entry point: the application object runs the whole process.
// An optional --device chooses the device's bus (the real USB bus without it).
// clang-format off
#include <windows.h>  // windows.h first: shellapi.h builds on its types
#include <shellapi.h>
// clang-format on

#include <string>
#include <vector>

#include "device/win32/win32_path.h"
#include "updater/app_info.h"
#include "updater/app_options.h"
#include "updater/core/device_link.h"
#include "updater/updater_app.h"
#include "updater/win32/win32_app_platform.h"
#include "updater/win32/win32_dialog_host.h"

namespace {

// The words after the program's name, as UTF-8.
std::vector<std::string> CommandLineWords() {
  std::vector<std::string> words;
  int count = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &count);
  if (argv == nullptr) {
    return words;
  }
  for (int i = 1; i < count; ++i) {
    words.push_back(qx80::Utf8FromWide(argv[i]));
  }
  LocalFree(argv);
  return words;
}

// A command line the program cannot follow: an error box (no text of the string table says
// this, so it is English under the localised title) and exit code 3.
int RefuseCommandLine(qx80::Win32DialogHost& host, qx80::AppPlatform& platform, const std::string& error) {
  qx80::AppInfo app;
  app.m_language = qx80::LanguageFromLcid(platform.UserDefaultLcid());
  const std::string text = error + "\r\n\r\nUsage: " + qx80::kAppUsage;
  const std::wstring wide = qx80::WideFromUtf8(text);
  host.ShowMessageBox(nullptr, std::u16string_view(reinterpret_cast<const char16_t*>(wide.c_str()), wide.size()),
                      app.BuildAppTitle(), qx80::MESSAGE_BOX_OK | qx80::MESSAGE_BOX_ICON_ERROR);
  return qx80::EXIT_CODE_FAILURE;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE /*previous*/, PWSTR /*commandLine*/, int /*show*/) {
  qx80::Win32DialogHost host(instance);
  qx80::Win32AppPlatform platform;

  qx80::AppOptions options;
  std::string error;
  const std::vector<std::string> words = CommandLineWords();
  qx80::DeviceLink link(1.0);
  if (!qx80::ParseAppOptions(words, options, error) || !link.OpenBus(options.device, error)) {
    return RefuseCommandLine(host, platform, error);
  }

  qx80::CUpdaterApp app(host, platform);
  // One writer per QX-80: while the updater runs, a qx80 update or command on its device is
  // refused, and the updater does not start while one of them runs. (No text of the string
  // table says this, so it is English under the localised title.) A lock that cannot be made
  // only guards less: the updater starts.
  app.SetDeviceClaim([&link] {
    std::string lockError;
    return link.Lock(lockError) == qx80::DeviceLock::Status::Busy
               ? std::u16string(
                     u"The QX-80 is in use by another program (qx80 update or qx80 command). Start the "
                     u"updater again when it has ended.")
               : std::u16string();
  });
  return app.Run();
}
