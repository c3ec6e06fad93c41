#include "device/bridge/bridge_stream.h"

#include <array>

namespace qx80 {

bool BridgeStream::Send(BridgeFrameType type, std::span<const uint8_t> payload) {
  std::lock_guard<std::mutex> lock(m_sendMutex);
  m_sendBuffer.clear();
  if (!EncodeBridgeFrame(type, payload, m_sendBuffer)) {
    return false;
  }
  if (m_socket.SendAll(m_sendBuffer)) {
    return true;
  }
  Close();
  return false;
}

bool BridgeStream::Receive(std::vector<BridgeFrame>& frames, int32_t timeoutMs) {
  switch (WaitForReadable(m_socket, m_waker, timeoutMs)) {
    case WaitResult::TimedOut:
      return true;
    case WaitResult::Woken:
    case WaitResult::Failed:
      return false;
    case WaitResult::Readable:
      break;
  }
  std::array<uint8_t, 4096> buffer;
  const ptrdiff_t received = m_socket.Receive(buffer);
  if (received <= 0) {
    return false;
  }
  return m_parser.Feed(std::span<const uint8_t>(buffer.data(), static_cast<size_t>(received)), frames);
}

void BridgeStream::Close() {
  m_waker.Raise();
  m_socket.Shutdown();
}

}  // namespace qx80
