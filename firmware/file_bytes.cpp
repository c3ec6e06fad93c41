#include "firmware/file_bytes.h"

#include <cerrno>
#include <fstream>
#include <new>
#include <system_error>

namespace qx80 {
namespace {

std::nullopt_t Refuse(std::string* why, std::string reason) {
  if (why != nullptr) {
    *why = std::move(reason);
  }
  return std::nullopt;
}

std::string TooLarge(uint64_t size) {
  return "it is larger than any firmware package (" + std::to_string(size) + " bytes, at most " +
         std::to_string(kMaxPackageFileSize) + ")";
}

}  // namespace

std::optional<std::vector<uint8_t>> ReadWholeFile(const std::filesystem::path& path, std::string* why) {
  // The kind of file is asked before it is opened: opening a FIFO for reading blocks until a
  // writer comes, and a device file never ends.
  std::error_code error;
  const std::filesystem::file_status status = std::filesystem::status(path, error);
  if (error) {
    return Refuse(why, error.message());
  }
  if (std::filesystem::is_directory(status)) {
    return Refuse(why, "it is a folder");
  }
  if (!std::filesystem::is_regular_file(status)) {
    return Refuse(why, "it is not a regular file (a FIFO, a socket or a device)");
  }
  const uint64_t size = std::filesystem::file_size(path, error);
  if (!error && size > kMaxPackageFileSize) {
    return Refuse(why, TooLarge(size));
  }
  errno = 0;
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    return Refuse(why, errno != 0 ? std::generic_category().message(errno) : "it cannot be opened");
  }
  return ReadWholeStream(in, why);
}

std::optional<std::vector<uint8_t>> ReadWholeStream(std::istream& in, std::string* why) {
  in.seekg(0, std::ios::end);
  const std::streamoff size = in.tellg();
  if (!in || size < 0) {
    return Refuse(why, "its size cannot be found");
  }
  // The file may have grown since its size was asked.
  if (static_cast<uint64_t>(size) > kMaxPackageFileSize) {
    return Refuse(why, TooLarge(static_cast<uint64_t>(size)));
  }
  in.seekg(0, std::ios::beg);
  std::vector<uint8_t> bytes;
  try {
    bytes.resize(static_cast<size_t>(size));
  } catch (const std::bad_alloc&) {
    return Refuse(why, "it does not fit in memory");
  }
  in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(size));
  // A short read would leave the tail of the buffer as zeros that look like firmware.
  if (in.gcount() != size) {
    return Refuse(why, "it ended before its size (" + std::to_string(size) + " bytes) was read");
  }
  return bytes;
}

}  // namespace qx80
