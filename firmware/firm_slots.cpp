#include "firmware/firm_slots.h"

#include <algorithm>
#include <new>
#include <string_view>
#include <utility>

#include "firmware/file_bytes.h"
#include "firmware/firm_file.h"
#include "firmware/package_split.h"
#include "firmware/version_text.h"

namespace qx80 {

void FirmSlots::ClearFirmSlots() {
  for (int k = 0; k < FIRM_SLOT_COUNT; ++k) {
    m_firmData[k].reset();
    m_firmSize[k] = 0;
  }
}

int FirmSlots::LoadParts(std::span<const uint8_t> package, const std::shared_ptr<const void>& owner) {
  for (const PackagePart& part : SplitFirmPackage(package)) {
    const int k = part.kind;
    m_firmData[k] = std::shared_ptr<const uint8_t>(owner, package.data() + part.offset);
    m_firmSize[k] = part.size;
    FirmImageInfo image;
    if (CheckFirmImage(m_firmData[k].get(), part.size, image) == FirmLoad::Ok) {
      m_firmVersion[k] = DisplayVersionText(std::string_view(image.version.data(), image.version.size()));
    }
  }
  return AnyFilled() ? 1 : 0;
}

int FirmSlots::LoadFirmPackage(const uint8_t* data, uint32_t size) {
  if (data == nullptr) {
    return AnyFilled() ? 1 : 0;
  }
  std::vector<uint8_t> copy;
  try {
    copy.assign(data, data + size);
  } catch (const std::bad_alloc&) {
    return 0;
  }
  return LoadFirmPackageBytes(std::move(copy));
}

int FirmSlots::LoadFirmPackageCopy(std::span<const uint8_t> package) {
  return LoadFirmPackage(package.data(), static_cast<uint32_t>(package.size()));
}

int FirmSlots::LoadFirmPackageBytes(std::vector<uint8_t>&& package) {
  const auto owner = std::make_shared<const std::vector<uint8_t>>(std::move(package));
  return LoadParts(*owner, owner);
}

int FirmSlots::LoadFirmFile(const std::filesystem::path& path) {
  auto bytes = ReadWholeFile(path);
  if (!bytes) {
    return 0;
  }
  // The previous slots are dropped before the new file is examined.
  ClearFirmSlots();
  return LoadFirmPackageBytes(std::move(*bytes));
}

FirmUpdateJob FirmSlots::BuildUpdateJob(FirmProgressCallback callback, void* userData, WindowHandle notifyWindow,
                                        uint32_t notifyMessage) const {
  FirmUpdateJob job;
  for (int k = 0; k < FIRM_SLOT_COUNT; ++k) {
    if (m_firmData[k]) {
      job.kinds[job.count] = k;
      job.imageOwners[job.count] = m_firmData[k];
      job.sections[job.count++] = FirmSection{m_firmData[k].get(), m_firmSize[k], callback, userData};
    }
  }
  job.notifyWindow = notifyWindow;
  job.notifyMessage = notifyMessage;
  return job;
}

bool FirmSlots::AnyFilled() const {
  return std::any_of(std::begin(m_firmData), std::end(m_firmData), [](const auto& d) { return d != nullptr; });
}

}  // namespace qx80
