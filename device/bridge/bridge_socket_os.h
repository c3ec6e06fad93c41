#pragma once
// The seam between the portable socket code (bridge_socket.cpp) and the part that differs
// between POSIX sockets and Winsock (bridge_socket_posix.cpp, bridge_socket_win32.cpp; the
// build compiles the one for the target).
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <span>

#include "device/bridge/bridge_socket.h"

// The portable part makes the same BSD socket calls on both systems, but they are declared
// in different headers; this is the one place that tells them apart.
#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/select.h>
#include <sys/socket.h>
#endif

namespace qx80::socket_os {

constexpr NativeSocket kInvalidSocket = static_cast<NativeSocket>(-1);

enum class SocketError { Interrupted, InProgress, Refused, InUse, Other };

// Whether the socket library can be used (Winsock is started on first use).
bool Started();
// The error of the last failed socket call on this thread.
SocketError LastError();
// A pending error as SO_ERROR reports it; 0 is none.
SocketError ErrorFromCode(int code);

void Close(NativeSocket socket);
bool SetBlocking(NativeSocket socket, bool blocking);
// Whether select() can watch the socket.
bool Selectable(NativeSocket socket);
// The first argument of select() for sockets up to `highest`.
int SelectWidth(NativeSocket highest);
// A send that cannot go out within `limit` ends with an error.
void SetSendTimeout(NativeSocket socket, std::chrono::milliseconds limit);
// A listener about to be bound: a restarted server may take its port again at once.
void AllowQuickRebind(NativeSocket socket);
// One send() or recv(): bytes moved (> 0), 0, or < 0 on failure. A closed peer is a failed
// send, never a signal.
ptrdiff_t SendSome(NativeSocket socket, std::span<const uint8_t> bytes);
ptrdiff_t ReceiveSome(NativeSocket socket, std::span<uint8_t> buffer);
// Ends both directions of a connection.
void ShutdownBoth(NativeSocket socket);

}  // namespace qx80::socket_os
