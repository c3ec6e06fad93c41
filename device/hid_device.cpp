#include "device/hid_device.h"

#include <cstring>
#include <string>

namespace qx80 {
namespace {

// A given payload length of 0 demands no reports of that kind; otherwise the platform
// length counts one more byte, the report id.
bool LengthMatches(int32_t given, uint16_t platformLength) {
  return given == 0 ? platformLength == 0 : static_cast<int32_t>(platformLength) == given + 1;
}

}  // namespace

bool CHidDevice::Matches(const HidInterfaceCaps& caps) const {
  if (m_vendorId == 0 && m_productId == 0) {
    return true;
  }
  return caps.vendorId == m_vendorId && caps.productId == m_productId &&
         LengthMatches(m_inputReportLength, caps.inputReportLength) &&
         LengthMatches(m_outputReportLength, caps.outputReportLength);
}

int32_t CHidDevice::FindInterface() const {
  std::vector<std::string> paths;
  if (!CurrentHidBackend().Enumerate(paths)) {
    return -1;
  }
  int32_t matches = 0;
  for (size_t member = 0; member < paths.size(); ++member) {
    // An interface known without opening it is opened only when it can match.
    HidInterfaceCaps known;
    if (CurrentHidBackend().Identify(paths[member], known) && !Matches(known)) {
      continue;
    }
    const auto candidate = CurrentHidBackend().Open(paths[member]);
    if (candidate == nullptr || !Matches(candidate->Caps())) {
      continue;
    }
    if (matches == m_index) {
      return static_cast<int32_t>(member);
    }
    ++matches;
  }
  return -1;
}

std::unique_ptr<HidDeviceInfo> CHidDevice::OpenInterfaceAt(int32_t memberIndex) const {
  std::vector<std::string> paths;
  if (!CurrentHidBackend().Enumerate(paths) || memberIndex < 0 || static_cast<size_t>(memberIndex) >= paths.size()) {
    return nullptr;
  }
  auto handle = CurrentHidBackend().Open(paths[static_cast<size_t>(memberIndex)]);
  // The bus may have changed between the two passes; never open another device than the
  // one the search found.
  if (handle == nullptr || !Matches(handle->Caps())) {
    return nullptr;
  }
  auto info = std::make_unique<HidDeviceInfo>();
  info->caps = handle->Caps();
  info->handle = std::move(handle);
  info->inputReport.assign(info->caps.inputReportLength, 0);
  info->outputReport.assign(info->caps.outputReportLength, 0);
  return info;
}

HidDeviceInfo* CHidDevice::Open(int32_t vendorId, int32_t productId, int32_t inputReportLength,
                                int32_t outputReportLength, int32_t index) {
  Close();
  m_vendorId = vendorId;
  m_productId = productId;
  m_inputReportLength = inputReportLength;
  m_outputReportLength = outputReportLength;
  m_index = index;
  if (inputReportLength > kMaxReportLength || outputReportLength > kMaxReportLength || inputReportLength < 0 ||
      outputReportLength < 0 || index < 0) {
    return nullptr;
  }
  const int32_t member = FindInterface();
  if (member < 0) {
    return nullptr;
  }
  m_device = OpenInterfaceAt(member);
  if (m_device == nullptr) {
    return nullptr;
  }
  m_open.store(1);
  return m_device.get();
}

void CHidDevice::Close() {
  m_open.store(0);
  // The handle cancels and drains its outstanding I/O before the report buffers go.
  if (m_device != nullptr) {
    m_device->handle.reset();
    m_device.reset();
  }
}

int CHidDevice::ReadReport(uint8_t* destination, int32_t timeoutMs) {
  if (m_open.load() != 1 || m_device == nullptr || m_device->caps.inputReportLength < 1) {
    return 0;
  }
  HidDeviceInfo& device = *m_device;
  HidIo io = device.handle->StartRead(device.inputReport.data());
  if (io == HidIo::Pending) {
    io = device.handle->WaitRead(timeoutMs);
  }
  if (io == HidIo::TimedOut) {
    device.handle->CancelRead();
    return 0;
  }
  // A read woken by AbortRead fails even when the platform completed it.
  if (io != HidIo::Done || m_open.load() != 1) {
    return 0;
  }
  std::memcpy(destination, device.inputReport.data() + 1, device.inputReport.size() - 1);
  return 1;
}

int CHidDevice::WriteReport(const uint8_t* source, int32_t timeoutMs) {
  if (m_open.load() != 1 || m_device == nullptr || m_device->caps.outputReportLength < 1) {
    return 0;
  }
  HidDeviceInfo& device = *m_device;
  device.outputReport[0] = device.caps.firstOutputReportId;
  std::memcpy(device.outputReport.data() + 1, source, device.outputReport.size() - 1);
  HidIo io = device.handle->StartWrite(device.outputReport.data());
  if (io == HidIo::Pending) {
    io = device.handle->WaitWrite(timeoutMs);
  }
  if (io == HidIo::TimedOut) {
    device.handle->CancelWrite();
    return 0;
  }
  return io == HidIo::Done ? 1 : 0;
}

void CHidDevice::AbortRead() {
  m_open.store(0);
  if (m_device != nullptr && m_device->handle != nullptr) {
    m_device->handle->WakeRead();
  }
}

}  // namespace qx80
