#pragma once
// Reassembles messages that travel as a first fragment, any number of middle fragments and
// a last fragment (responses, text messages, and on the device's side requests).
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace qx80 {

class Reassembler {
 public:
  enum class Fragment { First, Middle, Last };

  // A message starts with `headerSize` bytes holding, at `lengthOffset`, the 16-bit count of
  // the bytes that follow the header. The buffer holds at least kReassemblyLimit + 1 bytes,
  // so a terminator may follow the longest message.
  Reassembler(size_t headerSize, size_t lengthOffset, size_t capacity);

  // Takes one report's 63 payload bytes; true when they complete a message. A first
  // fragment completes it at once when the message fits in it. Middle and last fragments
  // without a first are ignored; a message that would grow beyond kReassemblyLimit is
  // dropped without notice, before anything is copied past the limit.
  bool Add(Fragment fragment, const uint8_t* payload);

  // The buffer holding the message: Length() bytes, whole reports, so the last one may carry
  // padding beyond what the header declares. It may be swapped with another buffer of the
  // same capacity once a message is complete.
  std::vector<uint8_t>& Buffer() { return m_buffer; }
  size_t Length() const { return m_length; }

 private:
  size_t m_headerSize;
  size_t m_lengthOffset;
  std::vector<uint8_t> m_buffer;
  size_t m_length = 0;
  bool m_inProgress = false;
};

// The fragment a report of kind `kind` carries in the family whose first kind is
// `firstKind` (then middle = first + 1, last = first + 2); none for any other kind.
std::optional<Reassembler::Fragment> FragmentOf(uint8_t kind, uint8_t firstKind);

}  // namespace qx80
