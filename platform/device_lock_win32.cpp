#include <windows.h>

#include <system_error>

#include "platform/device_lock.h"

namespace qx80 {

DeviceLock::~DeviceLock() {
  if (m_handle != nullptr) {
    CloseHandle(m_handle);  // the mutex goes with its last handle
  }
}

DeviceLock::Status DeviceLock::Take(std::string_view key, std::string& error) {
  if (m_handle != nullptr) {
    return Status::Held;
  }
  // The name is ASCII (DeviceLockName), so the narrow call names the same object everywhere.
  const std::string name = "Global\\" + DeviceLockName(key);
  HANDLE mutex = CreateMutexA(nullptr, FALSE, name.c_str());
  if (mutex == nullptr && GetLastError() == ERROR_ACCESS_DENIED) {
    return Status::Busy;  // it exists, made by a holder with other rights (an elevated one)
  }
  if (mutex == nullptr) {
    error = name + ": " + std::system_category().message(static_cast<int>(GetLastError()));
    return Status::Failed;
  }
  if (GetLastError() == ERROR_ALREADY_EXISTS) {
    CloseHandle(mutex);
    return Status::Busy;
  }
  m_handle = mutex;
  return Status::Held;
}

bool DeviceLock::Held() const {
  return m_handle != nullptr;
}

}  // namespace qx80
