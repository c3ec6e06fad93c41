// The QX-80 firmware updater's entry point: the application object runs the whole process.
// The command line (updater/app_options.h) may name a package to show instead of the carried
// one, the device's bus (the real USB bus without it) and a file for the session's transcript.
#include <windows.h>

#include <string>
#include <vector>

#include "link/device_link.h"
#include "platform/command_line.h"
#include "platform/utf.h"
#include "updater/app_exit_codes.h"
#include "updater/app_info.h"
#include "updater/app_options.h"
#include "updater/updater_app.h"
#include "updater/win32/win32_app_platform.h"
#include "updater/win32/win32_dialog_host.h"

namespace {

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
  const std::vector<std::string> words = qx80::Utf8Arguments(0, nullptr);
  qx80::DeviceLink link(1.0);
  if (!qx80::ParseAppOptions(words, options, error) || !link.OpenBus(options.device, error)) {
    return RefuseCommandLine(host, platform, error);
  }
  // The transcript never replaces the package it is given.
  const std::filesystem::path package =
      options.package.empty() ? std::filesystem::path() : qx80::PathFromArgument(options.package);
  if (!link.Record(options.log, qx80::CommandLineText("qx80-updater.exe", words), package, error)) {
    return RefuseCommandLine(host, platform, "cannot write the transcript " + options.log + ": " + error);
  }

  qx80::CUpdaterApp app(host, platform, package);
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
