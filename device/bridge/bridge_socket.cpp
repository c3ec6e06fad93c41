#include "device/bridge/bridge_socket.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <utility>

#include "platform/clock.h"

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace qx80 {
namespace {

// A peer that takes no bytes for this long is treated as lost.
constexpr uint32_t kSendTimeoutMs = 2000;

#ifdef _WIN32
constexpr int kShutdownBoth = SD_BOTH;
constexpr int kSendFlags = 0;
using IoLength = int;
using SocketLength = int;
#else
constexpr int kShutdownBoth = SHUT_RDWR;
constexpr int kSendFlags = MSG_NOSIGNAL;  // a closed peer is an error result, not SIGPIPE
using IoLength = size_t;
using SocketLength = socklen_t;
#endif

constexpr NativeSocket kInvalidSocket = static_cast<NativeSocket>(-1);

enum class SocketError { Interrupted, InProgress, Refused, InUse, Other };

// The one place where platform error codes are read.
SocketError LastSocketError() {
#ifdef _WIN32
  switch (WSAGetLastError()) {
    case WSAEINTR:
      return SocketError::Interrupted;
    case WSAEWOULDBLOCK:  // what a non-blocking connect answers
    case WSAEINPROGRESS:
      return SocketError::InProgress;
    case WSAECONNREFUSED:
      return SocketError::Refused;
    case WSAEADDRINUSE:
      return SocketError::InUse;
    default:
      return SocketError::Other;
  }
#else
  switch (errno) {
    case EINTR:
      return SocketError::Interrupted;
    case EINPROGRESS:
      return SocketError::InProgress;
    case ECONNREFUSED:
      return SocketError::Refused;
    case EADDRINUSE:
      return SocketError::InUse;
    default:
      return SocketError::Other;
  }
#endif
}

bool SocketsStarted() {
#ifdef _WIN32
  // Winsock is started once for the process and left running until it ends.
  static const bool started = [] {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  return started;
#else
  return true;
#endif
}

NativeSocket NewSocket(int type, int protocol) {
  return SocketsStarted() ? static_cast<NativeSocket>(::socket(AF_INET, type, protocol)) : kInvalidSocket;
}

void CloseNative(NativeSocket socket) {
#ifdef _WIN32
  closesocket(socket);
#else
  ::close(socket);
#endif
}

bool SetBlocking(NativeSocket socket, bool blocking) {
#ifdef _WIN32
  u_long nonBlocking = blocking ? 0 : 1;
  return ioctlsocket(socket, FIONBIO, &nonBlocking) == 0;
#else
  const int flags = fcntl(socket, F_GETFL, 0);
  return flags >= 0 && fcntl(socket, F_SETFL, blocking ? (flags & ~O_NONBLOCK) : (flags | O_NONBLOCK)) == 0;
#endif
}

// select() takes only small descriptors on POSIX; Winsock has no such limit.
bool Selectable(NativeSocket socket) {
#ifdef _WIN32
  return socket != kInvalidSocket;
#else
  return socket >= 0 && socket < FD_SETSIZE;
#endif
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
#ifdef _WIN32
  const int count = 0;  // ignored by Winsock
  (void)highest;
#else
  const int count = highest + 1;
#endif
  for (;;) {
    timeval remaining = limit;  // POSIX may change it
    const int ready = ::select(count, read, write, except, timeoutMs >= 0 ? &remaining : nullptr);
    if (ready >= 0 || LastSocketError() != SocketError::Interrupted) {
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
  if (!Selectable(socket)) {
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
  SocketLength length = sizeof(error);
  if (getsockopt(socket, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length) != 0) {
    return ConnectFailure::Other;
  }
#ifdef _WIN32
  constexpr int kRefused = WSAECONNREFUSED;
#else
  constexpr int kRefused = ECONNREFUSED;
#endif
  return error == 0 ? ConnectFailure::None : error == kRefused ? ConnectFailure::Refused : ConnectFailure::Other;
}

// Every connected socket: reports are small and each waits for its answer, so no
// coalescing delay; and a send that cannot go out ends instead of blocking for ever.
void ConfigureConnected(NativeSocket socket) {
  int noDelay = 1;
  setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay), sizeof(noDelay));
  const auto real = std::chrono::duration_cast<std::chrono::milliseconds>(GetClock().RealDuration(kSendTimeoutMs));
#ifdef _WIN32
  const DWORD limit = static_cast<DWORD>(std::max<int64_t>(1, real.count()));
#else
  timeval limit{};
  limit.tv_sec = static_cast<time_t>(real.count() / 1000);
  limit.tv_usec = static_cast<suseconds_t>((real.count() % 1000) * 1000);
  if (limit.tv_sec == 0 && limit.tv_usec == 0) {
    limit.tv_usec = 1000;  // zero would mean no limit
  }
#endif
  setsockopt(socket, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&limit), sizeof(limit));
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
    CloseNative(std::exchange(m_socket, kInvalidSocket));
  }
}

Socket Socket::Connect(const std::string& host, uint16_t port, int32_t timeoutMs, ConnectFailure* failure) {
  ConnectFailure ignored = ConnectFailure::None;
  ConnectFailure& why = failure != nullptr ? *failure : ignored;
  why = ConnectFailure::Other;
  if (!SocketsStarted()) {
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
  if (!socket.Valid() || !SetBlocking(socket.m_socket, false)) {
    return {};
  }
  if (::connect(socket.m_socket, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0) {
    const SocketError error = LastSocketError();
    why = error == SocketError::Refused      ? ConnectFailure::Refused
          : error == SocketError::InProgress ? WaitConnected(socket.m_socket, timeoutMs)
                                             : ConnectFailure::Other;
    if (why != ConnectFailure::None) {
      return {};
    }
  }
  if (!SetBlocking(socket.m_socket, true)) {
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
#ifndef _WIN32
  // A restarted server takes its port again at once. (On Windows this option would let
  // another program take the port over, so it stays off there.)
  int reuse = 1;
  setsockopt(socket.m_socket, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof(reuse));
#endif
  const sockaddr_in address = LoopbackAddress(port);
  // Non-blocking, so that an Accept after a client gave up again cannot hang.
  if (::bind(socket.m_socket, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0 ||
      ::listen(socket.m_socket, 1) != 0) {
    why = LastSocketError() == SocketError::InUse ? ListenFailure::InUse : ListenFailure::Other;
    return {};
  }
  if (!SetBlocking(socket.m_socket, false)) {
    return {};
  }
  why = ListenFailure::None;
  return socket;
}

uint16_t Socket::LocalPort() const {
  sockaddr_in address{};
  SocketLength length = sizeof(address);
  if (!Valid() || getsockname(m_socket, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    return 0;
  }
  return ntohs(address.sin_port);
}

Socket Socket::Accept() const {
  Socket accepted(static_cast<NativeSocket>(::accept(m_socket, nullptr, nullptr)));
  // Winsock hands the listener's non-blocking mode on to the accepted socket.
  if (!accepted.Valid() || !SetBlocking(accepted.m_socket, true)) {
    return {};
  }
  ConfigureConnected(accepted.m_socket);
  return accepted;
}

bool Socket::SendAll(std::span<const uint8_t> bytes) const {
  while (!bytes.empty()) {
    const auto sent =
        ::send(m_socket, reinterpret_cast<const char*>(bytes.data()), static_cast<IoLength>(bytes.size()), kSendFlags);
    if (sent > 0) {
      bytes = bytes.subspan(static_cast<size_t>(sent));
    } else if (sent == 0 || LastSocketError() != SocketError::Interrupted) {
      return false;
    }
  }
  return true;
}

ptrdiff_t Socket::Receive(std::span<uint8_t> buffer) const {
  for (;;) {
    const auto received =
        ::recv(m_socket, reinterpret_cast<char*>(buffer.data()), static_cast<IoLength>(buffer.size()), 0);
    if (received >= 0 || LastSocketError() != SocketError::Interrupted) {
      return received;
    }
  }
}

void Socket::Shutdown() const {
  if (Valid()) {
    ::shutdown(m_socket, kShutdownBoth);
  }
}

SocketWaker::SocketWaker() {
  Socket socket(NewSocket(SOCK_DGRAM, IPPROTO_UDP));
  sockaddr_in address = LoopbackAddress(0);
  SocketLength length = sizeof(address);
  // Bound to a free loopback port and connected to itself: Raise sends it one datagram.
  if (socket.Valid() && ::bind(socket.m_socket, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0 &&
      getsockname(socket.m_socket, reinterpret_cast<sockaddr*>(&address), &length) == 0 &&
      ::connect(socket.m_socket, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0) {
    m_socket = std::move(socket);
  }
}

void SocketWaker::Raise() const {
  const char byte = 1;
  if (m_socket.Valid()) {
    ::send(m_socket.m_socket, &byte, 1, kSendFlags);
  }
}

WaitResult WaitForReadable(const Socket& socket, const SocketWaker& waker, int32_t timeoutMs) {
  const NativeSocket watched = socket.m_socket;
  const NativeSocket wake = waker.m_socket.m_socket;
  // Without a working waker the wait could never be ended: refuse it.
  if (!Selectable(watched) || !Selectable(wake)) {
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
