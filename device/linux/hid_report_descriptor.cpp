#include "device/linux/hid_report_descriptor.h"

#include <algorithm>
#include <array>
#include <map>
#include <optional>
#include <vector>

namespace qx80 {
namespace {

enum ItemType : uint8_t { kMain = 0, kGlobal = 1, kLocal = 2 };
enum MainTag : uint8_t { kInput = 8, kOutput = 9, kFeature = 11 };
enum GlobalTag : uint8_t { kReportSize = 7, kReportId = 8, kReportCount = 9, kPush = 10, kPop = 11 };
constexpr uint8_t kLongItemPrefix = 0xFE;
constexpr uint32_t kConstantFlag = 0x01;
constexpr uint32_t kVariableFlag = 0x02;
// The most bits a report may hold: with its report-id byte it stays within 65535 bytes.
constexpr uint64_t kMaxReportBits = (UINT16_MAX - 1) * uint64_t{8};

struct GlobalState {
  uint32_t reportSize = 0;
  uint32_t reportCount = 0;
  uint8_t reportId = 0;
};

// Bits per report id, for one report kind.
using ReportBits = std::map<uint8_t, uint64_t>;

uint16_t LengthOf(const ReportBits& reports) {
  uint64_t longest = 0;
  for (const auto& [id, bits] : reports) {
    longest = std::max(longest, (bits + 7) / 8);
  }
  return reports.empty() ? 0 : static_cast<uint16_t>(longest + 1);
}

}  // namespace

bool ParseReportDescriptor(std::span<const uint8_t> descriptor, HidReportLayout& layout) {
  GlobalState state;
  std::vector<GlobalState> stack;
  std::array<ReportBits, 3> bits;  // input, output, feature
  std::optional<uint8_t> firstButtonId;
  std::optional<uint8_t> firstValueId;
  bool numbered = false;

  size_t at = 0;
  while (at < descriptor.size()) {
    const uint8_t prefix = descriptor[at];
    if (prefix == kLongItemPrefix) {
      // Data size, long tag, then the data; no long item is defined, so it is skipped.
      if (at + 1 >= descriptor.size()) {
        return false;
      }
      at += 3 + descriptor[at + 1];
      if (at > descriptor.size()) {
        return false;
      }
      continue;
    }
    const size_t size = (prefix & 3) == 3 ? 4 : (prefix & 3);
    if (at + 1 + size > descriptor.size()) {
      return false;
    }
    uint32_t data = 0;
    for (size_t i = 0; i < size; ++i) {
      data |= static_cast<uint32_t>(descriptor[at + 1 + i]) << (8 * i);
    }
    at += 1 + size;
    const auto type = static_cast<uint8_t>((prefix >> 2) & 3);
    const auto tag = static_cast<uint8_t>(prefix >> 4);

    if (type == kGlobal) {
      switch (tag) {
        case kReportSize:
          state.reportSize = data;
          break;
        case kReportCount:
          state.reportCount = data;
          break;
        case kReportId:
          state.reportId = static_cast<uint8_t>(data);
          numbered = true;
          break;
        case kPush:
          stack.push_back(state);
          break;
        case kPop:
          if (stack.empty()) {
            return false;
          }
          state = stack.back();
          stack.pop_back();
          break;
        default:
          break;
      }
    } else if (type == kMain && (tag == kInput || tag == kOutput || tag == kFeature)) {
      const size_t kind = tag == kInput ? 0 : tag == kOutput ? 1 : 2;
      // Capped as it runs, so that no sum of fields can wrap around.
      uint64_t& reportBits = bits[kind][state.reportId];
      const uint64_t fieldBits = static_cast<uint64_t>(state.reportSize) * state.reportCount;
      if (fieldBits > kMaxReportBits - reportBits) {
        return false;
      }
      reportBits += fieldBits;
      const bool constant = (data & kConstantFlag) != 0;
      if (tag == kOutput && !constant && state.reportCount > 0) {
        const bool button = state.reportSize == 1 || (data & kVariableFlag) == 0;
        auto& first = button ? firstButtonId : firstValueId;
        if (!first) {
          first = state.reportId;
        }
      }
    }
  }

  HidReportLayout result;
  result.inputReportLength = LengthOf(bits[0]);
  result.outputReportLength = LengthOf(bits[1]);
  result.featureReportLength = LengthOf(bits[2]);
  result.firstOutputReportId = firstButtonId.value_or(firstValueId.value_or(0));
  result.numberedReports = numbered;
  layout = result;
  return true;
}

}  // namespace qx80
