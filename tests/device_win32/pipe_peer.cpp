#include "tests/device_win32/pipe_peer.h"

#include <atomic>
#include <string>

#include "platform/utf.h"

namespace qx80 {
namespace {

constexpr DWORD kPeerBufferSize = 4096;

std::string UniquePipePath() {
  static std::atomic<int> counter{0};
  return "\\\\.\\pipe\\qx80-hid-peer-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++counter);
}

}  // namespace

PipePeer::PipePeer() : m_path(UniquePipePath()), m_event(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
  const std::wstring name = WideFromUtf8(m_path);
  // Outbound (peer to near end) buffered, inbound not: the near end's writes wait for the
  // peer's reads.
  m_server = UniqueHandle(CreateNamedPipeW(name.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                                           PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT, 1, kPeerBufferSize, 0,
                                           0, nullptr));
  m_client = UniqueHandle(CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_OVERLAPPED, nullptr));
  if (m_client.Valid()) {
    DWORD mode = PIPE_READMODE_MESSAGE;
    SetNamedPipeHandleState(m_client.Get(), &mode, nullptr, nullptr);
  }
}

PipePeer::~PipePeer() {
  std::vector<uint8_t> ignored;
  if (m_receiving) {
    FinishReceive(ignored, 0);
  }
}

bool PipePeer::Send(std::span<const uint8_t> report) {
  OVERLAPPED overlapped{};
  overlapped.hEvent = m_event.Get();
  DWORD written = 0;
  if (!WriteFile(m_server.Get(), report.data(), static_cast<DWORD>(report.size()), nullptr, &overlapped) &&
      GetLastError() != ERROR_IO_PENDING) {
    return false;
  }
  return GetOverlappedResult(m_server.Get(), &overlapped, &written, TRUE) && written == report.size();
}

bool PipePeer::StartReceive() {
  m_receiveBuffer.assign(kPeerBufferSize, 0);
  m_receive = OVERLAPPED{};
  m_receive.hEvent = m_event.Get();
  if (!ReadFile(m_server.Get(), m_receiveBuffer.data(), kPeerBufferSize, nullptr, &m_receive) &&
      GetLastError() != ERROR_IO_PENDING) {
    return false;
  }
  m_receiving = true;
  return true;
}

bool PipePeer::FinishReceive(std::vector<uint8_t>& report, uint32_t waitMs) {
  if (!m_receiving) {
    return false;
  }
  m_receiving = false;
  DWORD received = 0;
  if (WaitForSingleObject(m_event.Get(), waitMs) != WAIT_OBJECT_0) {
    CancelIoEx(m_server.Get(), &m_receive);
    GetOverlappedResult(m_server.Get(), &m_receive, &received, TRUE);
    return false;
  }
  if (!GetOverlappedResult(m_server.Get(), &m_receive, &received, FALSE)) {
    return false;
  }
  report.assign(m_receiveBuffer.begin(), m_receiveBuffer.begin() + received);
  return true;
}

void PipePeer::Disconnect() {
  std::vector<uint8_t> ignored;
  if (m_receiving) {
    FinishReceive(ignored, 0);
  }
  m_server.Reset();
}

}  // namespace qx80
