#pragma once
// What an update writes: one section per filled image slot, in kind order, each with the
// progress callback that the transfer reports to.
#include <cstdint>
#include <memory>

#include "firmware/firm_kind.h"
#include "platform/window_message.h"

namespace qx80 {

// Called with a section's progress in percent, on the writing thread with its locks held:
// it must only post messages, never wait on the user interface.
using FirmProgressCallback = void (*)(int percent, void* userData);

// One section of an update job; also the parameter record of the firmware write command.
struct FirmSection {
  const uint8_t* data = nullptr;  // not owned; only read

  uint32_t size = 0;
  FirmProgressCallback callback = nullptr;
  void* userData = nullptr;
};

// Built fresh on every start and copied by value into the update worker.
struct FirmUpdateJob {
  FirmSection sections[FIRM_SLOT_COUNT] = {};  // entries 0 to count - 1 are used, the rest zero
  // What keeps each used section's image alive (the slots' package, shared with them), so a
  // worker that outlives its stop bound never reads freed memory. A section without an owner
  // is copied by the update worker.
  std::shared_ptr<const void> imageOwners[FIRM_SLOT_COUNT] = {};
  uint32_t count = 0;
  FirmKind kinds[FIRM_SLOT_COUNT] = {};  // each used section's image kind
  WindowHandle notifyWindow = nullptr;   // receives the result; must not be null
  uint32_t notifyMessage = 0;
  uint32_t stepMessage = 0;  // when not 0, the window receives each step of the update under it
};

}  // namespace qx80
