#include <cstring>
#include <vector>

#include "device/win32/hid_api.h"
#include "device/win32/win32_hid_backend.h"
#include "platform/utf.h"

namespace qx80 {
namespace {

// The interface set is destroyed on every path out of the enumeration.
class DeviceInterfaceSet {
 public:
  explicit DeviceInterfaceSet(const GUID& interfaceClass)
      : m_set(SetupDiGetClassDevsW(&interfaceClass, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE)) {}
  ~DeviceInterfaceSet() {
    if (Valid()) {
      SetupDiDestroyDeviceInfoList(m_set);
    }
  }
  DeviceInterfaceSet(const DeviceInterfaceSet&) = delete;
  DeviceInterfaceSet& operator=(const DeviceInterfaceSet&) = delete;

  bool Valid() const { return m_set != INVALID_HANDLE_VALUE; }
  HDEVINFO Get() const { return m_set; }

 private:
  HDEVINFO m_set;
};

}  // namespace

bool Win32HidBackend::ReadMemberPath(HDEVINFO set, SP_DEVICE_INTERFACE_DATA& member, DWORD /*memberIndex*/,
                                     std::string& path) {
  DWORD size = 0;
  SetupDiGetDeviceInterfaceDetailW(set, &member, nullptr, 0, &size, nullptr);
  if (size < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W)) {
    return false;
  }
  // The record is a fixed header followed by the path; its size field names the header
  // only. A zeroed buffer guarantees the path's terminator.
  std::vector<DWORD> storage((size + sizeof(DWORD) - 1) / sizeof(DWORD) + 1, 0);
  auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(storage.data());
  detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
  if (!SetupDiGetDeviceInterfaceDetailW(set, &member, detail, size, nullptr, nullptr)) {
    return false;
  }
  path = Utf8FromWide(detail->DevicePath);
  return !path.empty();
}

bool Win32HidBackend::Enumerate(std::vector<std::string>& paths) {
  paths.clear();
  GUID hidClass;
  HidD_GetHidGuid(&hidClass);
  const DeviceInterfaceSet set(hidClass);
  if (!set.Valid()) {
    return false;
  }
  for (DWORD memberIndex = 0;; ++memberIndex) {
    SP_DEVICE_INTERFACE_DATA member{};
    member.cbSize = sizeof(member);
    if (!SetupDiEnumDeviceInterfaces(set.Get(), nullptr, &hidClass, memberIndex, &member)) {
      return GetLastError() == ERROR_NO_MORE_ITEMS || memberIndex > 0;
    }
    std::string path;
    if (ReadMemberPath(set.Get(), member, memberIndex, path)) {
      paths.push_back(std::move(path));
    }
  }
}

}  // namespace qx80
