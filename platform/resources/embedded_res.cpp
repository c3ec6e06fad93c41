#include "platform/resources/embedded_res.h"

extern "C" const uint8_t qx80_embedded_res_begin[];
extern "C" const uint8_t qx80_embedded_res_end[];

namespace qx80 {

std::span<const uint8_t> EmbeddedResFile() {
  return {qx80_embedded_res_begin, qx80_embedded_res_end};
}

}  // namespace qx80
