#pragma once
// Reading a whole file that came from a user: only a regular file, only up to a size its
// reader can hold, and with a reason in words when it cannot be had. A pipe, a device such as
// /dev/zero or a huge sparse file is refused before any byte is read, so no reader hangs or
// fills memory on one.
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace qx80 {

// The whole contents of `path` into `bytes`, at most `maxBytes` of them. False, with why in
// `reason` ("it is a folder", "it is not a regular file ...", "it is larger than ...", or the
// system's own words such as "No such file or directory"), when the file cannot be read whole.
// The contents are what reading gave up to the end of the file, never a size taken on trust.
bool ReadBoundedFile(const std::filesystem::path& path, uint64_t maxBytes, std::string& bytes, std::string& reason);
bool ReadBoundedFile(const std::filesystem::path& path, uint64_t maxBytes, std::vector<uint8_t>& bytes,
                     std::string& reason);

// A byte count in words for a message: "64 MiB", "512 KiB", "100 bytes".
std::string ByteCountText(uint64_t bytes);

}  // namespace qx80
