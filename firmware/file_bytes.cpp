#include "firmware/file_bytes.h"

#include "platform/bounded_file.h"

namespace qx80 {

std::optional<std::vector<uint8_t>> ReadWholeFile(const std::filesystem::path& path, std::string* why) {
  std::vector<uint8_t> bytes;
  std::string reason;
  if (!ReadBoundedFile(path, kMaxPackageFileSize, bytes, reason)) {
    if (why != nullptr) {
      *why = std::move(reason);
    }
    return std::nullopt;
  }
  return bytes;
}

}  // namespace qx80
