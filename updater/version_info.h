#pragma once
// The program's own version record: the product name and version that start-up reads and
// the about box shows.
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>

#include "updater/app_info.h"

namespace qx80 {

// One query of a version block, as the platform's version API answers it: the value at
// `subBlock` ("\\" for the fixed file information, "\\VarFileInfo\\Translation",
// "\\StringFileInfo\\040904b0\\ProductName", ...) and its length (bytes for binary values,
// characters for texts). False when the block holds no such value.
using VersionQuery = std::function<bool(std::u16string_view subBlock, std::span<const uint8_t>& value)>;

// Answers queries over a version block in memory (a VS_VERSIONINFO record as the resource
// compiler writes it). Keys are compared without regard to ASCII case; every length is
// checked against the block.
bool QueryVersionBlock(std::span<const uint8_t> block, std::u16string_view subBlock, std::span<const uint8_t>& value);

// Fills the product name (through the first translation) and the three version numbers
// (high and low word of the most significant product-version word, high word of the least
// significant one) from whatever the query finds; what it doesn't find keeps its value.
void ApplyVersionInfo(const VersionQuery& query, AppInfo& info);

// The about box's version line: "<name>  Version <major>.<minor><build>".
std::u16string FormatAboutVersion(const AppInfo& info);

}  // namespace qx80
