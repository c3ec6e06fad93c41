#pragma once
// One writer at a time per QX-80, across processes: a lock named by a key (where the device
// is), taken once without waiting and held until the DeviceLock ends or its process ends,
// however it ends, for the kernel lets go of it with the process.
//
// Linux and other POSIX systems (device_lock_native.cpp): flock(2) on a file named by the
// key's hash in /run/lock (the system's place for lock files, shared by every user, so that
// the user at the seat and root exclude each other; /tmp where there is no /run/lock). The
// files stay behind empty and are never removed (removing a lock file races with its next
// taker); /run/lock is emptied at every boot. An flock belongs to its own open file, so two
// takers in one process exclude each other too.
// Windows (device_lock_win32.cpp): a named mutex "Global\qx80-device-HASH" (every logon
// session sees it) that exists while a taker holds its handle; a taker that finds it
// existing is refused.
#include <string>
#include <string_view>

namespace qx80 {

class DeviceLock {
 public:
  enum class Status {
    Held,    // this object holds the lock
    Busy,    // another holder has it
    Failed,  // the lock could not be made (the reason in `error`)
  };

  DeviceLock() = default;
  ~DeviceLock();
  DeviceLock(const DeviceLock&) = delete;
  DeviceLock& operator=(const DeviceLock&) = delete;

  // Takes the lock of `key` at once or not at all. A DeviceLock takes one lock in its life.
  Status Take(std::string_view key, std::string& error);
  bool Held() const;

 private:
#ifdef _WIN32
  void* m_handle = nullptr;
#else
  int m_fd = -1;
#endif
};

// The name part of the key's lock on every platform: "qx80-device-" and 16 hex digits of its
// 64-bit FNV-1a hash, so that any key (a long sysfs path, a host name) makes a valid name.
std::string DeviceLockName(std::string_view key);

}  // namespace qx80
