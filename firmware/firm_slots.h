#pragma once
// The five image slots, one per image kind 0 to 4: the firmware an update will write, and the
// version text of each part that passed the container's check.
#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "firmware/firm_kind.h"
#include "firmware/update_job.h"

namespace qx80 {

// The bytes of the package carried as resource "BIN" 131 (read-only); empty when the
// executable carries none. Lives in qx80_firmware_carried.
std::span<const uint8_t> CarriedFirmwarePackage();

class FirmSlots {
 public:
  // Empties every slot; the version texts are kept.
  void ClearFirmSlots();

  // Splits a package into the slots (a later part of a kind replaces an earlier one) and sets
  // the version text of every part that loads. A part that fails its check still fills its
  // slot, keeping the slot's old version text. The package is copied once, and the slots share
  // that copy (each slot holds its part of it); the caller's bytes are only read. 1 when any
  // slot holds a part afterwards, else 0 (also when the copy cannot be allocated).
  int LoadFirmPackage(const uint8_t* data, uint32_t size);
  // The same for bytes held as a span.
  int LoadFirmPackageCopy(std::span<const uint8_t> package);
  // The same for bytes the slots may keep: they are shared, not copied.
  int LoadFirmPackageBytes(std::vector<uint8_t>&& package);
  // Loads the package carried as resource "BIN" 131, replacing all slots; the slots point
  // into the resource, which lives as long as the process. 0 when the resource is missing or
  // empty (the slots are untouched then). Lives in qx80_firmware_carried.
  int LoadCarriedFirmware();
  // Loads a package file, replacing all slots; the file's bytes are read once and kept. A file
  // that cannot be read whole leaves the slots untouched; a file whose first part is not
  // recognised leaves them empty.
  int LoadFirmFile(const std::filesystem::path& path);

  // The sections of an update: the filled slots in kind order, packed from entry 0.
  FirmUpdateJob BuildUpdateJob(FirmProgressCallback callback, void* userData, WindowHandle notifyWindow,
                               uint32_t notifyMessage) const;

  const uint8_t* Data(int kind) const { return m_firmData[kind].get(); }
  // What keeps the part in slot `kind` alive: shared with the slots, so it outlives their
  // next load for as long as the holder keeps it.
  std::shared_ptr<const void> Owner(int kind) const { return m_firmData[kind]; }
  uint32_t Size(int kind) const { return m_firmSize[kind]; }
  const std::u16string& Version(int kind) const { return m_firmVersion[kind]; }
  // Whether any slot holds a part.
  bool AnyFilled() const;

 private:
  // Fills the slots from `package`, each slot sharing `owner` (empty for memory that lives as
  // long as the process).
  int LoadParts(std::span<const uint8_t> package, const std::shared_ptr<const void>& owner);

  std::shared_ptr<const uint8_t> m_firmData[FIRM_SLOT_COUNT];
  uint32_t m_firmSize[FIRM_SLOT_COUNT] = {};
  std::u16string m_firmVersion[FIRM_SLOT_COUNT];
};

}  // namespace qx80
