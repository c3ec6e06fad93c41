#include "protocol/parameter_block.h"

#include <cstring>

namespace qx80 {
namespace {

constexpr int32_t kTextSwitchCommand = 0x25;
constexpr int32_t kRawCommand = 0xA4;

static_assert(sizeof(TextCallback) == sizeof(void*), "a callback travels in a pointer slot");
static_assert(PointerSlotOffset(kRawCommand) + sizeof(void*) <= kRawSizeOffset, "pointer and size apart");

// Slots are read and written bytewise: the block has no alignment of its own.
template <typename T>
void Store(void* block, size_t offset, T value) {
  std::memcpy(static_cast<uint8_t*>(block) + offset, &value, sizeof value);
}

template <typename T>
T Load(const void* block, size_t offset) {
  T value{};
  std::memcpy(&value, static_cast<const uint8_t*>(block) + offset, sizeof value);
  return value;
}

}  // namespace

bool SetCallerBuffer(void* block, int32_t command, void* buffer) {
  const int offset = PointerSlotOffset(command);
  if (offset < 0 || command == kTextSwitchCommand) {
    return false;
  }
  Store(block, static_cast<size_t>(offset), buffer);
  return true;
}

void* GetCallerBuffer(const void* block, int32_t command) {
  const int offset = PointerSlotOffset(command);
  return offset < 0 || command == kTextSwitchCommand ? nullptr : Load<void*>(block, static_cast<size_t>(offset));
}

void SetTextCallback(void* block, TextCallback callback) {
  Store(block, static_cast<size_t>(PointerSlotOffset(kTextSwitchCommand)), callback);
}

TextCallback GetTextCallback(const void* block) {
  return Load<TextCallback>(block, static_cast<size_t>(PointerSlotOffset(kTextSwitchCommand)));
}

void SetRawSize(void* block, uint32_t size) {
  Store(block, kRawSizeOffset, size);
}

uint32_t GetRawSize(const void* block) {
  return Load<uint32_t>(block, kRawSizeOffset);
}

}  // namespace qx80
