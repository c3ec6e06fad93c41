// The QX-80 firmware updater's entry point: the application object runs the whole process.
#include <windows.h>

#include "updater/updater_app.h"
#include "updater/win32/win32_app_platform.h"
#include "updater/win32/win32_dialog_host.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE /*previous*/, PWSTR /*commandLine*/, int /*show*/) {
  qx80::Win32DialogHost host(instance);
  qx80::Win32AppPlatform platform;
  qx80::CUpdaterApp app(host, platform);
  return app.Run();
}
