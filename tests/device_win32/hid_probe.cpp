// Lists the HID interfaces the platform presents, as the updater's search sees them: path,
// ids, report lengths (report-id byte included) and the report id of the first output item.
#include <cstdio>

#include "device/win32/win32_hid_backend.h"

int main() {
  qx80::Win32HidBackend backend;
  std::vector<std::string> paths;
  if (!backend.Enumerate(paths)) {
    std::fprintf(stderr, "the HID interfaces cannot be enumerated\n");
    return 1;
  }
  for (size_t index = 0; index < paths.size(); ++index) {
    std::printf("[%zu] %s\n", index, paths[index].c_str());
    const auto handle = backend.Open(paths[index]);
    if (handle == nullptr) {
      std::printf("    cannot be opened or parsed\n");
      continue;
    }
    const auto& caps = handle->Caps();
    std::printf("    vendor 0x%04X product 0x%04X input %u output %u feature %u first output report id %u\n",
                caps.vendorId, caps.productId, caps.inputReportLength, caps.outputReportLength,
                caps.featureReportLength, caps.firstOutputReportId);
  }
  return 0;
}
