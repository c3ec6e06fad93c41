#include "protocol/parameter_block.h"

namespace qx80 {
namespace {

constexpr int32_t kTextSwitchCommand = 0x25;
constexpr int32_t kRawCommand = 0xA4;

static_assert(sizeof(TextCallback) == sizeof(void*), "a callback travels in a pointer slot");
static_assert(PointerSlotOffset(kRawCommand) + sizeof(void*) <= kRawSizeOffset, "pointer and size apart");

}  // namespace

bool SetCallerBuffer(void* block, int32_t command, void* buffer) {
  const int offset = PointerSlotOffset(command);
  if (offset < 0 || command == kTextSwitchCommand) {
    return false;
  }
  StoreRecord(block, static_cast<size_t>(offset), buffer);
  return true;
}

void* GetCallerBuffer(const void* block, int32_t command) {
  const int offset = PointerSlotOffset(command);
  return offset < 0 || command == kTextSwitchCommand ? nullptr : LoadRecord<void*>(block, static_cast<size_t>(offset));
}

void SetTextCallback(void* block, TextCallback callback) {
  StoreRecord(block, static_cast<size_t>(PointerSlotOffset(kTextSwitchCommand)), callback);
}

TextCallback GetTextCallback(const void* block) {
  return LoadRecord<TextCallback>(block, static_cast<size_t>(PointerSlotOffset(kTextSwitchCommand)));
}

void SetRawSize(void* block, uint32_t size) {
  StoreRecord(block, kRawSizeOffset, size);
}

uint32_t GetRawSize(const void* block) {
  return LoadRecord<uint32_t>(block, kRawSizeOffset);
}

}  // namespace qx80
