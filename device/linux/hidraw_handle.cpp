#include "device/linux/hidraw_handle.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>

#include "platform/clock.h"

namespace qx80 {
namespace {

class UniqueFd {
 public:
  explicit UniqueFd(int fd) : m_fd(fd) {}
  ~UniqueFd() {
    if (m_fd >= 0) {
      close(m_fd);
    }
  }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  int Get() const { return m_fd; }

 private:
  int m_fd;
};

// The operation started and not yet finished in one direction; only its buffer is kept,
// since the transfer itself happens inside StartRead/StartWrite or the wait.
struct Transfer {
  uint8_t* readBuffer = nullptr;
  const uint8_t* writeBuffer = nullptr;
  bool outstanding = false;
};

int PollTimeout(bool unlimited, std::chrono::steady_clock::time_point deadline) {
  if (unlimited) {
    return -1;
  }
  return static_cast<int>(MillisecondsUntil(deadline, INT32_MAX));
}

class HidrawHandle final : public HidHandle {
 public:
  HidrawHandle(int fd, int wakeFd, const HidInterfaceCaps& caps, bool numberedReports)
      : m_fd(fd), m_wake(wakeFd), m_caps(caps), m_numbered(numberedReports) {}

  const HidInterfaceCaps& Caps() const override { return m_caps; }

  HidIo StartRead(uint8_t* buffer) override {
    if (m_woken.load() || m_read.outstanding || m_caps.inputReportLength < 2) {
      return HidIo::Failed;
    }
    m_read.readBuffer = buffer;
    return Started(m_read, TryRead());
  }

  HidIo StartWrite(const uint8_t* buffer) override {
    if (m_write.outstanding || m_caps.outputReportLength == 0) {
      return HidIo::Failed;
    }
    m_write.writeBuffer = buffer;
    return Started(m_write, TryWrite());
  }

  HidIo WaitRead(int32_t timeoutMs) override { return Wait(m_read, POLLIN, timeoutMs); }
  HidIo WaitWrite(int32_t timeoutMs) override { return Wait(m_write, POLLOUT, timeoutMs); }
  // Nothing is queued in the kernel: forgetting the operation is cancelling it.
  void CancelRead() override { m_read.outstanding = false; }
  void CancelWrite() override { m_write.outstanding = false; }

  void WakeRead() override {
    m_woken.store(true);
    const uint64_t one = 1;
    // A failed signal leaves only a read with a time-out, which ends by itself.
    [[maybe_unused]] const ssize_t ignored = write(m_wake.Get(), &one, sizeof(one));
  }

 private:
  static HidIo Started(Transfer& transfer, HidIo io) {
    transfer.outstanding = io == HidIo::Pending;
    return io;
  }

  static HidIo Outcome(ssize_t transferred) {
    if (transferred > 0) {
      return HidIo::Done;
    }
    if (transferred < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
      return HidIo::Pending;
    }
    return HidIo::Failed;  // the device is gone (ENODEV, end of file) or refused the report
  }

  HidIo TryRead() {
    const size_t offset = m_numbered ? 0 : 1;
    uint8_t* buffer = m_read.readBuffer;
    const ssize_t got = read(m_fd.Get(), buffer + offset, m_caps.inputReportLength - offset);
    const HidIo io = Outcome(got);
    if (io == HidIo::Done) {
      // A report shorter than the longest one is padded with zeros, as on other platforms.
      std::fill(buffer + offset + got, buffer + m_caps.inputReportLength, 0);
      if (!m_numbered) {
        buffer[0] = 0;
      }
    }
    return io;
  }

  // The report-id byte leads every written report, 0 when the device numbers none.
  HidIo TryWrite() { return Outcome(write(m_fd.Get(), m_write.writeBuffer, m_caps.outputReportLength)); }

  HidIo Wait(Transfer& transfer, short events, int32_t timeoutMs) {
    if (!transfer.outstanding) {
      return HidIo::Failed;
    }
    const bool reading = events == POLLIN;
    const bool unlimited = timeoutMs < 0;
    const auto deadline = unlimited ? std::chrono::steady_clock::now() : RealDeadline(static_cast<uint32_t>(timeoutMs));
    for (;;) {
      if (reading && m_woken.load()) {
        transfer.outstanding = false;
        return HidIo::Failed;
      }
      pollfd fds[2] = {{m_fd.Get(), events, 0}, {m_wake.Get(), POLLIN, 0}};
      const int ready = poll(fds, reading ? 2 : 1, PollTimeout(unlimited, deadline));
      if (ready < 0 && errno != EINTR) {
        transfer.outstanding = false;
        return HidIo::Failed;
      }
      if (ready > 0 && fds[0].revents != 0) {
        // Readiness, hang-up and errors alike: the transfer itself tells which, and a
        // descriptor in error that still has nothing to move has failed.
        HidIo io = reading ? TryRead() : TryWrite();
        if (io == HidIo::Pending && (fds[0].revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) {
          io = HidIo::Failed;
        }
        if (io != HidIo::Pending) {
          transfer.outstanding = false;
          return io;
        }
      }
      if (ready == 0 && PollTimeout(unlimited, deadline) == 0) {
        return HidIo::TimedOut;
      }
    }
  }

  UniqueFd m_fd;
  UniqueFd m_wake;
  HidInterfaceCaps m_caps;
  bool m_numbered;
  Transfer m_read;
  Transfer m_write;
  std::atomic<bool> m_woken{false};
};

}  // namespace

std::unique_ptr<HidHandle> MakeHidrawHandle(int fd, const HidInterfaceCaps& caps, bool numberedReports) {
  if (fd < 0) {
    return nullptr;
  }
  const int wakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (wakeFd < 0) {
    close(fd);
    return nullptr;
  }
  return std::make_unique<HidrawHandle>(fd, wakeFd, caps, numberedReports);
}

}  // namespace qx80
