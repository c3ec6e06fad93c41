#pragma once
// The version the tool and the simulator print for --version: the updater's own, as its
// version resource carries it.
namespace qx80::cli {

inline constexpr const char* kProgramVersion = "1.04";

}  // namespace qx80::cli
