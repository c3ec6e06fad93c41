#include "firmware/file_bytes.h"

#include <fstream>
#include <limits>
#include <new>

namespace qx80 {

std::optional<std::vector<uint8_t>> ReadWholeFile(const std::filesystem::path& path) {
  // Some systems open a folder for reading; it holds no firmware all the same.
  std::error_code ignored;
  if (std::filesystem::is_directory(path, ignored)) {
    return std::nullopt;
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    return std::nullopt;
  }
  return ReadWholeStream(in);
}

std::optional<std::vector<uint8_t>> ReadWholeStream(std::istream& in) {
  in.seekg(0, std::ios::end);
  const std::streamoff size = in.tellg();
  if (!in || size < 0 || static_cast<uint64_t>(size) > std::numeric_limits<uint32_t>::max() ||
      size > std::numeric_limits<std::streamsize>::max()) {
    return std::nullopt;
  }
  in.seekg(0, std::ios::beg);
  std::vector<uint8_t> bytes;
  try {
    bytes.resize(static_cast<size_t>(size));
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
  in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(size));
  // A short read would leave the tail of the buffer as zeros that look like firmware.
  if (in.gcount() != size) {
    return std::nullopt;
  }
  return bytes;
}

}  // namespace qx80
