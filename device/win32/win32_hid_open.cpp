#include <vector>

#include "device/win32/hid_api.h"
#include "device/win32/win32_hid_backend.h"
#include "device/win32/win32_hid_handle.h"
#include "platform/utf.h"

namespace qx80 {
namespace {

// The parser's data for one open interface, freed on every path.
class PreparsedData {
 public:
  explicit PreparsedData(HANDLE file) {
    if (!HidD_GetPreparsedData(file, &m_data)) {
      m_data = nullptr;
    }
  }
  ~PreparsedData() {
    if (m_data != nullptr) {
      HidD_FreePreparsedData(m_data);
    }
  }
  PreparsedData(const PreparsedData&) = delete;
  PreparsedData& operator=(const PreparsedData&) = delete;

  bool Valid() const { return m_data != nullptr; }
  PHIDP_PREPARSED_DATA Get() const { return m_data; }

 private:
  PHIDP_PREPARSED_DATA m_data = nullptr;
};

// The report id of the first output item. The items list the button capabilities first,
// then the value capabilities, each in the parser's order, so the first item comes from the
// first button capability if there is one, else from the first value capability. An
// interface without output items writes report id 0.
bool ReadFirstOutputReportId(PHIDP_PREPARSED_DATA data, const HIDP_CAPS& caps, uint8_t& reportId) {
  reportId = 0;
  if (caps.NumberOutputButtonCaps > 0) {
    std::vector<HIDP_BUTTON_CAPS> buttons(caps.NumberOutputButtonCaps);
    USHORT count = caps.NumberOutputButtonCaps;
    if (HidP_GetButtonCaps(HidP_Output, buttons.data(), &count, data) != HIDP_STATUS_SUCCESS || count == 0) {
      return false;
    }
    reportId = buttons[0].ReportID;
  } else if (caps.NumberOutputValueCaps > 0) {
    std::vector<HIDP_VALUE_CAPS> values(caps.NumberOutputValueCaps);
    USHORT count = caps.NumberOutputValueCaps;
    if (HidP_GetValueCaps(HidP_Output, values.data(), &count, data) != HIDP_STATUS_SUCCESS || count == 0) {
      return false;
    }
    reportId = values[0].ReportID;
  }
  return true;
}

bool ReadInterfaceCaps(HANDLE file, HidInterfaceCaps& result) {
  const PreparsedData data(file);
  if (!data.Valid()) {
    return false;
  }
  HIDD_ATTRIBUTES attributes{};
  attributes.Size = sizeof(attributes);
  HIDP_CAPS caps{};
  if (!HidD_GetAttributes(file, &attributes) || HidP_GetCaps(data.Get(), &caps) != HIDP_STATUS_SUCCESS) {
    return false;
  }
  result.vendorId = attributes.VendorID;
  result.productId = attributes.ProductID;
  result.inputReportLength = caps.InputReportByteLength;
  result.outputReportLength = caps.OutputReportByteLength;
  result.featureReportLength = caps.FeatureReportByteLength;
  return ReadFirstOutputReportId(data.Get(), caps, result.firstOutputReportId);
}

}  // namespace

std::unique_ptr<HidHandle> Win32HidBackend::Open(const std::string& path) {
  const std::wstring widePath = WideFromUtf8(path);
  if (widePath.empty()) {
    return nullptr;
  }
  UniqueHandle file(CreateFileW(widePath.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr));
  HidInterfaceCaps caps;
  if (!file.Valid() || !ReadInterfaceCaps(file.Get(), caps)) {
    return nullptr;
  }
  return MakeWin32HidHandle(std::move(file), caps);
}

}  // namespace qx80
