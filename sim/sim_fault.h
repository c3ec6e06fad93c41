#pragma once
// Misbehaviour of the simulated QX-80, as data: each fault says which requests it hits and
// what the device does to its answer. A scenario is a list of them.
#include <cstdint>
#include <optional>
#include <vector>

namespace qx80 {

enum class SimFaultKind {
  NoAnswer,       // the request is swallowed
  WrongType,      // the reply's `type` becomes `value`
  WrongId,        // the reply's `id` becomes `value`
  WrongLength,    // the reply's data is cut or zero-padded to `value` bytes
  StatusError,    // the reply's `status` becomes `value`, its `detail` `detail`
  LateAnswer,     // the reply leaves `value` clock milliseconds later, from the device's thread
  Unplug,         // the device leaves the bus instead of answering
  NotifyInstead,  // a notification with `payload` (sub-kind first) goes out instead of the reply
};

constexpr int32_t kAnyMessage = -1;

struct SimFault {
  SimFaultKind kind = SimFaultKind::NoAnswer;
  int32_t messageId = kAnyMessage;  // the request `id` it hits, or any
  int32_t times = 1;                // requests it hits before it is used up; -1 for ever
  int32_t value = 0;
  uint8_t detail = 0;
  std::vector<uint8_t> payload = {};
};

// Takes the first of `faults` that `hits` accepts and that has uses left (its field `uses`:
// how many more requests it hits, -1 for ever). One use is counted; a fault used up leaves
// the list. The fault is returned as it was before the count.
template <typename Fault, typename Hits>
std::optional<Fault> TakeFirstFault(std::vector<Fault>& faults, int32_t Fault::*uses, Hits hits) {
  for (auto it = faults.begin(); it != faults.end(); ++it) {
    int32_t& left = (*it).*uses;
    if (left == 0 || !hits(*it)) {
      continue;
    }
    Fault fault = *it;
    if (left > 0 && --left == 0) {
      faults.erase(it);
    }
    return fault;
  }
  return std::nullopt;
}

}  // namespace qx80
