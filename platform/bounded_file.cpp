#include "platform/bounded_file.h"

#include <cerrno>
#include <fstream>
#include <system_error>

namespace qx80 {
namespace {

std::string TooLarge(uint64_t maxBytes, const std::string& detail) {
  return "it is larger than any file of its kind (" + detail + ", at most " + ByteCountText(maxBytes) + ")";
}

// Whether `path` names a regular file no larger than `maxBytes`; why not in `reason`.
bool CheckRegularFile(const std::filesystem::path& path, uint64_t maxBytes, std::string& reason) {
  namespace fs = std::filesystem;
  std::error_code error;
  const fs::file_status status = fs::status(path, error);
  switch (status.type()) {
    case fs::file_type::regular:
      break;
    case fs::file_type::directory:
      reason = "it is a folder";
      return false;
    case fs::file_type::not_found:
    case fs::file_type::none:
    case fs::file_type::unknown:
      // The system's own words: "No such file or directory", "Permission denied".
      reason = error ? error.message() : "it cannot be read";
      return false;
    default:
      // Reading a FIFO waits for a writer, and a device such as /dev/zero never ends.
      reason = "it is not a regular file (a FIFO, a socket or a device)";
      return false;
  }
  const uintmax_t size = fs::file_size(path, error);
  if (error) {
    reason = error.message();
    return false;
  }
  if (size > maxBytes) {
    reason = TooLarge(maxBytes, std::to_string(size) + " bytes");
    return false;
  }
  return true;
}

template <typename Bytes>
bool ReadBounded(const std::filesystem::path& path, uint64_t maxBytes, Bytes& bytes, std::string& reason) {
  if (!CheckRegularFile(path, maxBytes, reason)) {
    return false;
  }
  errno = 0;
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    reason = errno != 0 ? std::generic_category().message(errno) : "it cannot be opened";
    return false;
  }
  // Read in chunks up to one byte past the bound: a file that grows while it is read is still
  // held to it, and a size the system reported wrongly costs nothing.
  constexpr size_t kChunk = 64 * 1024;
  bytes.clear();
  while (in && bytes.size() <= maxBytes) {
    const size_t used = bytes.size();
    bytes.resize(used + kChunk);
    in.read(reinterpret_cast<char*>(bytes.data() + used), static_cast<std::streamsize>(kChunk));
    bytes.resize(used + static_cast<size_t>(in.gcount()));
  }
  if (bytes.size() > maxBytes) {
    bytes.clear();
    reason = TooLarge(maxBytes, "it grew while it was read");
    return false;
  }
  if (in.bad()) {
    bytes.clear();
    reason = "it could not be read to its end";
    return false;
  }
  return true;
}

}  // namespace

bool ReadBoundedFile(const std::filesystem::path& path, uint64_t maxBytes, std::string& bytes, std::string& reason) {
  return ReadBounded(path, maxBytes, bytes, reason);
}

bool ReadBoundedFile(const std::filesystem::path& path, uint64_t maxBytes, std::vector<uint8_t>& bytes,
                     std::string& reason) {
  return ReadBounded(path, maxBytes, bytes, reason);
}

std::string ByteCountText(uint64_t bytes) {
  constexpr uint64_t kKiB = 1024;
  constexpr uint64_t kMiB = kKiB * kKiB;
  if (bytes >= kMiB && bytes % kMiB == 0) {
    return std::to_string(bytes / kMiB) + " MiB";
  }
  if (bytes >= kKiB && bytes % kKiB == 0) {
    return std::to_string(bytes / kKiB) + " KiB";
  }
  return std::to_string(bytes) + (bytes == 1 ? " byte" : " bytes");
}

}  // namespace qx80
