// Winsock: the part of the bridge's sockets that differs from POSIX sockets.
#include <algorithm>

#include "device/bridge/bridge_socket_os.h"

namespace qx80::socket_os {

bool Started() {
  // Winsock is started once for the process and left running until it ends.
  static const bool started = [] {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  return started;
}

SocketError LastError() {
  return ErrorFromCode(WSAGetLastError());
}

SocketError ErrorFromCode(int code) {
  switch (code) {
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
}

void Close(NativeSocket socket) {
  closesocket(socket);
}

bool SetBlocking(NativeSocket socket, bool blocking) {
  u_long nonBlocking = blocking ? 0 : 1;
  return ioctlsocket(socket, FIONBIO, &nonBlocking) == 0;
}

// Winsock's select() has no limit on the socket values.
bool Selectable(NativeSocket socket) {
  return socket != kInvalidSocket;
}

int SelectWidth(NativeSocket /*highest*/) {
  return 0;  // ignored by Winsock
}

void SetSendTimeout(NativeSocket socket, std::chrono::milliseconds limit) {
  const DWORD value = static_cast<DWORD>(std::max<int64_t>(1, limit.count()));  // zero would mean no limit
  setsockopt(socket, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&value), sizeof(value));
}

// On Windows SO_REUSEADDR would let another program take the port over, so it stays off.
void AllowQuickRebind(NativeSocket /*socket*/) {}

ptrdiff_t SendSome(NativeSocket socket, std::span<const uint8_t> bytes) {
  return ::send(socket, reinterpret_cast<const char*>(bytes.data()), static_cast<int>(bytes.size()), 0);
}

ptrdiff_t ReceiveSome(NativeSocket socket, std::span<uint8_t> buffer) {
  return ::recv(socket, reinterpret_cast<char*>(buffer.data()), static_cast<int>(buffer.size()), 0);
}

void ShutdownBoth(NativeSocket socket) {
  ::shutdown(socket, SD_BOTH);
}

}  // namespace qx80::socket_os
