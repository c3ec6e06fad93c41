#include "workers/update_step.h"

#include <algorithm>

namespace qx80 {

const char* UpdatePhaseName(UpdatePhase phase) {
  switch (phase) {
    case UpdatePhase::Switching:
      return "switching";
    case UpdatePhase::Settling:
      return "settling";
    case UpdatePhase::Writing:
      return "writing";
    case UpdatePhase::Finishing:
      return "finishing";
    default:
      return "closing";
  }
}

std::string UpdatePartName(const UpdateStep& step) {
  const char* name = FirmKindName(static_cast<FirmKind>(step.kind));
  return name != nullptr ? name : "?";
}

std::string UpdatePhaseWords(const UpdateStep& step) {
  std::string text = UpdatePhaseName(step.phase);
  if (step.phase == UpdatePhase::Writing || step.phase == UpdatePhase::Finishing) {
    text += ' ' + UpdatePartName(step) + ' ' + std::to_string(step.part + 1) + " of " + std::to_string(step.parts);
  }
  return text;
}

uint8_t WritingPercent(uint64_t written, uint64_t total) {
  if (total == 0) {
    return kWrittenPercent;
  }
  const uint64_t share = std::min(written, total) * (kWrittenPercent - kSettledPercent) / total;
  return static_cast<uint8_t>(kSettledPercent + share);
}

// wParam holds the small fields in its low 32 bits (so 32-bit builds carry the same), four bits
// each but the percentage's eight; lParam the milliseconds, which stay far below 2^31.
void PostUpdateStep(WindowHandle window, uint32_t message, const UpdateStep& step) {
  const uint32_t packed = (uint32_t{static_cast<uint8_t>(step.phase)} & 0xF) | (uint32_t{step.part} & 0xF) << 4 |
                          (uint32_t{step.parts} & 0xF) << 8 | (uint32_t{step.kind} & 0xF) << 12 |
                          uint32_t{step.percent} << 16;
  PostWindowMessage(window, message, packed, static_cast<intptr_t>(step.ms));
}

UpdateStep UpdateStepOf(const WindowMessage& message) {
  const auto packed = static_cast<uint32_t>(message.wParam);
  return UpdateStep{.phase = static_cast<UpdatePhase>(packed & 0xF),
                    .part = static_cast<uint8_t>((packed >> 4) & 0xF),
                    .parts = static_cast<uint8_t>((packed >> 8) & 0xF),
                    .kind = static_cast<uint8_t>((packed >> 12) & 0xF),
                    .percent = static_cast<uint8_t>(packed >> 16),
                    .ms = static_cast<uint32_t>(message.lParam)};
}

}  // namespace qx80
