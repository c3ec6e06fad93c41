#pragma once
// Owns one kernel handle and closes it exactly once. Both null and the invalid-handle value
// mean "nothing owned", since CreateFileW and CreateEventW report failure differently.
#include <windows.h>

#include <utility>

namespace qx80 {

class UniqueHandle {
 public:
  UniqueHandle() = default;
  explicit UniqueHandle(HANDLE handle) : m_handle(handle) {}
  ~UniqueHandle() { Reset(); }
  UniqueHandle(UniqueHandle&& other) noexcept : m_handle(std::exchange(other.m_handle, nullptr)) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) {
      Reset();
      m_handle = std::exchange(other.m_handle, nullptr);
    }
    return *this;
  }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;

  bool Valid() const { return m_handle != nullptr && m_handle != INVALID_HANDLE_VALUE; }
  HANDLE Get() const { return m_handle; }
  void Reset() {
    if (Valid()) {
      CloseHandle(m_handle);
    }
    m_handle = nullptr;
  }

 private:
  HANDLE m_handle = nullptr;
};

}  // namespace qx80
