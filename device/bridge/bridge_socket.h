#pragma once
// The few socket operations the bridge needs, the same on POSIX sockets and on Winsock.
// Sockets are blocking; every wait that must end on request goes through WaitForReadable
// with a SocketWaker, so no thread stays blocked in the kernel when its owner stops.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace qx80 {

#ifdef _WIN32
using NativeSocket = uintptr_t;  // SOCKET
#else
using NativeSocket = int;
#endif

class Socket;
class SocketWaker;

enum class WaitResult { Readable, TimedOut, Woken, Failed };

// Why a connection could not be made.
enum class ConnectFailure { None, UnknownHost, Refused, NoAnswer, Other };
// Why a port could not be listened on: another socket has it, or anything else.
enum class ListenFailure { None, InUse, Other };

// Waits until `socket` has something to read (data, a closed connection or a client to
// accept), the waker is raised, or `timeoutMs` clock milliseconds pass (-1: no limit).
WaitResult WaitForReadable(const Socket& socket, const SocketWaker& waker, int32_t timeoutMs);

// One owned socket, closed when destroyed.
class Socket {
 public:
  Socket() = default;
  ~Socket() { Close(); }
  Socket(Socket&& other) noexcept;
  Socket& operator=(Socket&& other) noexcept;
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;

  // A TCP connection to host:port (IPv4; a name or a dotted address), given up after
  // `timeoutMs` clock milliseconds. Invalid when it cannot be made; `failure` (when given)
  // then says why.
  static Socket Connect(const std::string& host, uint16_t port, int32_t timeoutMs, ConnectFailure* failure = nullptr);
  // A TCP listener on 127.0.0.1:`port`, never on another interface; port 0 takes a free
  // port (LocalPort tells which). Invalid when the port cannot be bound; `failure` (when
  // given) then says why.
  static Socket ListenLoopback(uint16_t port, ListenFailure* failure = nullptr);

  bool Valid() const;
  uint16_t LocalPort() const;
  // On a listener that WaitForReadable reported readable. Invalid when the client has
  // already gone again.
  Socket Accept() const;
  // Sends every byte or fails; a peer that takes nothing for a few seconds counts as lost,
  // and what was sent of the bytes is then unknown.
  bool SendAll(std::span<const uint8_t> bytes) const;
  // Bytes received (> 0); 0 when the peer closed the connection; < 0 when it failed.
  ptrdiff_t Receive(std::span<uint8_t> buffer) const;
  // Ends both directions; safe while another thread uses the socket (unlike Close).
  void Shutdown() const;
  void Close();

 private:
  explicit Socket(NativeSocket socket) : m_socket(socket) {}
  friend class SocketWaker;
  friend WaitResult WaitForReadable(const Socket&, const SocketWaker&, int32_t);

  NativeSocket m_socket = static_cast<NativeSocket>(-1);  // the invalid value on both platforms
};

// Releases WaitForReadable on other threads. Raising is permanent: every later wait with
// this waker returns Woken at once. (A datagram to itself on the loopback address: the
// one wake-up source that select accepts on every platform.)
class SocketWaker {
 public:
  SocketWaker();
  void Raise() const;

 private:
  friend WaitResult WaitForReadable(const Socket&, const SocketWaker&, int32_t);
  Socket m_socket;
};

}  // namespace qx80
