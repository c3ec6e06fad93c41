#pragma once
// The steps of an update as the update worker tells them, for a front end that wants to say
// what is happening: what the worker does or waits for, and how far the whole update has
// come. The worker posts one to the job's window whenever the job names a step message
// (FirmUpdateJob::stepMessage); the application's dialogs do not ask for them and see only
// the sections' percentages, qx80 update shows them.
#include <cstdint>
#include <string>

#include "firmware/firm_kind.h"
#include "platform/window_message.h"

namespace qx80 {

enum class UpdatePhase : uint8_t {
  Switching,  // the mode switch was acknowledged; the device restarts in its update mode
  Settling,   // the settling ticks
  Writing,    // a part's begin and blocks
  Finishing,  // a part's blocks are all written; the device finishes writing it
  Closing,    // the closing command (the device restarts with its new firmware)
};

struct UpdateStep {
  UpdatePhase phase = UpdatePhase::Switching;
  uint8_t part = 0;   // the part written or finished, from 0
  uint8_t parts = 0;  // how many the update writes
  uint8_t kind = 0;   // the part's FirmKind
  // The whole update's progress, 0 to 100: the settling ticks take it to 10, the parts' bytes
  // (all parts as one) to 99 as their blocks are acknowledged, the last part's end to 100.
  uint8_t percent = 0;
  // Clock milliseconds: how long the wait of this step may last (Switching, Finishing), or is
  // left (Settling); 0 for the others.
  uint32_t ms = 0;
};

constexpr uint32_t kSettledPercent = 10;
constexpr uint32_t kWrittenPercent = 99;

// The phase's one word, as the tool's output and the transcript give it: "switching",
// "settling", "writing", "finishing", "closing".
const char* UpdatePhaseName(UpdatePhase phase);
// The name of the step's part ("UAMC"; "?" for a kind without one).
std::string UpdatePartName(const UpdateStep& step);
// The phase's word, and for writing and finishing the part: "writing UAMC 1 of 2". The
// transcript notes it after "update: ", and the tool shows it for writing.
std::string UpdatePhaseWords(const UpdateStep& step);

// The progress once `written` of `total` bytes are acknowledged.
uint8_t WritingPercent(uint64_t written, uint64_t total);

// A step travels as a window message's two parameters.
void PostUpdateStep(WindowHandle window, uint32_t message, const UpdateStep& step);
UpdateStep UpdateStepOf(const WindowMessage& message);

}  // namespace qx80
