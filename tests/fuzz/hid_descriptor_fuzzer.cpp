// A HID report descriptor from the kernel: a refused one leaves the layout alone, an accepted
// one describes reports of at most 65535 bytes with their report-id byte.
#include <cstddef>
#include <cstdint>
#include <span>

#include "device/linux/hid_report_descriptor.h"
#include "tests/fuzz/fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  qx80::HidReportLayout layout;
  layout.inputReportLength = 77;
  layout.firstOutputReportId = 9;
  if (!qx80::ParseReportDescriptor(std::span<const uint8_t>(data, size), layout)) {
    FUZZ_CHECK(layout.inputReportLength == 77 && layout.firstOutputReportId == 9);
    return 0;
  }
  // A kind without reports has length 0; any report has at least its report-id byte.
  for (const uint16_t length : {layout.inputReportLength, layout.outputReportLength, layout.featureReportLength}) {
    FUZZ_CHECK(length != 1 || size > 0);
  }
  FUZZ_CHECK(layout.numberedReports || layout.firstOutputReportId == 0);
  return 0;
}
