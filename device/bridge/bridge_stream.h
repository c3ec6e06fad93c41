#pragma once
// Bridge frames over one connected socket, the same on both ends of the connection.
// Any thread may send; one thread receives; Close may come from any thread.
#include <cstdint>
#include <mutex>
#include <span>
#include <utility>
#include <vector>

#include "device/bridge/bridge_socket.h"
#include "device/bridge/bridge_wire.h"

namespace qx80 {

class BridgeStream {
 public:
  explicit BridgeStream(Socket socket) : m_socket(std::move(socket)) {}
  BridgeStream(const BridgeStream&) = delete;
  BridgeStream& operator=(const BridgeStream&) = delete;

  // Sends one whole frame. False when the frame breaks the frame rules (nothing is sent)
  // or the connection is broken; a frame that did not go out whole leaves the byte stream
  // unusable, so the connection is closed then.
  bool Send(BridgeFrameType type, std::span<const uint8_t> payload = {});
  // Appends the frames that arrive within `timeoutMs` clock milliseconds (-1: no limit;
  // it returns as soon as some bytes came). False once the connection has ended: closed
  // by either side, failed, or the peer broke the frame rules.
  bool Receive(std::vector<BridgeFrame>& frames, int32_t timeoutMs);
  // Ends the connection: a blocked Receive returns false, sends fail, the peer sees the
  // connection close.
  void Close();

 private:
  Socket m_socket;
  SocketWaker m_waker;
  BridgeFrameParser m_parser;  // used by the receiving thread only
  std::mutex m_sendMutex;      // frames from several threads must not interleave
  std::vector<uint8_t> m_sendBuffer;
};

}  // namespace qx80
