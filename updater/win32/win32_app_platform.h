#pragma once
// Start-up services on Win32.
#include "updater/app_platform.h"

namespace qx80 {

class Win32AppPlatform : public AppPlatform {
 public:
  void InitCommonControls() override;
  void LoadRichEditLibrary() override;
  uint32_t UserDefaultLcid() override;
  void ReadVersionInfo(AppInfo& info) override;
  MutexHandle CreateNamedMutex(std::u16string_view name, bool& alreadyExisted) override;
  void CloseMutex(MutexHandle mutex) override;
};

}  // namespace qx80
