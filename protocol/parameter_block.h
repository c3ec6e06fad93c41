#pragma once
// The parameter block: the 188-byte input and output area of every numbered command. Its
// layout depends on the command; bytes 184..187 always hold the 32-bit `unit` field, whose
// low byte most requests carry in their header.
//
// Some commands take addresses in the block: a caller's buffer (0x68, 0x69, 0x73, the
// addressed transfers 0x76, 0x77, 0x7A, 0x7B, the raw request 0xA4) or a text callback
// (0x25). The block has 4-byte slots for them, which hold a pointer exactly on a 32-bit
// build. On a 64-bit build each pointer takes 8 bytes from the same offset; for 0xA4, where
// the pointer (B0..3) and the size (B4..7) would then collide, the pointer takes B0..7 and
// the size moves to B8..11. Callers and handlers reach these slots only through the helpers
// below, never by offset.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "protocol/channel_callbacks.h"

namespace qx80 {

constexpr size_t kParameterBlockSize = 188;
constexpr size_t kUnitOffset = 184;

struct PointerSlot {
  uint8_t command;
  uint8_t offset;
};

// Where each command finds its address.
inline constexpr PointerSlot kPointerSlots[] = {
    {0x25, 4}, {0x68, 4}, {0x69, 4}, {0x73, 4}, {0x76, 12}, {0x77, 12}, {0x7A, 12}, {0x7B, 12}, {0xA4, 0},
};

// The raw request's size field follows its pointer.
constexpr size_t kRawSizeOffset = sizeof(void*);

// Records, pointers and sizes are kept in the block as byte copies at `offset`, since the
// block has no alignment of its own; the helpers here and the firmware transfer's records
// copy them with these two.
template <typename T>
void StoreRecord(void* block, size_t offset, const T& record) {
  static_assert(std::is_trivially_copyable_v<T>);
  std::memcpy(static_cast<uint8_t*>(block) + offset, &record, sizeof record);
}

template <typename T>
T LoadRecord(const void* block, size_t offset) {
  static_assert(std::is_trivially_copyable_v<T>);
  T record{};
  std::memcpy(&record, static_cast<const uint8_t*>(block) + offset, sizeof record);
  return record;
}

// Offset of the command's pointer slot, or -1 when it has none.
constexpr int PointerSlotOffset(int32_t command) {
  for (const PointerSlot& slot : kPointerSlots) {
    if (slot.command == command) {
      return slot.offset;
    }
  }
  return -1;
}

// The caller's buffer of a command with a pointer slot (not 0x25). Set returns false, and
// Get null, for a command without one.
bool SetCallerBuffer(void* block, int32_t command, void* buffer);
void* GetCallerBuffer(const void* block, int32_t command);

// The text callback of command 0x25.
void SetTextCallback(void* block, TextCallback callback);
TextCallback GetTextCallback(const void* block);

// The raw request's size S (command 0xA4).
void SetRawSize(void* block, uint32_t size);
uint32_t GetRawSize(const void* block);

}  // namespace qx80
