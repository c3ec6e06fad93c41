#include "protocol/reassembler.h"

#include <algorithm>
#include <cstring>

#include "protocol/message.h"

namespace qx80 {

Reassembler::Reassembler(size_t headerSize, size_t lengthOffset, size_t capacity)
    : m_headerSize(headerSize), m_lengthOffset(lengthOffset), m_buffer(std::max(capacity, kReassemblyLimit + 1), 0) {}

bool Reassembler::Add(Fragment fragment, const uint8_t* payload) {
  if (fragment == Fragment::First) {
    std::memcpy(m_buffer.data(), payload, kReportPayload);
    m_length = kReportPayload;
    m_inProgress = m_headerSize + ReadLe16(m_buffer.data() + m_lengthOffset) > kReportPayload;
    return !m_inProgress;
  }
  if (!m_inProgress) {
    return false;
  }
  if (m_length + kReportPayload > kReassemblyLimit) {
    m_length = 0;
    m_inProgress = false;
    return false;
  }
  std::memcpy(m_buffer.data() + m_length, payload, kReportPayload);
  m_length += kReportPayload;
  if (fragment == Fragment::Last) {
    m_inProgress = false;
    return true;
  }
  return false;
}

std::optional<Reassembler::Fragment> FragmentOf(uint8_t kind, uint8_t firstKind) {
  switch (kind - firstKind) {
    case 0:
      return Reassembler::Fragment::First;
    case 1:
      return Reassembler::Fragment::Middle;
    case 2:
      return Reassembler::Fragment::Last;
    default:
      return std::nullopt;
  }
}

}  // namespace qx80
