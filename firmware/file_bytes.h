#pragma once
// Reading a whole firmware file into memory: the one reader of package files, for the tool
// and the application alike.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace qx80 {

// No firmware package comes near this size (the carried one is under 3 MiB); a larger file,
// such as a huge sparse one, is refused before any of it is read.
constexpr uint64_t kMaxPackageFileSize = uint64_t{64} << 20;

// The whole contents, or nothing when the file cannot be read whole as a regular file of at
// most kMaxPackageFileSize bytes (a folder, a FIFO, a device such as /dev/zero are refused
// before they are opened, so reading never blocks or runs on). `why`, when given, then
// receives the reason in a few words, with the system's own where there is one.
std::optional<std::vector<uint8_t>> ReadWholeFile(const std::filesystem::path& path, std::string* why = nullptr);

}  // namespace qx80
