#include "updater/win32/win32_app_platform.h"

// clang-format off
#include <windows.h>  // windows.h first: the others build on its types
#include <commctrl.h>
// clang-format on

#include <string>
#include <vector>

#include "updater/version_info.h"

namespace qx80 {
namespace {

constexpr DWORD kAllCommonControlClasses = 0xFF;

const wchar_t* Wide(const std::u16string& s) {
  return reinterpret_cast<const wchar_t*>(s.c_str());
}

}  // namespace

void Win32AppPlatform::InitCommonControls() {
  INITCOMMONCONTROLSEX controls{};
  controls.dwSize = sizeof(controls);
  controls.dwICC = kAllCommonControlClasses;
  InitCommonControlsEx(&controls);
}

void Win32AppPlatform::LoadRichEditLibrary() {
  // Only from the system directory, by full path, never from the program's folder or the
  // current directory, where a planted copy could be waiting. RICHED32 alone need not
  // register the "RichEdit20W" class that the license dialog uses; RICHED20 does.
  wchar_t system[MAX_PATH];
  const UINT length = GetSystemDirectoryW(system, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) {
    return;
  }
  for (const wchar_t* name : {L"\\riched32.dll", L"\\riched20.dll"}) {
    const std::wstring path = std::wstring(system, length) + name;
    LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  }
}

uint32_t Win32AppPlatform::UserDefaultLcid() {
  return GetUserDefaultLCID();
}

void Win32AppPlatform::ReadVersionInfo(AppInfo& info) {
  wchar_t path[MAX_PATH];
  if (GetModuleFileNameW(nullptr, path, MAX_PATH) == 0) {
    return;
  }
  DWORD handle = 0;
  const DWORD size = GetFileVersionInfoSizeW(path, &handle);
  if (size == 0) {
    return;
  }
  std::vector<uint8_t> block((size + 1) * 2);
  if (!GetFileVersionInfoW(path, 0, size, block.data())) {
    return;
  }
  ApplyVersionInfo(
      [&](std::u16string_view subBlock, std::span<const uint8_t>& value) {
        void* data = nullptr;
        UINT length = 0;
        const std::u16string name(subBlock);
        if (VerQueryValueW(block.data(), Wide(name), &data, &length) != 1 || data == nullptr) {
          return false;
        }
        // Texts are reported in characters, binary values in bytes.
        const bool text = name.rfind(u"\\StringFileInfo", 0) == 0;
        value = {static_cast<const uint8_t*>(data), text ? length * 2u : length};
        return true;
      },
      info);
}

MutexHandle Win32AppPlatform::CreateNamedMutex(std::u16string_view name, bool& alreadyExisted) {
  const std::u16string zeroTerminated(name);
  HANDLE mutex = CreateMutexW(nullptr, FALSE, Wide(zeroTerminated));
  alreadyExisted = mutex != nullptr && GetLastError() == ERROR_ALREADY_EXISTS;
  return mutex;
}

void Win32AppPlatform::CloseMutex(MutexHandle mutex) {
  CloseHandle(mutex);
}

}  // namespace qx80
