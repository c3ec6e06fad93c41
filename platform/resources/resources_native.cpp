// Native builds: the resources are those of the embedded .res file.
#include "platform/resources/embedded_res.h"
#include "platform/resources/res_file.h"
#include "platform/resources/resources.h"

namespace qx80 {

std::span<const uint8_t> FindResourceBytes(ResourceType type, uint16_t id) {
  return FindInResFile(EmbeddedResFile(), type, id);
}

}  // namespace qx80
