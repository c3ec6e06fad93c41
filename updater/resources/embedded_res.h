#pragma once
// The compiled resource file (.res) built from the program's .rc, placed in the binary as
// it is. Native builds read every resource from it; Windows tests compare it with the
// module's own resources.
#include <cstdint>
#include <span>

namespace qx80 {

std::span<const uint8_t> EmbeddedResFile();

}  // namespace qx80
