#pragma once
// The platform services that start-up needs before any window exists.
#include <cstdint>
#include <string_view>

#include "updater/app_info.h"

namespace qx80 {

using MutexHandle = void*;

class AppPlatform {
 public:
  virtual ~AppPlatform() = default;

  // Registers the common control classes (the progress bar among them).
  virtual void InitCommonControls() = 0;
  // Loads the rich edit library from the system directory, so the license dialog's rich
  // text control class exists. Failure is not reported: the dialog then shows no text box.
  virtual void LoadRichEditLibrary() = 0;
  virtual uint32_t UserDefaultLcid() = 0;
  // Reads the program's own version record into `info` (ApplyVersionInfo); fields it cannot
  // read keep their values.
  virtual void ReadVersionInfo(AppInfo& info) = 0;
  // Creates (or opens) the named mutex, not owned; null on failure. `alreadyExisted` tells
  // whether another holder had the name.
  virtual MutexHandle CreateNamedMutex(std::u16string_view name, bool& alreadyExisted) = 0;
  virtual void CloseMutex(MutexHandle mutex) = 0;
};

}  // namespace qx80
