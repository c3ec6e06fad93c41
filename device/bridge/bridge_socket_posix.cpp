// POSIX sockets: the part of the bridge's sockets that differs from Winsock.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "device/bridge/bridge_socket_os.h"

namespace qx80::socket_os {

bool Started() {
  return true;
}

SocketError LastError() {
  return ErrorFromCode(errno);
}

SocketError ErrorFromCode(int code) {
  switch (code) {
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
}

void Close(NativeSocket socket) {
  ::close(socket);
}

bool SetBlocking(NativeSocket socket, bool blocking) {
  const int flags = fcntl(socket, F_GETFL, 0);
  return flags >= 0 && fcntl(socket, F_SETFL, blocking ? (flags & ~O_NONBLOCK) : (flags | O_NONBLOCK)) == 0;
}

// select() takes only small descriptors.
bool Selectable(NativeSocket socket) {
  return socket >= 0 && socket < FD_SETSIZE;
}

int SelectWidth(NativeSocket highest) {
  return highest + 1;
}

void SetSendTimeout(NativeSocket socket, std::chrono::milliseconds limit) {
  timeval value{};
  value.tv_sec = static_cast<time_t>(limit.count() / 1000);
  value.tv_usec = static_cast<suseconds_t>((limit.count() % 1000) * 1000);
  if (value.tv_sec == 0 && value.tv_usec == 0) {
    value.tv_usec = 1000;  // zero would mean no limit
  }
  setsockopt(socket, SOL_SOCKET, SO_SNDTIMEO, &value, sizeof(value));
}

void AllowQuickRebind(NativeSocket socket) {
  int reuse = 1;
  setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof(reuse));
}

ptrdiff_t SendSome(NativeSocket socket, std::span<const uint8_t> bytes) {
  return ::send(socket, bytes.data(), bytes.size(), MSG_NOSIGNAL);
}

ptrdiff_t ReceiveSome(NativeSocket socket, std::span<uint8_t> buffer) {
  return ::recv(socket, buffer.data(), buffer.size(), 0);
}

void ShutdownBoth(NativeSocket socket) {
  ::shutdown(socket, SHUT_RDWR);
}

}  // namespace qx80::socket_os
