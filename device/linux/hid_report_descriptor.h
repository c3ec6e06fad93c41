#pragma once
// Just enough of a HID report descriptor parser to describe an interface the way the
// platform's HID parser does elsewhere: the longest report of each kind, and the report id
// of the first output item.
#include <cstdint>
#include <span>

namespace qx80 {

struct HidReportLayout {
  // Lengths count the report-id byte that leads every report (also when the device does
  // not number its reports); 0 when the device has no report of that kind.
  uint16_t inputReportLength = 0;
  uint16_t outputReportLength = 0;
  uint16_t featureReportLength = 0;
  // Report id of the first output item: the first button (1-bit or array field) if there
  // is one, else the first value, as the platform's parser lists them.
  uint8_t firstOutputReportId = 0;
  // Whether the descriptor declares report ids; hidraw then leads input reports with one.
  bool numberedReports = false;
};

// False for a malformed descriptor (truncated item, Pop without Push, report beyond
// 65535 bytes).
bool ParseReportDescriptor(std::span<const uint8_t> descriptor, HidReportLayout& layout);

}  // namespace qx80
