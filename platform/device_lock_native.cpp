#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

#include "platform/device_lock.h"

namespace qx80 {
namespace {

std::string LockDirectory() {
  struct stat info = {};
  return stat("/run/lock", &info) == 0 && S_ISDIR(info.st_mode) ? "/run/lock" : "/tmp";
}

// Opens the lock file read-only (an flock needs no more), creating it when missing. In a
// world-writable sticky directory the kernel may refuse O_CREAT on a file that another user
// owns (fs.protected_regular), so an existing file is opened without it.
int OpenLockFile(const std::string& path) {
  for (;;) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd >= 0 || errno != ENOENT) {
      return fd;
    }
    const int created = open(path.c_str(), O_RDONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (created >= 0 || errno != EEXIST) {
      return created;
    }
    // Another taker created it meanwhile: open that one.
  }
}

}  // namespace

DeviceLock::~DeviceLock() {
  if (m_fd >= 0) {
    close(m_fd);  // lets go of the flock
  }
}

DeviceLock::Status DeviceLock::Take(std::string_view key, std::string& error) {
  if (m_fd >= 0) {
    return Status::Held;
  }
  const std::string path = LockDirectory() + "/" + DeviceLockName(key) + ".lock";
  const int fd = OpenLockFile(path);
  if (fd < 0) {
    error = path + ": " + std::generic_category().message(errno);
    return Status::Failed;
  }
  while (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int reason = errno;
    if (reason == EINTR) {
      continue;
    }
    close(fd);
    if (reason == EWOULDBLOCK) {
      return Status::Busy;
    }
    error = path + ": " + std::generic_category().message(reason);
    return Status::Failed;
  }
  m_fd = fd;
  return Status::Held;
}

bool DeviceLock::Held() const {
  return m_fd >= 0;
}

}  // namespace qx80
