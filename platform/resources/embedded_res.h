#pragma once
// The compiled resource file (.res) placed in the binary as it is. Only its bounds are
// declared here: the executable supplies the bytes by linking the object that defines them,
// which the application's resource target builds from the program's .rc. Native builds read
// every resource from it; Windows tests compare it with the module's own resources.
#include <cstdint>
#include <span>

namespace qx80 {

std::span<const uint8_t> EmbeddedResFile();

}  // namespace qx80
