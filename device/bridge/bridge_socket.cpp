#include "device/bridge/bridge_socket.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <utility>

#include "device/bridge/bridge_socket_os.h"
#include "platform/clock.h"

namespace qx80 {
namespace {

using socket_os::kInvalidSocket;
using socket_os::SocketError;

// A peer that takes no bytes for this long is treated as lost.
constexpr uint32_t kSendTimeoutMs = 2000;

NativeSocket NewSocket(int type, int protocol) {
  return socket_os::Started() ? static_cast<NativeSocket>(::socket(AF_INET, type, protocol)) : kInvalidSocket;
}

// select() over the given sets, again after an interruption (with the sets restored).
// > 0: something is ready; 0: the time ran out; < 0: failure.
int Select(NativeSocket highest, fd_set* read, fd_set* write, fd_set* except, int32_t timeoutMs) {
  const fd_set readSet = read != nullptr ? *read : fd_set{};
  const fd_set writeSet = write != nullptr ? *write : fd_set{};
  const fd_set exceptSet = except != nullptr ? *except : fd_set{};
  timeval limit{};
  if (timeoutMs >= 0) {
    const auto real = std::chrono::duration_cast<std::chrono::microseconds>(
        GetClock().RealDuration(static_cast<uint32_t>(timeoutMs)));
    limit.tv_sec = static_cast<decltype(limit.tv_sec)>(real.count() / 1000000);
    limit.tv_usec = static_cast<decltype(limit.tv_usec)>(real.count() % 1000000);
  }
  const int count = socket_os::SelectWidth(highest);
  for (;;) {
    timeval remaining = limit;  // POSIX may change it
    const int ready = ::select(count, read, write, except, timeoutMs >= 0 ? &remaining : nullptr);
    if (ready >= 0 || socket_os::LastError() != SocketError::Interrupted) {
      return ready;
    }
    if (read != nullptr) {
      *read = readSet;
    }
    if (write != nullptr) {
      *write = writeSet;
    }
    if (except != nullptr) {
      *except = exceptSet;
    }
  }
}

// A non-blocking connect in progress: wait until it is made or has failed.
ConnectFailure WaitConnected(NativeSocket socket, int32_t timeoutMs) {
  if (!socket_os::Selectable(socket)) {
    return ConnectFailure::Other;
  }
  fd_set writable;
  fd_set failed;  // Winsock reports a failed connect here, POSIX as writable
  FD_ZERO(&writable);
  FD_ZERO(&failed);
  FD_SET(socket, &writable);
  FD_SET(socket, &failed);
  const int ready = Select(socket, nullptr, &writable, &failed, timeoutMs);
  if (ready <= 0) {
    return ready == 0 ? ConnectFailure::NoAnswer : ConnectFailure::Other;
  }
  int error = 0;
  socklen_t length = sizeof(error);
  if (getsockopt(socket, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length) != 0) {
    return ConnectFailure::Other;
  }
  if (error == 0) {
    return ConnectFailure::None;
  }
  return socket_os::ErrorFromCode(error) == SocketError::Refused ? ConnectFailure::Refused : ConnectFailure::Other;
}

// Every connected socket: reports are small and each waits for its answer, so no
// coalescing delay; and a send that cannot go out ends instead of blocking for ever.
void ConfigureConnected(NativeSocket socket) {
  int noDelay = 1;
  setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay), sizeof(noDelay));
  socket_os::SetSendTimeout(
      socket, std::chrono::duration_cast<std::chrono::milliseconds>(GetClock().RealDuration(kSendTimeoutMs)));
}

sockaddr_in LoopbackAddress(uint16_t port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return address;
}

}  // namespace

Socket::Socket(Socket&& other) noexcept : m_socket(std::exchange(other.m_socket, kInvalidSocket)) {}

Socket& Socket::operator=(Socket&& other) noexcept {
  if (this != &other) {
    Close();
    m_socket = std::exchange(other.m_socket, kInvalidSocket);
  }
  return *this;
}

bool Socket::Valid() const {
  return m_socket != kInvalidSocket;
}

void Socket::Close() {
  if (Valid()) {
    socket_os::Close(std::exchange(m_socket, kInvalidSocket));
  }
}

Socket Socket::Connect(const std::string& host, uint16_t port, int32_t timeoutMs, ConnectFailure* failure) {
  ConnectFailure ignored = ConnectFailure::None;
  ConnectFailure& why = failure != nullptr ? *failure : ignored;
  why = ConnectFailure::Other;
  if (!socket_os::Started()) {
    return {};
  }
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  addrinfo* found = nullptr;
  if (getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0 || found == nullptr) {
    why = ConnectFailure::UnknownHost;
    return {};
  }
  sockaddr_in address{};
  std::memcpy(&address, found->ai_addr, std::min(sizeof(address), static_cast<size_t>(found->ai_addrlen)));
  freeaddrinfo(found);

  Socket socket(NewSocket(SOCK_STREAM, IPPROTO_TCP));
  if (!socket.Valid() || !socket_os::SetBlocking(socket.m_socket, false)) {
    return {};
  }
  if (::connect(socket.m_socket, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0) {
    const SocketError error = socket_os::LastError();
    why = error == SocketError::Refused      ? ConnectFailure::Refused
          : error == SocketError::InProgress ? WaitConnected(socket.m_socket, timeoutMs)
                                             : ConnectFailure::Other;
    if (why != ConnectFailure::None) {
      return {};
    }
  }
  if (!socket_os::SetBlocking(socket.m_socket, true)) {
    why = ConnectFailure::Other;
    return {};
  }
  ConfigureConnected(socket.m_socket);
  why = ConnectFailure::None;
  return socket;
}

Socket Socket::ListenLoopback(uint16_t port, ListenFailure* failure) {
  ListenFailure ignored = ListenFailure::None;
  ListenFailure& why = failure != nullptr ? *failure : ignored;
  why = ListenFailure::Other;
  Socket socket(NewSocket(SOCK_STREAM, IPPROTO_TCP));
  if (!socket.Valid()) {
    return {};
  }
  socket_os::AllowQuickRebind(socket.m_socket);
  const sockaddr_in address = LoopbackAddress(port);
  // Non-blocking, so that an Accept after a client gave up again cannot hang.
  if (::bind(socket.m_socket, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0 ||
      ::listen(socket.m_socket, 1) != 0) {
    why = socket_os::LastError() == SocketError::InUse ? ListenFailure::InUse : ListenFailure::Other;
    return {};
  }
  if (!socket_os::SetBlocking(socket.m_socket, false)) {
    return {};
  }
  why = ListenFailure::None;
  return socket;
}

uint16_t Socket::LocalPort() const {
  sockaddr_in address{};
  socklen_t length = sizeof(address);
  if (!Valid() || getsockname(m_socket, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    return 0;
  }
  return ntohs(address.sin_port);
}

Socket Socket::Accept() const {
  Socket accepted(static_cast<NativeSocket>(::accept(m_socket, nullptr, nullptr)));
  // Winsock hands the listener's non-blocking mode on to the accepted socket.
  if (!accepted.Valid() || !socket_os::SetBlocking(accepted.m_socket, true)) {
    return {};
  }
  ConfigureConnected(accepted.m_socket);
  return accepted;
}

bool Socket::SendAll(std::span<const uint8_t> bytes) const {
  while (!bytes.empty()) {
    const ptrdiff_t sent = socket_os::SendSome(m_socket, bytes);
    if (sent > 0) {
      bytes = bytes.subspan(static_cast<size_t>(sent));
    } else if (sent == 0 || socket_os::LastError() != SocketError::Interrupted) {
      return false;
    }
  }
  return true;
}

ptrdiff_t Socket::Receive(std::span<uint8_t> buffer) const {
  for (;;) {
    const ptrdiff_t received = socket_os::ReceiveSome(m_socket, buffer);
    if (received >= 0 || socket_os::LastError() != SocketError::Interrupted) {
      return received;
    }
  }
}

void Socket::Shutdown() const {
  if (Valid()) {
    socket_os::ShutdownBoth(m_socket);
  }
}

SocketWaker::SocketWaker() {
  Socket socket(NewSocket(SOCK_DGRAM, IPPROTO_UDP));
  sockaddr_in address = LoopbackAddress(0);
  socklen_t length = sizeof(address);
  // Bound to a free loopback port and connected to itself: Raise sends it one datagram.
  if (socket.Valid() && ::bind(socket.m_socket, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0 &&
      getsockname(socket.m_socket, reinterpret_cast<sockaddr*>(&address), &length) == 0 &&
      ::connect(socket.m_socket, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0) {
    m_socket = std::move(socket);
  }
}

void SocketWaker::Raise() const {
  const uint8_t byte = 1;
  if (m_socket.Valid()) {
    socket_os::SendSome(m_socket.m_socket, std::span(&byte, 1));
  }
}

WaitResult WaitForReadable(const Socket& socket, const SocketWaker& waker, int32_t timeoutMs) {
  const NativeSocket watched = socket.m_socket;
  const NativeSocket wake = waker.m_socket.m_socket;
  // Without a working waker the wait could never be ended: refuse it.
  if (!socket_os::Selectable(watched) || !socket_os::Selectable(wake)) {
    return WaitResult::Failed;
  }
  fd_set readable;
  FD_ZERO(&readable);
  FD_SET(watched, &readable);
  FD_SET(wake, &readable);
  const int ready = Select(std::max(watched, wake), &readable, nullptr, nullptr, timeoutMs);
  if (ready < 0) {
    return WaitResult::Failed;
  }
  if (ready == 0) {
    return WaitResult::TimedOut;
  }
  return FD_ISSET(wake, &readable) ? WaitResult::Woken : WaitResult::Readable;
}

}  // namespace qx80
